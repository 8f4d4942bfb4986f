#include "jobs/reports.h"

#include <cstdio>
#include <fstream>
#include <variant>

#include "simulator/trace.h"

namespace drezhost {

namespace {

// `text` made safe, line by line, as the trace shows texts: every byte that
// is not UTF-8, every control and non-character is escaped visibly, so that
// a report is well-formed whatever a script or a scenario held.
std::string visible(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    out += shownText(text.substr(start, end == std::string::npos ? std::string::npos : end - start),
                     std::string::npos);
    if (end == std::string::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

std::string xml(const std::string& raw) {
  const std::string text = visible(raw);
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;  // visible() left no control character but the line feed
    }
  }
  return out;
}

std::string json(const std::string& raw) {
  const std::string text = visible(raw);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string jsonList(const std::vector<std::string>& texts) {
  std::string list = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) list += (i == 0 ? "" : ", ") + json(texts[i]);
  return list + "]";
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

void writeJunit(std::ostream& out, const std::string& suite, const std::vector<Result>& results) {
  std::size_t failures = 0;
  std::size_t errors = 0;
  std::size_t skipped = 0;
  double total = 0;
  for (const Result& result : results) {
    failures += result.verdict() == Verdict::Failed;
    skipped += result.verdict() == Verdict::Skipped;
    errors += result.status() != ExitStatus::Passed && result.verdict() != Verdict::Failed;
    total += result.seconds;
  }
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"drez-host\" tests=\"" << results.size() << "\" failures=\"" << failures
      << "\" errors=\"" << errors << "\" time=\"" << seconds(total) << "\">\n"
      << "  <testsuite name=\"drez-host " << xml(suite) << "\" tests=\"" << results.size()
      << "\" failures=\"" << failures << "\" errors=\"" << errors << "\" skipped=\"" << skipped
      << "\" time=\"" << seconds(total) << "\">\n";
  for (const Result& result : results) {
    out << "    <testcase classname=\"drez-host." << xml(suite) << "\" name=\"" << xml(result.name)
        << "\" time=\"" << seconds(result.seconds) << "\"";
    if (result.verdict() == Verdict::Passed) {
      out << "/>\n";
      continue;
    }
    const std::vector<std::string> lines = detailsOf(result);
    if (result.verdict() == Verdict::Skipped) {
      out << ">\n      <skipped message=\""
          << xml(lines.empty() ? "skipped" : firstLine(lines.front())) << "\"/>\n    </testcase>\n";
      continue;
    }
    const char* element = result.verdict() == Verdict::Failed ? "failure" : "error";
    const char* verdict = namesOf(result.verdict()).word;
    out << ">\n      <" << element << " type=\"" << verdict << "\" message=\""
        << xml(lines.empty() ? verdict : firstLine(lines.front())) << "\">" << xml(joined(lines))
        << "</" << element << ">\n    </testcase>\n";
  }
  out << "  </testsuite>\n</testsuites>\n";
}

void writeTap(std::ostream& out, const std::vector<Result>& results) {
  out << "TAP version 13\n1.." << results.size() << "\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Result& result = results[i];
    const bool passed = result.status() == ExitStatus::Passed;
    out << (passed ? "ok " : "not ok ") << i + 1 << " - " << shownText(result.name);
    if (result.verdict() == Verdict::Skipped) {
      const std::vector<std::string> lines = detailsOf(result);
      out << " # SKIP " << shownText(lines.empty() ? std::string() : lines.front());
    }
    out << "\n";
    if (passed) continue;
    out << "  ---\n  verdict: " << namesOf(result.verdict()).word << "\n  messages:\n";
    for (const std::string& line : detailsOf(result)) out << "    - " << json(line) << "\n";
    out << "  ...\n";
  }
}

void writeJson(std::ostream& out, const std::string& suite, const std::vector<Result>& results) {
  out << "{\n  \"suite\": " << json(suite) << ",\n  \"results\": [";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Result& result = results[i];
    const RunSummary& summary = result.summary;
    out << (i == 0 ? "\n" : ",\n") << "    {\"name\": " << json(result.name)
        << ", \"verdict\": " << json(namesOf(result.verdict()).word)
        << ", \"exitCode\": " << exitCode(result.status())
        << ", \"seconds\": " << seconds(result.seconds) << ", \"actions\": " << summary.actions
        << ", \"expectations\": " << summary.expectations << ", \"notMet\": " << summary.notMet
        << ", \"errors\": " << summary.errors << ", \"warnings\": " << summary.warnings
        << ", \"messages\": [";
    const std::vector<std::string> lines = detailsOf(result);
    for (std::size_t j = 0; j < lines.size(); ++j) out << (j == 0 ? "" : ", ") << json(lines[j]);
    out << "]";
    if (const CrashScene* scene = sceneOf(result.ending)) {
      out << ", \"crash\": {\"cause\": " << json(causeOf(result.ending))
          << ", \"step\": " << json(scene->step) << ", \"call\": " << json(scene->call)
          << ", \"lastCommands\": " << jsonList(scene->lastCommands)
          << ", \"standardError\": " << jsonList(scene->standardError) << "}";
    }
    out << "}";
  }
  out << "\n  ]\n}\n";
}

}  // namespace

Result resultOf(const std::string& name, const Outcome& outcome) {
  Result result;
  result.name = name;
  result.ending = outcome.ending;
  result.summary = outcome.summary;
  result.seconds = outcome.seconds;
  return result;
}

std::vector<std::string> detailsOf(const Result& result) {
  std::vector<std::string> lines = details(result.ending);
  // What the run said before it crashed or hung.
  if (sceneOf(result.ending) != nullptr) {
    lines.insert(lines.begin(), result.summary.messages.begin(), result.summary.messages.end());
  }
  return lines;
}

bool writeReports(const std::vector<std::string>& reports, const std::string& suite,
                  const std::vector<Result>& results, std::ostream& out, std::string* error) {
  for (const std::string& report : reports) {
    const std::size_t equals = report.find('=');
    const std::string kind = report.substr(0, equals);
    if (equals == std::string::npos) {
      writeTap(out, results);
      continue;
    }
    const std::string path = report.substr(equals + 1);
    std::ofstream file(path, std::ios::binary);
    if (kind == "junit") {
      writeJunit(file, suite, results);
    } else if (kind == "json") {
      writeJson(file, suite, results);
    } else {
      writeTap(file, results);
    }
    file.close();
    if (!file) {
      *error = "cannot write the report '" + path + "'";
      return false;
    }
  }
  return true;
}

}  // namespace drezhost
