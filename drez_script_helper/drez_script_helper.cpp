#include "drez_script_helper.h"

#include <cstring>

extern const char drez_script_helper_signature[] =
    "DREZ_SIG,name=drez_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,"
    "author=Vantrel project";

drez_script_helper::drez_script_helper(drez_client_host* host_, const char* path_)
    : host(host_), path(), alarmsEnabled(false) {
  path = path_;
}

drez_script_helper::~drez_script_helper() { detachFromHost(); }

const char* drez_script_helper::callback(void* data, int kind) {
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
