#include "trace.h"

#include <iomanip>

namespace drezhost {

namespace {

std::string indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 2, ' '); }

}  // namespace

std::string quoteText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '\n':
        quoted += "\\n";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '\\':
      case '"':
        quoted += '\\';
        quoted += c;
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

int Trace::entry(int depth, const std::string& script, const std::string& text) {
  ++count_;
  if (out_ != nullptr) {
    *out_ << std::setw(5) << count_ << "  " << indent(depth);
    if (show_scripts_ && !script.empty()) *out_ << "[" << script << "] ";
    *out_ << text << '\n';
  }
  return count_;
}

void Trace::note(int depth, const std::string& text) {
  if (out_ != nullptr) *out_ << "       " << indent(depth) << text << '\n';
}

void Trace::print(const std::string& text) {
  if (out_ != nullptr) *out_ << text << '\n';
}

}  // namespace drezhost
