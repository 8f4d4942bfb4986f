// capture_check: reads a capture and prints how complete it is and how many
// entries of each kind it holds.
//
//   capture_check <capture file>
//
// Output (stable, for tests to compare):
//   <file>: complete, 97 entries
//   begin 1
//   export 1
//   ...                       every entry kind, in the order of the format
//   scripts 1                 the script numbers seen
//   replies 6                 the replies numbered
// Exit status: 0 when the capture reads, 1 when it does not (the error on
// standard error), 2 for a wrong command line.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <set>
#include <string>
#include <variant>

#include "capture_reader.h"

namespace {

// The highest reply number an entry gives.
int64_t replyNumberOf(const drezcapture::Entry& entry) {
  return std::visit(
      [](const auto& e) -> int64_t {
        if constexpr (std::is_same_v<std::decay_t<decltype(e)>, drezcapture::CommandEntry> ||
                      std::is_same_v<std::decay_t<decltype(e)>, drezcapture::EndEntry>) {
          if (e.result.kind == drezcapture::ResultKind::kReply) return e.result.number;
        }
        return 0;
      },
      entry);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: capture_check <capture file>\n");
    return 2;
  }
  try {
    const drezcapture::Capture capture = drezcapture::readCaptureFile(argv[1]);
    std::printf("%s: %s\n", argv[1], capture.describe().c_str());
    std::size_t counts[drezcapture::kEntryKindCount] = {};
    std::set<int64_t> scripts;
    int64_t replies = 0;
    for (const drezcapture::Entry& entry : capture.entries) {
      ++counts[static_cast<int>(drezcapture::kindOf(entry))];
      const int64_t script = drezcapture::headOf(entry).script;
      if (script != 0) scripts.insert(script);
      replies = std::max(replies, replyNumberOf(entry));
    }
    for (const drezcapture::EntryRow& definition : drezcapture::kEntryRows) {
      std::printf("%s %zu\n", definition.keyword, counts[static_cast<int>(definition.kind)]);
    }
    std::printf("scripts %zu\nreplies %lld\n", scripts.size(), static_cast<long long>(replies));
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "capture_check: %s\n", error.what());
    return 1;
  }
}
