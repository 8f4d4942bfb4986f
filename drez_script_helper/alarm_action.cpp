// The ready-made reaction to a panel's alarm controls.

#include "drez_script_helper.h"

namespace {

constexpr int kAcknowledge = 4;
constexpr int kNoLevel = -1;

// "ack" acknowledges; a one-character text is a level of its own; anything
// else marks the controls without setting a level.
int alarmLevel(const drez_string& text) {
  if (text == "ack") return kAcknowledge;
  if (text.length() == 1) return text.toInt();
  return kNoLevel;
}

// Values an acknowledgement leaves as they are.
bool survivesAcknowledge(int value) { return value == 0 || (value >= 2 && value <= 5); }

}  // namespace

void drez_script_helper::alarmPreCheck(ControlEventView* event) {
  const drez_string control = event->controlId();
  if (control == "ActionAll" && event->commandName() == "alarm") {
    alarmAction(event->commandValue());
  } else if (control == "AckAll") {
    alarmAction(drez_string(kAcknowledge, 0, 0, 10));
  } else {
    onControlEvent(event);
  }
}

void drez_script_helper::alarmAction(const drez_string& text) {
  const int level = alarmLevel(text);
  const drez_string panel(1, 0, 0, 10);
  const drez_string level_text(level, 0, 0, 10);
  const drez_stringlist controls = listControls(panel, "alm_");
  for (drez_stringlistIterator it = controls.begin(); it != controls.end(); ++it) {
    const drez_string& control = *it;
    setControlProperty("alarm", text, panel, control);
    if (level == kAcknowledge) {
      drez_string current;
      getControlProperty("value", panel, control, current);
      if (!survivesAcknowledge(current.toInt())) {
        setControlProperty("value", level_text, panel, control);
      }
    } else if (level != kNoLevel) {
      setControlProperty("value", level_text, panel, control);
    }
  }
}
