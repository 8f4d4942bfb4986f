// What a simulated host found wrong while scripts ran: errors (the script
// broke the host contract) and warnings (it addressed something the studio
// does not have). Each message names the command or event that caused it.
// Errors not marked as expected make a run fail.

#ifndef DREZ_HOST_VALIDATOR_H_
#define DREZ_HOST_VALIDATOR_H_

#include <cstddef>
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

  // Called for each problem as it is reported.
  void setListener(Listener listener) { listener_ = std::move(listener); }

  void error(const std::string& message) { report(Severity::Error, message); }
  void warning(const std::string& message) { report(Severity::Warning, message); }

  const std::vector<Problem>& problems() const { return problems_; }
  // A position to pass to expect: the problems reported from now on.
  std::size_t mark() const { return problems_.size(); }
  // Marks as expected the first problem of `severity` from position `since`
  // on whose message contains `text` and that is not marked yet. False when
  // there is none.
  bool expect(Severity severity, const std::string& text, std::size_t since);

  std::size_t unexpectedErrors() const;
  std::size_t count(Severity severity) const;

 private:
  void report(Severity severity, const std::string& message);

  std::vector<Problem> problems_;
  Listener listener_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_VALIDATOR_H_
