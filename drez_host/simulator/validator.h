// What a simulated host found wrong while scripts ran: errors (the script
// broke the host contract) and warnings (it addressed something the studio
// does not have). Each message names the command or event that caused it.
// Errors not marked as expected make a run fail.
//
// Memory stays bounded in a long run: problems before a position the owner
// settles with forgetBefore() are kept only as counts, and the first
// kSettledErrorsKept unexpected errors among them as messages.

#ifndef DREZ_HOST_SIMULATOR_VALIDATOR_H_
#define DREZ_HOST_SIMULATOR_VALIDATOR_H_

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace drezhost {

enum class Severity { Error, Warning };

struct Problem {
  Severity severity = Severity::Error;
  std::string message;
  bool expected = false;  // a scenario said it would come
};

class Validator {
 public:
  using Listener = std::function<void(const Problem&)>;
  static constexpr std::size_t kSettledErrorsKept = 20;

  // Called for each problem as it is reported.
  void setListener(Listener listener) { listener_ = std::move(listener); }

  void error(const std::string& message) { report(Severity::Error, message); }
  void warning(const std::string& message) { report(Severity::Warning, message); }

  // The problems from position first() on, in order.
  const std::deque<Problem>& problems() const { return problems_; }
  // The position of problems().front().
  std::size_t first() const { return forgotten_; }
  // A position to pass to expect: the problems reported from now on.
  std::size_t mark() const { return forgotten_ + problems_.size(); }
  // Marks as expected the first problem of `severity` from position `since`
  // on whose message contains `text` and that is not marked yet. False when
  // there is none.
  bool expect(Severity severity, const std::string& text, std::size_t since);
  // The problems of `severity` from position `since` on.
  std::vector<const Problem*> since(std::size_t position, Severity severity) const;
  // Settles every problem before `position`: none can be expected any more.
  void forgetBefore(std::size_t position);

  std::size_t unexpectedErrors() const;
  std::size_t count(Severity severity) const;
  // The messages of unexpected errors: the settled ones kept, then the rest.
  // `*more` gets how many settled ones were not kept.
  std::vector<std::string> unexpectedMessages(std::size_t* more) const;

 private:
  void report(Severity severity, const std::string& message);

  std::deque<Problem> problems_;
  std::size_t forgotten_ = 0;
  std::size_t settled_errors_ = 0;  // unexpected, among the forgotten
  std::size_t settled_warnings_ = 0;
  std::vector<std::string> settled_kept_;
  Listener listener_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_VALIDATOR_H_
