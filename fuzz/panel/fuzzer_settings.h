// What one panel's fuzzer is built with: drez_add_panel_fuzzer writes these
// settings into a source of the fuzzer's own (DrezPanelFuzzer.cmake).

#ifndef FUZZ_PANEL_FUZZER_SETTINGS_H_
#define FUZZ_PANEL_FUZZER_SETTINGS_H_

namespace drezfuzz {

struct FuzzerSettings {
  const char* name;          // the fuzzer's target name
  const char* panelLibrary;  // the panel built normally, which drez-host loads
  const char* installation;  // the installation file; empty: learned
  // The scenarios its corpus is seeded from; null after the last.
  const char* const* scenarios;
};

extern const FuzzerSettings kFuzzerSettings;

}  // namespace drezfuzz

#endif  // FUZZ_PANEL_FUZZER_SETTINGS_H_
