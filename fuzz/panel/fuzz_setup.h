// What every input of a panel's fuzzer starts from, settled once before the
// first: the installation (the file given, or one learned from the script's
// own start-up and teardown, as drez-host's validate learns one), the tables
// the moves pick from, and the channel the script's debug lines come
// through.
//
// The tables hold each infodriver and router of the installation under
// every name; each panel the script loaded at start-up with the controls of
// its file, those the script addressed ("TP", "TG") and the framework's own
// AckAll and ActionAll; the requests the script lists in its answers to
// "_events" and "_commands" (each line, "return=<name>" and "<name>=1"); and
// the commands it sent at start-up, for changes made from inside one.
//
// Threading: one thread. The debug channel takes the process's debug sink
// (drez_debug_output.h): one FuzzSetup per process.

#ifndef FUZZ_PANEL_FUZZ_SETUP_H_
#define FUZZ_PANEL_FUZZ_SETUP_H_

#include <string>
#include <vector>

#include "fuzz_input.h"
#include "simulator/debug_channel.h"
#include "simulator/installation.h"
#include "simulator/simulated_host.h"

namespace drezfuzz {

// The lines the script writes on its debug channel, taken from the
// process's debug sink, which it installs for as long as it lives.
class DebugLines : public drezhost::DebugChannel {
 public:
  DebugLines();
  ~DebugLines() override;
  DebugLines(const DebugLines&) = delete;
  DebugLines& operator=(const DebugLines&) = delete;

  void take(std::vector<std::string>& lines, bool flush) override;
  // Forgets what was written and not taken.
  void clear() { pending_.clear(); }

 private:
  static void write(const char* text, void* context);
  std::string pending_;
};

class FuzzSetup {
 public:
  // `installationFile` empty: learn the installation. Throws
  // drezhost::ScenarioError (its message names the file and line) when the
  // file cannot be read or does not describe an installation.
  FuzzSetup(drezhost::ScriptFactory factory, const std::string& installationFile);

  const drezhost::ScriptFactory& factory() const { return factory_; }
  const drezhost::Installation& installation() const { return installation_; }
  const FuzzTables& tables() const { return tables_; }
  DebugLines& debug() { return debug_; }
  // What was learned, one line each; empty for an installation given.
  const std::vector<std::string>& learned() const { return learned_; }

 private:
  void learn();
  void probe();

  drezhost::ScriptFactory factory_;
  drezhost::Installation installation_;
  FuzzTables tables_;
  DebugLines debug_;
  std::vector<std::string> learned_;
};

}  // namespace drezfuzz

#endif  // FUZZ_PANEL_FUZZ_SETUP_H_
