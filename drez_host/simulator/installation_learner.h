// Learns an installation from what a script asks of it. With a learner, the
// simulated host answers what its installation lacks instead of warning:
// a name looked up gets a device number and a non-zero offset of the
// learner's choosing (so that a script that forgets the offset shows it);
// the first command that uses the number with a range or an output decides
// the device's kind, and every range used widens it; a panel file loaded is
// added, and each control a command addresses on a loaded panel is added to
// it. finish() gives every registered or polled range state to deliver.
//
// validate and monkey learn the installation of a panel they know nothing
// of this way, from a start-up and teardown of its script. A capture's
// studio is learned the same way from the commands it holds and the host's
// replies to them (learn() with a reply), sized as far as it shows.
//
// What a command shows is read from its row of the vocabulary
// (abi/drez_commands.h): its operands' kinds, the kind of device it names.
//
// Threading: the host's.

#ifndef DREZ_HOST_SIMULATOR_INSTALLATION_LEARNER_H_
#define DREZ_HOST_SIMULATOR_INSTALLATION_LEARNER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "simulator/command_parser.h"
#include "simulator/installation.h"

namespace drezhost {

class InstallationLearner {
 public:
  // The first device number and offset handed out; each next name gets the
  // next number and kOffsetStep more offset.
  static constexpr int32_t kFirstNumber = 101;
  static constexpr int32_t kOffsetStep = 20;

  // How large a learned device is.
  enum class Sizing {
    // At least the installation's default size, widened to every range
    // used: room for what a live script may address later. finish() gives
    // the ranges used state.
    AtLeastDefault,
    // As large as the highest index used (the default when none is): the
    // studio as far as a capture shows it. finish() gives no state.
    AsUsed,
  };

  // Learns into `installation`, which must outlive the learner.
  // Numbers it hands out start past every device `installation` has: a
  // learner may go on learning into an installation learned before.
  explicit InstallationLearner(Installation& installation, Sizing sizing = Sizing::AtLeastDefault);

  // Learns what `command` shows: the lookup's answer when `reply` (may be
  // null) is the host's reply to a lookup ("<number> <offset>"); a panel
  // file loaded (added when the installation lacks it, and loaded into the
  // panel); a control addressed on a loaded panel; a device used with a
  // range or an output (see use()). The simulated host calls it before it
  // executes each command.
  void learn(const HostCommand& command, const std::string* reply);

  // The name's number and offset, made up the first time it is asked for.
  DeviceName lookup(const std::string& name);
  // A command uses device `number` as `kind`, indices `first` to `last` (an
  // output's index twice). Creates the device, when `number` was handed out
  // or answered or the installation has no such device ("Device <n>",
  // offset 0, for a number the script knew without asking), or widens it.
  // False when the device is none of the learner's, or is of another kind.
  bool use(int32_t number, DeviceKind kind, int32_t first, int32_t last);
  // A panel file the installation lacks: it is added, under the part of
  // the name after the last '/' or '\'.
  void addPanelFile(const std::string& fileText);
  // A command addresses `control` on panel `panelId`: added to the file
  // loaded into that panel, and to the panel when the installation has it
  // loaded, when they lack it.
  void addControl(const std::string& panelId, const std::string& control);

  // Ends learning: a name looked up but never used becomes an infodriver;
  // devices get their final size; with Sizing::AtLeastDefault every range
  // registered or polled gets a text in each slot and a source routed to
  // each destination.
  void finish();

  // What was learned, for a person: one line each.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  struct Pending {
    std::string name;
    int32_t offset = 0;
  };
  // A lookup of `name` was answered with `number` and `offset`.
  void answered(const std::string& name, int32_t number, int32_t offset);
  // `fileText` is loaded into panel `panelId`.
  void panelLoaded(const std::string& panelId, const std::string& fileText);

  Installation& installation_;
  Sizing sizing_;
  std::map<int32_t, std::vector<Pending>> pending_;      // handed out, kind unknown yet
  std::map<std::string, int32_t> numbers_;               // name -> number handed out
  std::set<int32_t> learned_;                            // numbers the learner created
  std::map<int32_t, std::pair<int32_t, int32_t>> used_;  // number -> the widest range
  std::map<std::string, std::string> loaded_;            // panel id -> the file loaded
  std::vector<std::string> notes_;
  int32_t next_ = kFirstNumber;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_INSTALLATION_LEARNER_H_
