#include "scenarios.h"

#include <cstring>
#include <utility>

#include "drez_client_host.h"

namespace drezbench {

Scenario::Scenario(std::string id, std::string title, double ratioTarget,
                   std::size_t allocationBudget)
    : id_(std::move(id)),
      title_(std::move(title)),
      ratio_target_(ratioTarget),
      allocation_budget_(allocationBudget) {}

void Scenario::prepare(const HostCall& call) {
  panel_.deliver(call);
  tapped_.deliver(call);
}

void Scenario::addToRotation(const HostCall& call) {
  calls_.push_back(call);
  tapped_.deliver(call);
  recorded_.push_back(panel_.record(call));
  // recorded_ may have moved its strings: point at where they are now.
  replay_texts_.clear();
  for (const Recorded& recorded : recorded_) {
    std::vector<const char*> texts;
    for (const std::string& command : recorded.commands) texts.push_back(command.c_str());
    replay_texts_.push_back(std::move(texts));
  }
}

void Scenario::deliverNext() {
  panel_.deliver(calls_[next_call_]);
  if (++next_call_ == calls_.size()) next_call_ = 0;
}

void Scenario::deliverNextThroughTap() {
  tapped_.deliver(calls_[next_tapped_call_]);
  if (++next_tapped_call_ == calls_.size()) next_tapped_call_ = 0;
}

void Scenario::replayNext() {
  const std::size_t at = next_replay_;
  if (++next_replay_ == calls_.size()) next_replay_ = 0;
  drez_client_host& host = panel_.host();
  for (const char* text : replay_texts_[at]) host.command(text, HOST_CMD_EXECUTE);
  const std::string& reply = recorded_[at].reply;
  if (reply.empty()) return;
  char* block = new char[reply.size() + 1];
  std::memcpy(block, reply.c_str(), reply.size() + 1);
  panel_.host().readReply(block);
  delete[] block;
}

std::vector<std::unique_ptr<Scenario>> makeScenarios() {
  std::vector<std::unique_ptr<Scenario>> scenarios;

  // The goals: no allocation once start-up is done, except the request's
  // writable copy of its text and the reply block the host frees.
  auto studio =
      std::make_unique<Scenario>("studio_to_tx", "studio change to TX (10 GS, 3 TP)", 2, 0);
  BenchPanel& studio_panel = studio->panel();
  for (int slot = 4; slot <= 6; ++slot) studio->prepare(studio_panel.tallySlot(slot, "1"));
  studio->prepare(studio_panel.tallySlot(1, "0"));
  studio->addToRotation(studio_panel.tallySlot(1, "2"));
  studio->addToRotation(studio_panel.tallySlot(1, "0"));
  scenarios.push_back(std::move(studio));

  auto router = std::make_unique<Scenario>("router_readout", "router readout (2 TP)", 4, 0);
  router->addToRotation(
      router->panel().deviceUpdate(BenchPanel::kSdiRouterDevice, 97, 12, "CAM 1 Studio A"));
  scenarios.push_back(std::move(router));

  auto mode = std::make_unique<Scenario>("slot4_mode", "slot 4 mode change (2 GS, 1 TP)", 2, 0);
  BenchPanel& mode_panel = mode->panel();
  mode->prepare(mode_panel.tallySlot(1, "2"));
  mode->addToRotation(mode_panel.tallySlot(4, "1"));
  scenarios.push_back(std::move(mode));

  auto request = std::make_unique<Scenario>("request", "property request round trip", 6, 2);
  BenchPanel& request_panel = request->panel();
  request->prepare(request_panel.hostRequest("myParam=abc"));
  request->addToRotation(request_panel.hostRequest("return=myParam"));
  scenarios.push_back(std::move(request));

  auto event = std::make_unique<Scenario>("event_id", "event id (ET)", 2.5, 0);
  event->addToRotation(BenchPanel::eventId(5));
  scenarios.push_back(std::move(event));

  return scenarios;
}

}  // namespace drezbench
