#include "jobs/debug_capture.h"

namespace drezhost {

// Not yet: a vectored exception handler catches what the script hands
// OutputDebugStringA (isolation_windows.cpp's companion).
std::unique_ptr<DebugCapture> DebugCapture::start(bool) { return nullptr; }

}  // namespace drezhost
