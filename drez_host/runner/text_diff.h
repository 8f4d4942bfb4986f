// A unified diff of two lists of lines, for golden traces: hunks of changed
// lines with three lines of context, "-" for expected lines that are
// missing, "+" for actual lines that are new. Long diffs are cut after
// `limit` lines with a count of what was left out.

#ifndef DREZ_HOST_RUNNER_TEXT_DIFF_H_
#define DREZ_HOST_RUNNER_TEXT_DIFF_H_

#include <cstddef>
#include <string>
#include <vector>

namespace drezhost {

// Empty text when the lists are equal. `expectedName` and `actualName` head
// the diff ("--- <expected>", "+++ <actual>").
std::string unifiedDiff(const std::vector<std::string>& expected,
                        const std::vector<std::string>& actual, const std::string& expectedName,
                        const std::string& actualName, std::size_t limit = 60);

}  // namespace drezhost

#endif  // DREZ_HOST_RUNNER_TEXT_DIFF_H_
