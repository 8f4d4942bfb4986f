#include "simulator/validator.h"

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
  for (std::size_t i = since > forgotten_ ? since - forgotten_ : 0; i < problems_.size(); ++i) {
    Problem& problem = problems_[i];
    if (problem.severity == severity && !problem.expected &&
        problem.message.find(text) != std::string::npos) {
      problem.expected = true;
      return true;
    }
  }
  return false;
}

std::vector<const Problem*> Validator::since(std::size_t position, Severity severity) const {
  std::vector<const Problem*> found;
  for (std::size_t i = position > forgotten_ ? position - forgotten_ : 0; i < problems_.size();
       ++i) {
    if (problems_[i].severity == severity) found.push_back(&problems_[i]);
  }
  return found;
}

void Validator::forgetBefore(std::size_t position) {
  while (forgotten_ < position && !problems_.empty()) {
    const Problem& problem = problems_.front();
    if (problem.severity == Severity::Warning) {
      ++settled_warnings_;
    } else if (!problem.expected) {
      if (settled_kept_.size() < kSettledErrorsKept) settled_kept_.push_back(problem.message);
      ++settled_errors_;
    }
    problems_.pop_front();
    ++forgotten_;
  }
}

std::size_t Validator::unexpectedErrors() const {
  return settled_errors_ + static_cast<std::size_t>(std::count_if(
                               problems_.begin(), problems_.end(), [](const Problem& p) {
                                 return p.severity == Severity::Error && !p.expected;
                               }));
}

std::size_t Validator::count(Severity severity) const {
  std::size_t settled = 0;
  if (severity == Severity::Warning) settled = settled_warnings_;
  return settled + static_cast<std::size_t>(
                       std::count_if(problems_.begin(), problems_.end(),
                                     [&](const Problem& p) { return p.severity == severity; }));
}

std::vector<std::string> Validator::unexpectedMessages(std::size_t* more) const {
  std::vector<std::string> messages = settled_kept_;
  *more = settled_errors_ - settled_kept_.size();
  for (const Problem& problem : problems_) {
    if (problem.severity == Severity::Error && !problem.expected)
      messages.push_back(problem.message);
  }
  return messages;
}

}  // namespace drezhost
