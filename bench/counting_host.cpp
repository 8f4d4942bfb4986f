#include "counting_host.h"

namespace drezbench {

// Out of line on purpose: the script reaches the host through a virtual call
// into another translation unit, and so must the replay it is compared with.
intptr_t CountingHost::command(const char* text, int kind) {
  if (delegate_ != nullptr) return delegate_->command(text, kind);
  if (kind == HOST_CMD_RELEASE) {
    ++released_;
  } else {
    ++executed_;
  }
  return 0;
}

void CountingHost::readReply(const char* reply) {
  if (reply != nullptr) ++replies_read_;
}

}  // namespace drezbench
