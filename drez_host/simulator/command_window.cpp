#include "simulator/command_window.h"

namespace drezhost {

void CommandWindow::add(std::string_view text, std::string_view sender) {
  ++total_;
  if (entries_.size() >= limit_) return;
  Entry& entry = entries_.emplace_back();
  entry.text = append(text);
  // A script sends many commands in a row: its name is kept once for them.
  if (entries_.size() > 1 && view(entries_[entries_.size() - 2].sender) == sender) {
    entry.sender = entries_[entries_.size() - 2].sender;
  } else {
    entry.sender = append(sender);
  }
}

void CommandWindow::clear() {
  bytes_.clear();
  entries_.clear();
  total_ = 0;
}

CommandWindow::Span CommandWindow::append(std::string_view text) {
  Span span;
  span.begin = bytes_.size();
  span.size = text.size();
  bytes_.append(text);
  return span;
}

std::vector<std::string> CommandWindow::texts() const {
  std::vector<std::string> texts;
  texts.reserve(entries_.size());
  for (const Entry& entry : entries_) texts.emplace_back(view(entry.text));
  return texts;
}

bool CommandWindow::holds(const std::vector<std::string>& expected) const {
  if (expected.size() != entries_.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (view(entries_[i].text) != expected[i]) return false;
  }
  return true;
}

}  // namespace drezhost
