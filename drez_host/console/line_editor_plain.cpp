// Reading lines plainly, and catching Ctrl-C: every build has these. A
// build without libedit reads every interactive run so.

#include <cstdio>
#include <iostream>

#include "console/line_editor.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace drezhost {

#ifndef _WIN32

namespace {

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

}  // namespace

struct InterruptCatch::Previous {
  struct sigaction action;
};

InterruptCatch::InterruptCatch(Reads reads) : previous_(new Previous()) {
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = reads == Reads::Restart ? SA_RESTART : 0;
  sigaction(SIGINT, &action, &previous_->action);
}

InterruptCatch::~InterruptCatch() { sigaction(SIGINT, &previous_->action, nullptr); }

bool InterruptCatch::take() {
  const bool came = interrupted != 0;
  interrupted = 0;
  return came;
}

#else

// Windows: Ctrl-C ends drez-host, as it always did there.
struct InterruptCatch::Previous {};
InterruptCatch::InterruptCatch(Reads) {}
InterruptCatch::~InterruptCatch() = default;
bool InterruptCatch::take() { return false; }

#endif

std::optional<std::string> readPlainLine(const std::string& prompt) {
  InterruptCatch catching(InterruptCatch::Reads::Interrupt);
  while (true) {
    std::cout << prompt << std::flush;
    std::string line;
    if (std::getline(std::cin, line)) return line;
    if (!InterruptCatch::take()) break;
    // Ctrl-C: the terminal dropped what was typed; the next line is read.
    std::cin.clear();
    std::clearerr(stdin);
    std::cout << "\n";
  }
  std::cout << "\n";
  return std::nullopt;
}

namespace {

class PlainReader : public LineReader {
 public:
  std::optional<std::string> read(const LineQuestion& question) override {
    return readPlainLine(question.prompt);
  }
};

}  // namespace

std::unique_ptr<LineReader> plainLineReader() { return std::make_unique<PlainReader>(); }

#ifndef DREZ_HOST_LINE_EDITOR

std::unique_ptr<LineReader> LineReader::open() { return plainLineReader(); }

std::string lineReaderHelp() {
  return "-i reads lines plainly: this drez-host was built without libedit.";
}

#endif

}  // namespace drezhost
