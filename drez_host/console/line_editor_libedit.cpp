// Reading lines with libedit (its histedit interface): editing, the user's
// ~/.editrc, Up and Down through the history, Ctrl-R to search it, Tab to
// complete. Built where CMake finds libedit (DREZ_HOST_LINE_EDITOR).

#include <errno.h>
#include <fcntl.h>
#include <histedit.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iostream>

#include "console/completion.h"
#include "console/line_editor.h"
#include "scenario/words.h"

namespace drezhost {

namespace {

// The history file: plain lines, oldest first, at most kHistoryLines. Each
// line is appended as it is entered, so that two sessions at once both keep
// theirs; once the file holds more, it is cut to the newest.
class HistoryFile {
 public:
  explicit HistoryFile(std::string path) : path_(std::move(path)) {}

  // The lines kept, oldest first.
  std::vector<std::string> load() {
    std::vector<std::string> lines = readLines();
    lines_ = lines.size();
    if (lines_ > kHistoryLines) cut(lines);
    return lines;
  }

  void add(const std::string& line) {
    if (path_.empty()) return;
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    const std::string text = line + "\n";
    const bool written =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) ::close(fd);
    if (!written) return failed();
    if (++lines_ > kHistoryLines) {
      std::vector<std::string> lines = readLines();
      cut(lines);
    }
  }

 private:
  // The lines worth keeping: not blank, not overlong.
  std::vector<std::string> readLines() const {
    std::vector<std::string> lines;
    if (path_.empty()) return lines;
    std::ifstream file(path_, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
      if (!trimmed(line).empty() && line.size() <= kHistoryLineBytes) lines.push_back(line);
    }
    return lines;
  }

  // Keeps the newest kHistoryLines of `lines`, in the file as well: a new
  // file takes the old one's place.
  void cut(std::vector<std::string>& lines) {
    if (lines.size() > kHistoryLines) {
      lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(kHistoryLines));
    }
    lines_ = lines.size();
    const std::string fresh = path_ + "." + std::to_string(::getpid()) + ".new";
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return failed();
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(fresh.c_str(), path_.c_str()) != 0) {
      std::remove(fresh.c_str());
      failed();
    }
  }

  void failed() {
    if (!warned_) {
      std::cerr << "drez-host: cannot write the history file '" << path_
                << "': this session's lines are not kept\n";
    }
    warned_ = true;
  }

  std::string path_;
  std::size_t lines_ = 0;  // in the file, as far as this session knows
  bool warned_ = false;
};

// libedit reads and writes multibyte characters by LC_CTYPE: the
// environment's while it works, drez-host's own ("C") otherwise.
class EnvironmentCharacters {
 public:
  EnvironmentCharacters() {
    const char* now = std::setlocale(LC_CTYPE, nullptr);
    previous_ = now != nullptr ? now : "C";
    std::setlocale(LC_CTYPE, "");
  }
  ~EnvironmentCharacters() { std::setlocale(LC_CTYPE, previous_.c_str()); }
  EnvironmentCharacters(const EnvironmentCharacters&) = delete;
  EnvironmentCharacters& operator=(const EnvironmentCharacters&) = delete;

 private:
  std::string previous_;
};

const char* const kNoMore = nullptr;

class EditLineReader : public LineReader {
 public:
  EditLineReader() : file_(historyPath()) {
    EnvironmentCharacters characters;
    editor_ = el_init("drez-host", stdin, stdout, stderr);
    history_ = history_init();
    if (editor_ == nullptr || history_ == nullptr) return;
    history(history_, &event_, H_SETSIZE, static_cast<int>(kHistoryLines));
    history(history_, &event_, H_SETUNIQUE, 1);
    el_set(editor_, EL_CLIENTDATA, this);
    el_set(editor_, EL_PROMPT, &EditLineReader::prompt);
    el_set(editor_, EL_EDITOR, "emacs");
    // The terminal is put right on Ctrl-Z, a changed window and signals
    // that end drez-host.
    el_set(editor_, EL_SIGNAL, 1);
    el_set(editor_, EL_HIST, history, history_);
    el_set(editor_, EL_GETCFN, &EditLineReader::readCharacter);
    // Wide texts: libedit keeps these as they are, where it would copy
    // narrow ones and never free the copies.
    el_wset(editor_, EL_ADDFN, L"drez-complete", L"complete a step word or a name",
            &EditLineReader::complete);
    el_set(editor_, EL_BIND, "^I", "drez-complete", kNoMore);
    el_set(editor_, EL_BIND, "^R", "em-inc-search-prev", kNoMore);
    // The user's own bindings ($EDITRC or ~/.editrc) come last and win.
    el_source(editor_, nullptr);
    for (const std::string& line : file_.load()) {
      history(history_, &event_, H_ENTER, line.c_str());
      last_ = line;
    }
  }

  ~EditLineReader() override {
    if (editor_ != nullptr) el_end(editor_);
    if (history_ != nullptr) history_end(history_);
  }

  EditLineReader(const EditLineReader&) = delete;
  EditLineReader& operator=(const EditLineReader&) = delete;

  bool ready() const { return editor_ != nullptr && history_ != nullptr; }

  std::optional<std::string> read(const LineQuestion& question) override {
    if (InterruptCatch::take()) {
      std::cerr << "drez-host: Ctrl-C cancels a line being typed; a step runs to its end (a call "
                   "that hangs is ended after --timeout seconds). Ctrl-D ends the session.\n";
    }
    question_ = question;
    prompt_ = question.prompt;
    EnvironmentCharacters characters;
    InterruptCatch catching(InterruptCatch::Reads::Interrupt);
    while (true) {
      int count = 0;
      cancelled_ = false;
      const char* line = el_gets(editor_, &count);
      if (line == nullptr && count < 0 && (cancelled_ || InterruptCatch::take())) {
        // Ctrl-C: the line is dropped, the next one read.
        std::clearerr(stdout);
        std::fputs("^C\n", stdout);
        std::fflush(stdout);
        continue;
      }
      if (line == nullptr || count <= 0) {
        std::fputs("\n", stdout);
        std::fflush(stdout);
        return std::nullopt;
      }
      std::string text(line, static_cast<std::size_t>(count));
      if (!text.empty() && text.back() == '\n') text.pop_back();
      remember(text);
      return text;
    }
  }

 private:
  static EditLineReader& of(EditLine* editor) {
    EditLineReader* self = nullptr;
    el_get(editor, EL_CLIENTDATA, &self);
    return *self;
  }

  static char* prompt(EditLine* editor) { return of(editor).prompt_.data(); }

  // libedit's reading of a character, with Ctrl-C noticed whenever it
  // comes: SIGINT is held back except while waiting for input (ppoll), so
  // it cannot fall between the check and the wait, as it could before the
  // plain read() of libedit's own reader, which would then never return.
  // 1: a character in `c`; 0: the end of the input; -1: cancelled or an error.
  static int readCharacter(EditLine* editor, wchar_t* c) {
    EditLineReader& self = of(editor);
    sigset_t interrupt;
    sigset_t before;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, &before);
    std::mbstate_t state = {};
    int result = -1;
    while (true) {
      if (InterruptCatch::take()) {
        self.cancelled_ = true;
        break;
      }
      pollfd input = {STDIN_FILENO, POLLIN, 0};
      if (ppoll(&input, 1, nullptr, &before) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      char byte = 0;
      const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {
        result = static_cast<int>(got);
        break;
      }
      wchar_t wide = 0;
      const std::size_t used = std::mbrtowc(&wide, &byte, 1, &state);
      if (used == static_cast<std::size_t>(-2)) continue;  // more bytes of it to come
      if (used == static_cast<std::size_t>(-1)) {
        state = {};  // no character of this locale: passed over
        continue;
      }
      *c = wide;
      result = 1;
      break;
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return result;
  }

  static unsigned char complete(EditLine* editor, int) {
    const EditLineReader& self = of(editor);
    const LineInfo* info = el_line(editor);
    const std::string before(info->buffer, static_cast<std::size_t>(info->cursor - info->buffer));
    int columns = 80;
    el_get(editor, EL_GETTC, "co", &columns);
    const TabAction action = tabAction(before, self.question_, columns);
    if (action.nothing()) return CC_REFRESH_BEEP;
    if (action.erase != 0) el_deletestr(editor, static_cast<int>(action.erase));
    if (!action.insert.empty()) el_insertstr(editor, action.insert.c_str());
    if (action.shown.empty()) return CC_REFRESH;
    std::fputs("\n", stdout);
    for (const std::string& line : action.shown) {
      std::fputs(line.c_str(), stdout);
      std::fputs("\n", stdout);
    }
    std::fflush(stdout);
    return CC_REDISPLAY;
  }

  // Lines of blanks, overlong lines and the line just before are not kept.
  void remember(const std::string& line) {
    if (trimmed(line).empty() || line.size() > kHistoryLineBytes || line == last_) return;
    history(history_, &event_, H_ENTER, line.c_str());
    file_.add(line);
    last_ = line;
  }

  EditLine* editor_ = nullptr;
  History* history_ = nullptr;
  HistEvent event_ = {};
  HistoryFile file_;
  LineQuestion question_;
  std::string prompt_;
  std::string last_;
  bool cancelled_ = false;  // Ctrl-C ended the character being read
};

}  // namespace

std::unique_ptr<LineReader> LineReader::open() {
  if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
    auto editor = std::make_unique<EditLineReader>();
    if (editor->ready()) return editor;
  }
  return plainLineReader();
}

std::string lineReaderHelp() {
  return "-i reads lines with libedit at a terminal (editing, history, Tab completion).";
}

}  // namespace drezhost
