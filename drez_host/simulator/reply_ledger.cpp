#include "reply_ledger.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

namespace drezhost {

namespace {

std::string describe(const void* pointer) {
  std::ostringstream text;
  text << pointer;
  return text.str();
}

}  // namespace

bool carriesReply(const std::string& command) {
  return command.compare(0, 2, "SD") == 0 || command.compare(0, 2, "XI") == 0 ||
         command.compare(0, 2, "TG") == 0;
}

const char* ReplyLedger::handOut(const std::string& text, const std::string& command) {
  Held held;
  held.text.reset(new char[text.size() + 1]);
  std::memcpy(held.text.get(), text.c_str(), text.size() + 1);
  held.command = command;
  held.number = ++handed_out_;
  const char* pointer = held.text.get();
  released_.erase(pointer);
  held_.emplace(pointer, std::move(held));
  return pointer;
}

std::optional<std::string> ReplyLedger::takeBack(const char* reply) {
  auto held = held_.find(reply);
  if (held != held_.end()) {
    held_.erase(held);
    released_.insert(reply);
    ++released_count_;
    return std::nullopt;
  }
  if (reply == nullptr) return std::string("released a null reply");
  if (released_.count(reply) != 0) return "released the reply at " + describe(reply) + " twice";
  return "released " + describe(reply) + ", which this host never handed out";
}

const std::string* ReplyLedger::commandOf(const char* reply) const {
  auto held = held_.find(reply);
  return held != held_.end() ? &held->second.command : nullptr;
}

std::vector<const char*> ReplyLedger::held() const {
  std::vector<std::pair<std::size_t, const char*>> numbered;
  numbered.reserve(held_.size());
  for (const auto& held : held_) numbered.emplace_back(held.second.number, held.first);
  std::sort(numbered.begin(), numbered.end());
  std::vector<const char*> pointers;
  pointers.reserve(numbered.size());
  for (const auto& entry : numbered) pointers.push_back(entry.second);
  return pointers;
}

}  // namespace drezhost
