// Learns an installation from what a script asks of it. With a learner, the
// simulated host answers what its installation lacks instead of warning:
// a name looked up with "SD" gets a device number and a non-zero offset of
// the learner's choosing (so that a script that forgets the offset shows
// it); the first command that uses the number ("IR"/"IP", "RR"/"RP", "GS")
// decides the device's kind, and every range used widens it; a panel file
// loaded with "PS" is added, and each control "TP" or "TG" addresses is
// added to it. finish() gives every registered or polled range state to
// deliver.
//
// validate and monkey learn the installation of a panel they know nothing
// of this way, from a start-up and teardown of its script.
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

#include "simulator/installation.h"

namespace drezhost {

class InstallationLearner {
 public:
  // The first device number and offset handed out; each next name gets the
  // next number and kOffsetStep more offset.
  static constexpr int32_t kFirstNumber = 101;
  static constexpr int32_t kOffsetStep = 20;

  // Learns into `installation`, which must outlive the learner.
  explicit InstallationLearner(Installation& installation) : installation_(installation) {}

  // The name's number and offset, made up the first time it is asked for.
  DeviceName lookup(const std::string& name);
  // A command uses device `number` as `kind`, indices `first` to `last` (an
  // output's index twice for "GS"). Creates the device, when `number` was
  // handed out or the installation has no such device ("Device <n>", offset
  // 0, for a number the script knew without asking), or widens it. False
  // when the device is none of the learner's, or is of another kind.
  bool use(int32_t number, DeviceKind kind, int32_t first, int32_t last);
  // "PS" names a panel file the installation lacks: it is added, under the
  // part of the name after the last '/' or '\'.
  void addPanelFile(const std::string& fileText);
  // "TP"/"TG" address `control` on panel `panelId`, whose panel lacks it.
  void addControl(const std::string& panelId, const std::string& control);

  // Ends learning: a name looked up but never used becomes an infodriver;
  // every range registered or polled gets a text in each slot and a source
  // routed to each destination.
  void finish();

  // What was learned, for a person: one line each.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  struct Pending {
    std::string name;
    int32_t offset = 0;
  };
  Installation& installation_;
  std::map<int32_t, std::vector<Pending>> pending_;      // handed out, kind unknown yet
  std::map<std::string, int32_t> numbers_;               // name -> number handed out
  std::set<int32_t> learned_;                            // numbers the learner created
  std::map<int32_t, std::pair<int32_t, int32_t>> used_;  // number -> the widest range
  std::vector<std::string> notes_;
  int32_t next_ = kFirstNumber;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_INSTALLATION_LEARNER_H_
