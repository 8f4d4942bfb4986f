// The data files drez-host is installed with, in the scenario language:
// studio_a.scn (the installation every run starts with) and demo.scn (the
// demo played when no scenario is named). Both are read at run time from
// <drez-host's directory>/../share/drez-host/, where the build and the
// install put them, so that an installed drez-host can be given another
// studio; a copy of each is built into the program from the same files for
// when they are not there.

#ifndef DREZ_HOST_SCENARIO_DATA_FILES_H_
#define DREZ_HOST_SCENARIO_DATA_FILES_H_

#include <string>

namespace drezhost {

// The text of data file `name`: the file on disk when it can be read,
// otherwise the built-in copy. Throws std::invalid_argument for a name that
// is not one of drez-host's data files.
std::string dataFileText(const std::string& name);

// The directory of the running program; empty when it cannot be found.
std::string executableDirectory();

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_DATA_FILES_H_
