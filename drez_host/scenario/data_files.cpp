#include "scenario/data_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "scenario/built_in_data.h"

namespace drezhost {

std::string executableDirectory() {
#if defined(_WIN32)
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return std::string();
  const std::filesystem::path program(std::string(buffer, length));
#else
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::string();
#endif
  return program.parent_path().string();
}

std::string dataFileText(const std::string& name) {
  const char* builtIn = builtInDataFile(name);
  if (builtIn == nullptr) throw std::invalid_argument("no drez-host data file '" + name + "'");
  const std::string directory = executableDirectory();
  if (!directory.empty()) {
    std::ifstream file(std::filesystem::path(directory) / ".." / "share" / "drez-host" / name,
                       std::ios::binary);
    if (file) {
      std::ostringstream text;
      text << file.rdbuf();
      if (file.good() || file.eof()) return text.str();
    }
  }
  return builtIn;
}

}  // namespace drezhost
