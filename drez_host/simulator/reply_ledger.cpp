#include "simulator/reply_ledger.h"

#include <cstring>
#include <utility>

namespace drezhost {

namespace {

std::string numbered(std::size_t number) { return "reply #" + std::to_string(number); }

}  // namespace

const char* ReplyLedger::handOut(const std::string& text, const std::string& command) {
  Held held;
  held.text.reset(new char[text.size() + 1]);
  std::memcpy(held.text.get(), text.c_str(), text.size() + 1);
  held.command = command;
  held.number = ++handed_out_;
  const char* pointer = held.text.get();
  released_.erase(pointer);
  by_number_.emplace(held.number, pointer);
  held_.emplace(pointer, std::move(held));
  return pointer;
}

std::optional<std::string> ReplyLedger::takeBack(const char* reply) {
  auto held = held_.find(reply);
  if (held != held_.end()) {
    released_[reply] = held->second.number;
    by_number_.erase(held->second.number);
    held_.erase(held);
    ++released_count_;
    return std::nullopt;
  }
  if (reply == nullptr) return std::string("released a null reply");
  auto released = released_.find(reply);
  if (released != released_.end()) return "released " + numbered(released->second) + " twice";
  return std::string("released a pointer, which this host never handed out");
}

const std::string* ReplyLedger::commandOf(const char* reply) const {
  auto held = held_.find(reply);
  return held != held_.end() ? &held->second.command : nullptr;
}

std::string ReplyLedger::describe(const char* reply) const {
  if (reply == nullptr) return "a null pointer";
  auto held = held_.find(reply);
  if (held != held_.end()) return numbered(held->second.number);
  auto released = released_.find(reply);
  if (released != released_.end()) return numbered(released->second);
  return "a pointer this host never handed out";
}

std::vector<const char*> ReplyLedger::heldSince(std::size_t first) const {
  std::vector<const char*> pointers;
  for (auto it = by_number_.lower_bound(first); it != by_number_.end(); ++it) {
    pointers.push_back(it->second);
  }
  return pointers;
}

bool ReplyLedger::reported(const char* reply) const {
  auto held = held_.find(reply);
  return held != held_.end() && held->second.reported;
}

void ReplyLedger::markReported(const char* reply) {
  auto held = held_.find(reply);
  if (held != held_.end()) held->second.reported = true;
}

}  // namespace drezhost
