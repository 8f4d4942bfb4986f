// The commands scripts sent since the window was last cleared, each with the
// name of the script that sent it: what the expectations about an action
// read. At most `limit` texts are kept; the rest are only counted.
//
// The texts and names sit in one buffer whose room serves the window again
// once it is cleared: a command kept costs no heap block of its own. The
// views operator[] and sender() return are valid until the next add() or
// clear().
//
// Not synchronised: used on the host's one thread.

#ifndef DREZ_HOST_SIMULATOR_COMMAND_WINDOW_H_
#define DREZ_HOST_SIMULATOR_COMMAND_WINDOW_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace drezhost {

class CommandWindow {
 public:
  explicit CommandWindow(std::size_t limit) : limit_(limit) {}

  // Keeps `text`, sent by the script named `sender`, while fewer than the
  // limit are kept; counts it either way.
  void add(std::string_view text, std::string_view sender);
  // Forgets every command; keeps the room.
  void clear();
  // Trades contents, limits and room with `other`.
  void swap(CommandWindow& other) noexcept {
    std::swap(limit_, other.limit_);
    bytes_.swap(other.bytes_);
    entries_.swap(other.entries_);
    std::swap(total_, other.total_);
  }

  // The commands kept, and sent (kept or not).
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::size_t total() const { return total_; }
  // The text of command `i`, and the name of the script that sent it.
  std::string_view operator[](std::size_t i) const { return view(entries_[i].text); }
  std::string_view sender(std::size_t i) const { return view(entries_[i].sender); }

  // The texts kept, as strings of their own.
  std::vector<std::string> texts() const;
  // Whether the texts kept are `expected`, in order.
  bool holds(const std::vector<std::string>& expected) const;

 private:
  struct Span {
    std::size_t begin = 0;
    std::size_t size = 0;
  };
  struct Entry {
    Span text;
    Span sender;
  };
  std::string_view view(Span span) const {
    return std::string_view(bytes_).substr(span.begin, span.size);
  }
  Span append(std::string_view text);

  std::size_t limit_;
  std::string bytes_;
  std::vector<Entry> entries_;
  std::size_t total_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_COMMAND_WINDOW_H_
