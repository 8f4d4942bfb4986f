#include "runner/host_self_check.h"

namespace drezhost {

void HostSelfCheck::hostSettled() {
  ++checked_;
  for (const StateBreach& breach : host_.deliveredStateBreaches()) {
    if (!seen_.emplace(breach.script, breach.device, breach.index, breach.told.made).second) {
      continue;
    }
    findings_.push_back("drez-host's own fault, not the script's: after " +
                        (last_call_.empty() ? std::string("a studio change") : last_call_) + ", " +
                        breach.message);
  }
}

}  // namespace drezhost
