#include "jobs/panel_library.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "scenario/data_files.h"
#include "simulator/script_library.h"

namespace drezhost {

std::string choosePanelLibrary(const std::optional<std::string>& option) {
  if (option) {
    if (option->empty())
      throw LibraryError("--script needs the path of a panel library, not empty text");
    return *option;
  }
  const char* environment = std::getenv("DREZ_HOST_SCRIPT");
  if (environment != nullptr && *environment != '\0') return environment;

  const std::filesystem::path directory = executableDirectory();
  const std::filesystem::path besides = directory / DREZ_HOST_DEFAULT_SCRIPT;
  const std::filesystem::path installed = directory / ".." / "lib" / DREZ_HOST_DEFAULT_SCRIPT;
  std::error_code ignored;
  for (const std::filesystem::path& candidate : {besides, installed}) {
    if (std::filesystem::is_regular_file(candidate, ignored))
      return candidate.lexically_normal().string();
  }
  throw LibraryError(std::string("no panel library: the default one, ") + DREZ_HOST_DEFAULT_SCRIPT +
                     ", is neither beside drez-host nor in ../lib from it (" + directory.string() +
                     "); name one with --script PATH or the environment variable DREZ_HOST_SCRIPT");
}

}  // namespace drezhost
