// The events the benchmarks measure, and the least work each could be.
//
// A scenario owns a panel brought into the state its event needs and the
// host calls that make the event, delivered in rotation (a studio change
// alternates between two states, so that every delivery is a change). Each
// call of the rotation is recorded once when it is added; its replay hands
// the very same command texts to the same host, and a reply the call
// returned as a fresh block that the host reads and that is then freed: what
// the script could not do with less.
//
// Beside its panel, a scenario keeps a twin started through the tap
// (tapped_export.h), brought into the same state by the same calls: the
// event delivered to it is the event through the tap.
//
// Threading: single-threaded.

#ifndef BENCH_SCENARIOS_H_
#define BENCH_SCENARIOS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "bench_panel.h"
#include "tapped_export.h"

namespace drezbench {

class Scenario {
 public:
  // `id` names the benchmarks, `title` the row of the table. The event's
  // goals: at most `ratioTarget` times its replay's time, and at most
  // `allocationBudget` heap allocations per event (a reply block the host
  // frees included).
  Scenario(std::string id, std::string title, double ratioTarget, std::size_t allocationBudget);
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  const std::string& id() const { return id_; }
  const std::string& title() const { return title_; }
  double ratioTarget() const { return ratio_target_; }
  std::size_t allocationBudget() const { return allocation_budget_; }

  // The panel, and its twin behind the tap. Calls that prepare the state an
  // event needs go to both through prepare(); what they send is not
  // measured. A call's data may be made by either panel.
  BenchPanel& panel() { return panel_; }
  BenchPanel& tappedPanel() { return tapped_; }
  void prepare(const HostCall& call);

  // Delivers `call` once to each panel, recording it, and appends it to the
  // rotation. The rotation, delivered once through, must leave the panel in
  // the state it had before its first call.
  void addToRotation(const HostCall& call);
  const std::vector<Recorded>& rotation() const { return recorded_; }

  // Delivers the next call of the rotation to the script.
  void deliverNext();
  // Delivers the next call of the rotation through the tap.
  void deliverNextThroughTap();
  // Replays what the next call of the rotation sent.
  void replayNext();

 private:
  std::string id_;
  std::string title_;
  double ratio_target_;
  std::size_t allocation_budget_;
  BenchPanel panel_;
  BenchPanel tapped_{&tappedExport};
  std::vector<HostCall> calls_;
  std::vector<Recorded> recorded_;
  // recorded_'s command texts as the pointers a replay hands over.
  std::vector<std::vector<const char*>> replay_texts_;
  std::size_t next_call_ = 0;
  std::size_t next_tapped_call_ = 0;
  std::size_t next_replay_ = 0;
};

// The measured events, in the order of the table:
//   studio_to_tx     slot 1 changes to transmission (and back to off) with
//                    all three controls following: 10 "GS" and 3 "TP";
//   router_readout   SDI destination 97 reports a source: 2 "TP";
//   slot4_mode       slot 4 sets "StA_Floor" to follow the studio during
//                    transmission: 2 "GS" and 1 "TP";
//   request          "return=myParam" and the release of its reply;
//   event_id         event 5: "ET 5".
std::vector<std::unique_ptr<Scenario>> makeScenarios();

}  // namespace drezbench

#endif  // BENCH_SCENARIOS_H_
