// The replies a host has handed out to scripts and not yet taken back: the
// host's side of the rule that a script hands each reply back exactly once.
//
// Not synchronised: used on the host's one thread.

#ifndef DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_
#define DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace drezhost {

// True for the commands whose result is a reply the script must hand back:
// "SD", "XI" and "TG".
bool carriesReply(const std::string& command);

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
  // The replies held now, in the order they were handed out.
  std::vector<const char*> held() const;

  std::size_t handedOut() const { return handed_out_; }
  std::size_t released() const { return released_count_; }
  std::size_t heldCount() const { return held_.size(); }

 private:
  struct Held {
    std::unique_ptr<char[]> text;
    std::string command;
    std::size_t number = 0;  // 1 for the first reply handed out
  };
  std::unordered_map<const char*, Held> held_;
  std::unordered_set<const char*> released_;  // taken back, not handed out again
  std::size_t handed_out_ = 0;
  std::size_t released_count_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_REPLY_LEDGER_H_
