#include "validator.h"

#include <algorithm>

namespace drezhost {

void Validator::report(Severity severity, const std::string& message) {
  Problem problem;
  problem.severity = severity;
  problem.message = message;
  problems_.push_back(problem);
  if (listener_) listener_(problems_.back());
}

bool Validator::expect(Severity severity, const std::string& text, std::size_t since) {
  for (std::size_t i = since; i < problems_.size(); ++i) {
    Problem& problem = problems_[i];
    if (problem.severity == severity && !problem.expected &&
        problem.message.find(text) != std::string::npos) {
      problem.expected = true;
      return true;
    }
  }
  return false;
}

std::size_t Validator::unexpectedErrors() const {
  return static_cast<std::size_t>(
      std::count_if(problems_.begin(), problems_.end(),
                    [](const Problem& p) { return p.severity == Severity::Error && !p.expected; }));
}

std::size_t Validator::count(Severity severity) const {
  return static_cast<std::size_t>(
      std::count_if(problems_.begin(), problems_.end(),
                    [&](const Problem& p) { return p.severity == severity; }));
}

}  // namespace drezhost
