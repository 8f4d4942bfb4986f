#include "runner/text_diff.h"

#include <algorithm>

#include "simulator/trace.h"

namespace drezhost {

namespace {

// Past this many cells the middle is shown as removed and added whole,
// rather than matched line by line.
constexpr std::size_t kMatchCells = 4000000;
constexpr std::size_t kContext = 3;

struct Edit {
  char kind;  // ' ', '-' or '+'
  std::size_t expected;
  std::size_t actual;
};

// The edits that turn expected[a0, a1) into actual[b0, b1), by the longest
// common subsequence.
void matchMiddle(const std::vector<std::string>& a, const std::vector<std::string>& b,
                 std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1,
                 std::vector<Edit>& edits) {
  const std::size_t n = a1 - a0;
  const std::size_t m = b1 - b0;
  if (n * m > kMatchCells) {
    for (std::size_t i = a0; i < a1; ++i) edits.push_back({'-', i, b0});
    for (std::size_t j = b0; j < b1; ++j) edits.push_back({'+', a1, j});
    return;
  }
  std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      lcs[i][j] =
          a[a0 + i] == b[b0 + j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    }
  }
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[a0 + i] == b[b0 + j]) {
      edits.push_back({' ', a0 + i++, b0 + j++});
    } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
      edits.push_back({'+', a0 + i, b0 + j++});
    } else {
      edits.push_back({'-', a0 + i++, b0 + j});
    }
  }
}

}  // namespace

std::string unifiedDiff(const std::vector<std::string>& expected,
                        const std::vector<std::string>& actual, const std::string& expectedName,
                        const std::string& actualName, std::size_t limit) {
  if (expected == actual) return std::string();
  std::size_t prefix = 0;
  while (prefix < expected.size() && prefix < actual.size() && expected[prefix] == actual[prefix])
    ++prefix;
  std::size_t suffix = 0;
  while (suffix < expected.size() - prefix && suffix < actual.size() - prefix &&
         expected[expected.size() - 1 - suffix] == actual[actual.size() - 1 - suffix])
    ++suffix;
  std::vector<Edit> edits;
  for (std::size_t i = 0; i < prefix; ++i) edits.push_back({' ', i, i});
  matchMiddle(expected, actual, prefix, expected.size() - suffix, prefix, actual.size() - suffix,
              edits);
  for (std::size_t k = suffix; k > 0; --k) {
    edits.push_back({' ', expected.size() - k, actual.size() - k});
  }

  std::vector<std::string> lines;
  std::size_t e = 0;
  while (e < edits.size()) {
    if (edits[e].kind == ' ') {
      ++e;
      continue;
    }
    // A hunk: from kContext before this change to kContext after the last
    // change that is at most 2 * kContext unchanged lines further.
    const std::size_t start = e > kContext ? e - kContext : 0;
    std::size_t lastChange = e;
    for (std::size_t k = e; k < edits.size() && k - lastChange <= 2 * kContext; ++k) {
      if (edits[k].kind != ' ') lastChange = k;
    }
    const std::size_t end = std::min(edits.size(), lastChange + kContext + 1);
    std::size_t minus = 0;
    std::size_t plus = 0;
    for (std::size_t k = start; k < end; ++k) {
      minus += edits[k].kind != '+';
      plus += edits[k].kind != '-';
    }
    lines.push_back("@@ -" + std::to_string(edits[start].expected + 1) + "," +
                    std::to_string(minus) + " +" + std::to_string(edits[start].actual + 1) + "," +
                    std::to_string(plus) + " @@");
    for (std::size_t k = start; k < end; ++k) {
      const Edit& edit = edits[k];
      const std::string& text = edit.kind == '+' ? actual[edit.actual] : expected[edit.expected];
      lines.push_back(std::string(1, edit.kind) + shownText(text));
    }
    e = end;
  }
  std::string diff = "--- " + expectedName + "\n+++ " + actualName + "\n";
  for (std::size_t i = 0; i < lines.size() && i < limit; ++i) diff += lines[i] + "\n";
  if (lines.size() > limit) {
    diff += "... " + std::to_string(lines.size() - limit) + " more lines of difference\n";
  }
  return diff;
}

}  // namespace drezhost
