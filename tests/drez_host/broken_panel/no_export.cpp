// A shared library that is no panel script: it lacks the export
// load_drez_client_script. drez-host must refuse it with a clear message.

#if defined(_WIN32)
#define NO_EXPORT_API __declspec(dllexport)
#else
#define NO_EXPORT_API __attribute__((visibility("default")))
#endif

extern "C" NO_EXPORT_API int not_a_panel_script() { return 0; }
