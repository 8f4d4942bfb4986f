#include "simulator/debug_channel.h"

namespace drezhost {

bool isDroppedEventLine(const std::string& line) {
  static const char kStart[] = "drez_script_helper: callback of kind ";
  static const char kEnd[] = "; the event was dropped";
  return line.rfind(kStart, 0) == 0 && line.find(kEnd) != std::string::npos;
}

}  // namespace drezhost
