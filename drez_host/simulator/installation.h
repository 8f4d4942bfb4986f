// The studio a simulated host drives: devices known by name, and panel files
// whose controls a script loads into numbered panels.
//
// A device is identified by its number. Several names may stand for one
// device (a host that answers two lookups with the same number); each name
// has its own offset. Infodrivers hold numbered slots with text, routers hold
// which source is routed to each destination, output devices hold the state
// of numbered outputs.
//
// Not synchronised: used on the host's one thread.

#ifndef DREZ_HOST_SIMULATOR_INSTALLATION_H_
#define DREZ_HOST_SIMULATOR_INSTALLATION_H_

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drez_commands.h"

namespace drezhost {

enum class DeviceKind { Infodriver, Router, Outputs };

// The kind of device a command of the vocabulary names (`kind` is its
// row's `device`, never DREZ_DEVICE_NONE).
DeviceKind deviceKindOf(drez_device_kind kind);

// "infodriver", "router" or "outputs".
const char* kindName(DeviceKind kind);
// "an infodriver", "a router" or "an output device".
const char* kindDescription(DeviceKind kind);

// A mistake in describing or changing the installation: an unknown name, a
// slot out of range, one number used for two kinds of device.
class InstallationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Route {
  int32_t source = 0;
  std::string name;
};

struct Device {
  int32_t number = 0;
  DeviceKind kind = DeviceKind::Infodriver;
  // Infodriver: slots 1..size. Router: destinations 1..size. Unused for
  // output devices, whose outputs are any index.
  int32_t size = 0;
  std::map<int32_t, std::string> slots;        // infodriver: slot -> text
  std::map<int32_t, Route> routes;             // router: destination -> route
  std::map<int32_t, std::string> sourceNames;  // router: source -> name
  std::map<int32_t, int32_t> outputs;          // outputs: index -> state

  // The text of a slot; empty for a slot never set.
  std::string slot(int32_t index) const;
  // The same in place; null for a slot never set.
  const std::string* findSlot(int32_t index) const;
  // The route of a destination; source 0 with no name when never routed.
  Route route(int32_t destination) const;
  // The same in place; null for a destination never routed.
  const Route* findRoute(int32_t destination) const;
  // The state of an output; 0 when never switched.
  int32_t output(int32_t index) const;
};

// How one name reaches a device.
struct DeviceName {
  std::string name;
  int32_t number = 0;
  int32_t offset = 0;
  // Output devices: how many outputs from `offset` a view shows.
  int32_t lamps = 0;
};

struct Control {
  std::string id;
  // Properties in the order they were first set.
  std::vector<std::pair<std::string, std::string>> properties;

  // The property's value; empty text when never set.
  std::string property(const std::string& name) const;
  void setProperty(std::string_view name, std::string_view value);
};

// A panel file loaded into a panel: its own copy of the file's controls.
struct Panel {
  std::string id;
  std::string file;
  std::vector<Control> controls;

  Control* control(const std::string& id);
  const Control* control(const std::string& id) const;
};

class Installation {
 public:
  static constexpr int32_t kDefaultSlots = 16;
  static constexpr int32_t kDefaultDestinations = 128;
  static constexpr int32_t kDefaultLamps = 10;

  // Adds `name` for device `number`, creating the device when it is new.
  // `size` is the slot or destination count of a new infodriver or router
  // (0: the default) and `lamps` the outputs a view shows for an output
  // device's name (0: the default). Throws InstallationError when the name
  // is taken or the number belongs to a device of another kind.
  void addDevice(const std::string& name, DeviceKind kind, int32_t number, int32_t offset,
                 int32_t size, int32_t lamps);
  // Forgets `name`; the device goes when no name is left. Throws when the
  // name is unknown.
  void removeDevice(const std::string& name);

  // Null when unknown.
  const DeviceName* findName(const std::string& name) const;
  Device* findDevice(int32_t number);
  const Device* findDevice(int32_t number) const;
  // The device behind `name`, which must be of `kind`; throws otherwise.
  Device& deviceNamed(const std::string& name, DeviceKind kind);
  const std::vector<DeviceName>& names() const { return names_; }
  // The names of device `number`, joined with " / "; "device <n>" for none.
  // Valid until a device is added or removed: every delivery names its
  // device, so each label is made once and kept.
  const std::string& label(int32_t number) const;
  // The first name of device `number`; null when it has none.
  const DeviceName* firstName(int32_t number) const;

  // Sets an infodriver slot (1..size). Throws for an unknown name or slot.
  void setSlot(const std::string& infodriver, int32_t slot, const std::string& text);
  // Routes `source` to `destination` (1..size). A non-empty `sourceName`
  // also names the source; otherwise the name it already has is used.
  void route(const std::string& router, int32_t destination, int32_t source,
             const std::string& sourceName);
  void nameSource(const std::string& router, int32_t source, const std::string& name);

  // Panel files by file name, with their control ids in order.
  void addPanelFile(const std::string& file, const std::vector<std::string>& controls);
  void removePanelFile(const std::string& file);
  void removeControl(const std::string& file, const std::string& control);
  const std::vector<std::string>* panelFile(const std::string& file) const;
  // Every panel file with its controls, in the order they were added.
  const std::vector<std::pair<std::string, std::vector<std::string>>>& panelFiles() const {
    return files_;
  }
  // Shows `lamps` outputs from the offset of output device `name` on.
  void showLamps(const std::string& name, int32_t lamps);

  // Loads the file that `fileText` names into panel `panelId`, replacing
  // what that panel held. The file is found by its whole text or, failing
  // that, by the part after the last '/' or '\'. False when no such file.
  bool loadPanel(const std::string& panelId, const std::string& fileText);
  Panel* panel(const std::string& id);
  const Panel* panel(const std::string& id) const;
  const std::vector<Panel>& panels() const { return panels_; }

  // How a view colours a control that shows statesheet `name`: the host
  // itself does nothing with it.
  void setStatesheetColour(const std::string& name, const std::string& colour) {
    colours_[name] = colour;
  }
  // Statesheet name -> colour.
  const std::map<std::string, std::string>& statesheetColours() const { return colours_; }

 private:
  std::vector<DeviceName> names_;                  // in the order they were added
  mutable std::map<int32_t, std::string> labels_;  // made by label(), until names_ changes
  std::map<int32_t, Device> devices_;
  std::vector<std::pair<std::string, std::vector<std::string>>> files_;
  std::vector<Panel> panels_;
  std::map<std::string, std::string> colours_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_INSTALLATION_H_
