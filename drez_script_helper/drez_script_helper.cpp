#include "drez_script_helper.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "drez_debug_output.h"

extern const char drez_script_helper_signature[] =
    "DREZ_SIG,name=drez_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,"
    "author=Vantrel project";

drez_script_helper::drez_script_helper(drez_client_host* host_, const char* path_)
    : host(host_), path(), alarmsEnabled(false) {
  path = path_;
}

drez_script_helper::~drez_script_helper() {
  // Events the host delivers from inside "AS" would reach handlers that are
  // gone by now.
  tearingDown = true;
  detachFromHost();
}

#if !DREZ_MSVC_ABI
void* DREZ_THISCALL drez_script_helper::scalarDeletingDestructor(unsigned int flags) {
  tearingDown = true;
  return drez_client_callback::scalarDeletingDestructor(flags);
}
#endif

namespace {

// Appends `text` to the line being built in `line`, cutting it at the end.
class FixedLine {
 public:
  FixedLine& operator<<(const char* text) {
    const std::size_t room = sizeof line_ - 1 - length_;
    const std::size_t length = std::min(std::strlen(text), room);
    std::memcpy(line_ + length_, text, length);
    length_ += length;
    line_[length_] = '\0';
    return *this;
  }
  FixedLine& operator<<(int number) { return *this << CommandPiece::number(number).data(); }
  const char* text() const { return line_; }

 private:
  char line_[200] = {};
  std::size_t length_ = 0;
};

// The line that says an event was dropped. Built only once a handler has
// failed: the lines' buffers would cost every event their clearing.
void reportDroppedEvent(int kind, const char* cause) {
  FixedLine line;
  line << "drez_script_helper: callback of kind " << kind << " failed (" << cause
       << "); the event was dropped";
  drez_report_failure(line.text());
}

}  // namespace

void drez_report_failure(const char* what) {
  FixedLine line;
  line << what << "\n";
  drez_debug_output(line.text());
}

// Inline into `callback`: a call less on every event, which for a one-command
// event is about a tenth of its time.
inline const char* drez_script_helper::dispatch(void* data, int kind) {
  switch (kind) {
    case CB_DEVICE_UPDATE: {
      if (data == nullptr) return nullptr;
      DeviceUpdateView view(static_cast<const DeviceUpdate*>(data));
      onDeviceUpdate(&view);
      return nullptr;
    }
    case CB_CONTROL_EVENT: {
      if (data == nullptr) return nullptr;
      ControlEventView view(static_cast<const ControlEvent*>(data));
      if (alarmsEnabled) {
        alarmPreCheck(&view);
      } else {
        onControlEvent(&view);
      }
      return nullptr;
    }
    case CB_HOST_REQUEST:
      return answerHostRequest(static_cast<const char*>(data));
    case CB_EVENT_ID:
      onEventId(static_cast<int>(reinterpret_cast<intptr_t>(data)));
      return nullptr;
    case CB_RELEASE_REPLY:
      delete[] static_cast<char*>(data);
      return nullptr;
    case CB_NOTIFY6: {
      NotifyView view(data);
      onNotify6(&view);
      return nullptr;
    }
    case CB_NOTIFY7: {
      NotifyView view(data);
      onNotify7(&view);
      return nullptr;
    }
    default:
      return nullptr;
  }
}

const char* DREZ_THISCALL drez_script_helper::callback(void* data, int kind) {
  if (tearingDown) return nullptr;
  try {
    return dispatch(data, kind);
  } catch (const std::bad_alloc&) {
    reportDroppedEvent(kind, "out of memory");
  } catch (const std::exception& exception) {
    reportDroppedEvent(kind, exception.what());
  } catch (...) {
    reportDroppedEvent(kind, "an exception");
  }
  return nullptr;
}

const char* drez_script_helper::answerHostRequest(const char* text) {
  ParsedCommand parsed(text);
  HostRequest request(&parsed);
  const drez_string reply = onHostRequest(&request);
  if (reply.length() == 0) return nullptr;
  // Allocated with new[]: CB_RELEASE_REPLY frees it with delete[].
  char* block = new char[reply.length() + 1];
  std::memcpy(block, static_cast<const char*>(reply), reply.length() + 1);
  return block;
}

void drez_script_helper::onNotify7(NotifyView*) {}

void drez_script_helper::onNotify6(NotifyView*) {}
