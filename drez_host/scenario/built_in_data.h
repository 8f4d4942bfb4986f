// The copies of drez-host's data files built into the program
// (built_in_data.cpp is generated from drez_host/data/ by the build).

#ifndef DREZ_HOST_SCENARIO_BUILT_IN_DATA_H_
#define DREZ_HOST_SCENARIO_BUILT_IN_DATA_H_

#include <string>

namespace drezhost {

// The built-in text of data file `name`; null for an unknown name.
const char* builtInDataFile(const std::string& name);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_BUILT_IN_DATA_H_
