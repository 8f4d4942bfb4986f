// A folder of its own for one test, with a copy of the tap library in it, as
// a studio engineer sets it up: the tap under a name of the test's choosing,
// the .tap.ini beside it, and the real panel library under another name.
// Each copy is loaded afresh, so every test starts with a tap that has not
// yet been configured.
//
// Also: the tap's lines on the debug channel, where a test can read them
// (standard error, natively; on Windows they go to OutputDebugStringA and
// are not read).

#ifndef TESTS_DREZ_TAP_TAP_FOLDER_H_
#define TESTS_DREZ_TAP_TAP_FOLDER_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "capture_reader.h"

namespace dreztaptest {

namespace fs = std::filesystem;

// The built libraries, from the build (compile definitions).
inline fs::path tapLibrary() { return fs::path(DREZ_TAP_LIBRARY_PATH); }
inline fs::path vantrelLibrary() { return fs::path(VANTREL_LIBRARY_PATH); }

class TapFolder {
 public:
  // Empties (or makes) <work>/<suite>.<test> and copies the tap into it as
  // `tapName` (default: its own file name).
  explicit TapFolder(const std::string& tapName = std::string()) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path = fs::path(DREZ_TAP_TEST_WORK_DIR) /
           (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(path);
    fs::create_directories(path);
    tap = path / (tapName.empty() ? tapLibrary().filename().string() : tapName);
    fs::copy_file(tapLibrary(), tap);
  }

  // Writes the configuration beside the tap: its name with ".tap.ini".
  void writeIni(const std::string& text) const { std::ofstream(ini(), std::ios::binary) << text; }
  fs::path ini() const {
    fs::path name = tap;
    name.replace_extension(".tap.ini");
    return name;
  }
  // Copies the real Vantrel library into the folder as `name`.
  void addVantrel(const std::string& name) const { fs::copy_file(vantrelLibrary(), path / name); }

  // The one capture in the folder or below it (a file ending in
  // ".capture").
  std::optional<fs::path> capture() const {
    std::optional<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
      if (entry.is_regular_file() && entry.path().extension() == ".capture") found = entry.path();
    }
    return found;
  }
  std::string text(const fs::path& file) const {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path path;
  fs::path tap;
};

// The tap's debug lines while it lives: natively what went to standard
// error; on Windows nothing can be read (lines() is nullopt).
class DebugChannel {
 public:
  DebugChannel() {
#if !defined(_WIN32)
    ::testing::internal::CaptureStderr();
#endif
  }
  ~DebugChannel() { lines(); }
  std::optional<std::vector<std::string>> lines() {
#if defined(_WIN32)
    return std::nullopt;
#else
    if (!taken_) {
      taken_ = true;
      std::istringstream in(::testing::internal::GetCapturedStderr());
      for (std::string line; std::getline(in, line);) lines_.push_back(line);
    }
    return lines_;
#endif
  }

 private:
  bool taken_ = false;
  std::vector<std::string> lines_;
};

}  // namespace dreztaptest

#endif  // TESTS_DREZ_TAP_TAP_FOLDER_H_
