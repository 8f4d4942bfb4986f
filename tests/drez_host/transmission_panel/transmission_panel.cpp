#include "transmission_panel.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

const char kPanel[] = "1";
const int32_t kFirstSlot = 1;
const int32_t kFeedDestination = 1;  // counted from the router's offset
const int32_t kSounderOutput = 0;    // counted from the sounder's offset
const int32_t kActive = 1;
const char* const kAlarmControls[TransmissionPanel::kAlarms] = {"alm_power", "alm_link",
                                                                "alm_audio", "alm_video"};

// How far the silence loop steps through the alarms.
#if defined(TX_SILENCE_LOOP)
const int kAlarmStep = 0;
#else
const int kAlarmStep = 1;
#endif

// A text as a command may carry it: a quote that a space follows would end
// the host's reading of the text, so it is sent as the typographic
// apostrophe.
drez_string commandSafe(const char* text) {
  std::string safe = text;
  for (std::size_t at = safe.find("' "); at != std::string::npos; at = safe.find("' ", at)) {
    safe.replace(at, 1, "\xE2\x80\x99");
  }
  return drez_string(safe.c_str());
}

int32_t offsetBy(int32_t offset, int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(offset) + static_cast<uint32_t>(n));
}

}  // namespace

TransmissionPanel::TransmissionPanel(drez_client_host* host, const char* path)
    : drez_script_helper(host, path) {
  alarmsEnabled = true;
  try {
    loadPanel(kPanel, "tx_alarms.drez_ui", drez_string());
    if (lookupDevice("TX Alarms", &alarmsDevice, nullptr)) {
      registerInfodriver(alarmsDevice, kFirstSlot, kFirstSlot + kAlarms - 1, false);
      alarmsRegistered = true;
    }
    if (lookupDevice("TX Router", &routerDevice, &routerOffset)) {
      const int32_t feed = offsetBy(routerOffset, kFeedDestination);
      registerRouter(routerDevice, feed, feed, false);
      routerRegistered = true;
    }
    sounderFound = lookupDevice("TX Sounder", &sounderDevice, &sounderOffset);
    if (alarmsRegistered) pollInfodriver(alarmsDevice, kFirstSlot, kFirstSlot + kAlarms - 1);
    if (routerRegistered) {
      const int32_t feed = offsetBy(routerOffset, kFeedDestination);
      pollRouter(routerDevice, feed, feed);
    }
  } catch (...) {
    unregisterDevices();
    throw;
  }
}

TransmissionPanel::~TransmissionPanel() {
#if defined(TX_COMMAND_AFTER_AS)
  detachFromHost();
#endif
  unregisterDevices();
  std::free(feedReading);
#if defined(TX_DOUBLE_FREE)
  std::free(feedReading);
#endif
}

void TransmissionPanel::unregisterDevices() {
  if (alarmsRegistered) unregisterInfodriver(alarmsDevice);
#if !defined(TX_OPEN_REGISTRATION)
  if (routerRegistered) unregisterRouter(routerDevice);
#endif
  alarmsRegistered = routerRegistered = false;
}

void TransmissionPanel::onDeviceUpdate(DeviceUpdateView* update) {
  // A router and an infodriver may share a number: check the index too.
  if (alarmsRegistered && update->device() == alarmsDevice) {
    const int32_t alarm = update->index() - kFirstSlot;
    if (alarm >= 0 && alarm < kAlarms) {
      levels[alarm] = update->number();
      setControlProperty("value", drez_string(update->number(), 0, 0, 10), kPanel,
                         kAlarmControls[alarm]);
      showSounder();
    }
  }
  if (routerRegistered && update->device() == routerDevice &&
      update->index() == offsetBy(routerOffset, kFeedDestination)) {
#if defined(TX_UNBALANCED_QUOTE)
    sendCommand(CommandText("TP 'text=", update->recordText(), "' '1' 'feed").text());
#else
    setControlProperty("text", commandSafe(update->recordText()), kPanel, "feed");
#endif
  }
}

void TransmissionPanel::showSounder() {
  bool active = false;
  for (int32_t level : levels) active = active || level == kActive;
  if (!active) silenced = false;
  const bool sound = active && !silenced;
  if (sound == sounding) return;
  sounding = sound;
  if (sounderFound) {
    setOutputState(sounderDevice, sound ? 1 : 0, offsetBy(sounderOffset, kSounderOutput), false);
  }
}

void TransmissionPanel::silence() {
  silenced = true;
  showSounder();
  for (int alarm = 0; alarm < kAlarms; alarm += kAlarmStep) {
    setControlProperty("alarm", "silenced", kPanel, kAlarmControls[alarm]);
  }
}

void TransmissionPanel::showCaption(const drez_string& text) {
  const drez_string caption = commandSafe(text);
  // The caption travels in one fixed line, as the desk's character display
  // takes it.
  char line[64];
#if defined(TX_CAPTION_OVERRUN)
  const std::size_t longest = 100;  // the display's width, not the line's
#else
  const std::size_t longest = sizeof line - 1;
#endif
  if (caption.length() > longest) return;
  std::memcpy(line, static_cast<const char*>(caption), caption.length() + 1);
  setControlProperty("text", line, kPanel, "caption");
}

void TransmissionPanel::onControlEvent(ControlEventView* event) {
  const drez_string control = event->controlId();
  if (control == "silence") {
    silence();
  } else if (control == "caption" && event->commandName() == "value") {
    showCaption(event->commandValue());
  }
}

drez_string TransmissionPanel::readFeed() {
  // The host's own reply, handled by hand: copied, then handed back.
  const char* reply = reinterpret_cast<const char*>(
      host != nullptr ? host->command("TG '1' 'feed' 'text'", HOST_CMD_EXECUTE) : 0);
  if (reply == nullptr) return drez_string();
  char* copy = static_cast<char*>(std::malloc(std::strlen(reply) + 1));
  if (copy == nullptr) {
    host->command(reply, HOST_CMD_RELEASE);
    throw std::bad_alloc();
  }
  std::strcpy(copy, reply);
#if !defined(TX_KEEPS_REPLY)
  host->command(reply, HOST_CMD_RELEASE);
#endif
#if defined(TX_RELEASES_TWICE)
  host->command(reply, HOST_CMD_RELEASE);
#endif
  // The last reading stays until the next one, which replaces it.
#if !defined(TX_LEAKS_REPLY)
  std::free(feedReading);
#endif
  feedReading = copy;
  // The reply is "text=<value>".
  const char* value = std::strchr(feedReading, '=');
  return drez_string(value != nullptr ? value + 1 : "");
}

drez_string TransmissionPanel::onHostRequest(HostRequest* request) {
  const drez_string name = request->name();
  const drez_string value = request->value();
  if (name == "return") {
    const drez_string silencedLine = drez_string("silenced=") + (silenced ? "1" : "0");
    if (value == "silenced") return silencedLine;
    if (value == "feed") return "feed=" + readFeed();
    if (value == "all") return silencedLine + "\nfeed=" + readFeed();
    return drez_string();
  }
  if (name == "silence" && value == "1") silence();
  if (name == "_commands") return "silence=1\nreturn=feed\nreturn=silenced";
  return drez_string();
}

void TransmissionPanel::onEventId(int id) {
#if defined(TX_THROWS_ON_EVENT)
  if (id == 7) throw std::runtime_error("event id 7 is none of the suite's");
#endif
  endEvent(id);
}

DREZ_PANEL_SCRIPT(TransmissionPanel)
