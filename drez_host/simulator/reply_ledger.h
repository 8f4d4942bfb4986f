// The replies a host has handed out to scripts and not yet taken back: the
// host's side of the rule that a script hands each reply back exactly once.
//
// Each reply gets a number, 1 for the first handed out, by which messages
// name it ("reply #3"): pointers differ from run to run, numbers do not.
// Every operation takes constant time (or, for heldSince, time in what it
// returns), however many replies are held.
//
// Not synchronised: used on the host's one thread.

#ifndef DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_
#define DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace drezhost {

class ReplyLedger {
 public:
  // Keeps a NUL-terminated copy of `text`, the reply to `command`, and
  // returns its address: the pointer the script gets, owned by the ledger
  // until it is taken back.
  const char* handOut(const std::string& text, const std::string& command);

  // Takes `reply` back. Returns nothing when it was handed out and not yet
  // taken back; otherwise what was wrong, in words (a null reply, one taken
  // back twice, or a pointer this ledger never handed out).
  std::optional<std::string> takeBack(const char* reply);

  // The command `reply` answers while it is held; null otherwise.
  const std::string* commandOf(const char* reply) const;
  // "reply #<n>" for a reply held or taken back, "a null pointer", or "a
  // pointer this host never handed out".
  std::string describe(const char* reply) const;
  // The number the next reply handed out will get.
  std::size_t nextNumber() const { return handed_out_ + 1; }
  // The replies held now whose number is `first` or more, in order.
  std::vector<const char*> heldSince(std::size_t first) const;
  // The replies held now, in the order they were handed out.
  std::vector<const char*> held() const { return heldSince(1); }

  // Whether a held reply has been reported as still held; marks it.
  bool reported(const char* reply) const;
  void markReported(const char* reply);

  std::size_t handedOut() const { return handed_out_; }
  std::size_t released() const { return released_count_; }
  std::size_t heldCount() const { return held_.size(); }

 private:
  struct Held {
    std::unique_ptr<char[]> text;
    std::string command;
    std::size_t number = 0;
    bool reported = false;
  };
  std::unordered_map<const char*, Held> held_;
  std::map<std::size_t, const char*> by_number_;  // the held ones
  // Taken back and not handed out again: address -> number.
  std::unordered_map<const char*, std::size_t> released_;
  std::size_t handed_out_ = 0;
  std::size_t released_count_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_
