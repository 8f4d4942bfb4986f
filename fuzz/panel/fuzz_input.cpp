#include "fuzz_input.h"

#include <algorithm>
#include <cctype>
#include <type_traits>
#include <variant>

#include "byte_reader.h"
#include "scenario/writer.h"

namespace drezfuzz {

namespace steps = drezhost::steps;
using drezhost::Step;
using drezhost::StepBody;

namespace {

enum MoveCode : uint8_t { kSet, kRoute, kRequest, kEvent, kControl, kNotify, kOn, kMoveCodes };
enum TextForm : uint8_t { kEntry, kShort, kLong, kRun, kTextForms };
enum HeaderFlag : uint8_t { kQueued = 1, kWithPath = 2 };

constexpr std::size_t kShortLimit = 255;
constexpr std::size_t kLongLimit = 65535;
constexpr uint16_t kRunLimit = 8192;

// Reads moves; with `tables` null it only walks over them (moveSpans).
class Decoder {
 public:
  Decoder(ByteReader& in, const FuzzTables* tables) : in_(in), tables_(tables) {}

  Program program() {
    Program program;
    const uint8_t flags = in_.byte();
    if (flags & kQueued) program.polls = drezhost::PollDelivery::Queued;
    if (flags & kWithPath) program.path = pathText(in_.text());
    while (!in_.empty()) {
      if (std::optional<Move> move = next()) program.moves.push_back(std::move(*move));
    }
    return program;
  }

  // The next move; nothing for one the tables leave no choice for.
  std::optional<Move> next() {
    switch (in_.byte() % kMoveCodes) {
      case kSet:
        return wrap(set());
      case kRoute:
        return wrap(route());
      case kRequest:
        return Move{steps::Request{{}, text(tables().requests), ""}, std::nullopt};
      case kEvent: {
        const bool wide = in_.byte() % 2 != 0;
        return Move{steps::Event{{}, wide ? in_.int32() : in_.byte(), ""}, std::nullopt};
      }
      case kControl:
        return wrap(control());
      case kNotify: {
        steps::Notify notify;
        notify.kind = in_.byte() % 2 == 0 ? 6 : 7;
        notify.value = in_.int32();
        return Move{notify, std::nullopt};
      }
      default:
        return on();
    }
  }

 private:
  template <typename T>
  static std::optional<Move> wrap(std::optional<T> step) {
    if (!step) return std::nullopt;
    return Move{std::move(*step), std::nullopt};
  }

  const FuzzTables& tables() const {
    static const FuzzTables kNone;
    return tables_ != nullptr ? *tables_ : kNone;
  }

  template <typename T>
  const T* pick(const std::vector<T>& choices) {
    const uint8_t value = in_.byte();
    return choices.empty() ? nullptr : &choices[value % choices.size()];
  }

  std::string text(const std::vector<std::string>& table) {
    switch (in_.byte() % kTextForms) {
      case kEntry: {
        const std::string* entry = pick(table);
        return entry != nullptr ? *entry : std::string();
      }
      case kShort:
        return writableText(in_.text());
      case kLong:
        return writableText(in_.bytes(in_.uint16()));
      default: {
        const std::string* entry = pick(table);
        std::string run = entry != nullptr ? *entry : std::string();
        const char character = static_cast<char>(in_.byte());
        run.append(in_.uint16() % kRunLimit, character);
        return writableText(run);
      }
    }
  }

  // A slot or destination of `device`: 1 + the value modulo its size.
  int32_t index(const FuzzTables::Device* device) {
    const uint16_t value = in_.uint16();
    return device != nullptr && device->size > 0 ? 1 + value % device->size : 0;
  }

  std::optional<steps::Set> set() {
    const FuzzTables::Device* device = pick(tables().infodrivers);
    const int32_t slot = index(device);
    std::string value = text(tables().slotTexts);
    if (device == nullptr) return std::nullopt;
    return steps::Set{{}, device->name, slot, std::move(value)};
  }

  std::optional<steps::Route> route() {
    const FuzzTables::Device* device = pick(tables().routers);
    const int32_t destination = index(device);
    const int32_t source = in_.int32();
    std::string name;
    if (in_.byte() % 2 != 0) name = text(tables().slotTexts);
    if (device == nullptr) return std::nullopt;
    return steps::Route{{}, device->name, destination, source, std::move(name)};
  }

  std::optional<steps::Control> control() {
    const FuzzTables::Panel* panel = pick(tables().panels);
    static const std::vector<std::string> kNoControls;
    const std::vector<std::string>& controls = panel != nullptr ? panel->controls : kNoControls;
    std::string id;
    if (in_.byte() % 2 == 0) {
      const std::string* picked = pick(controls);
      if (picked != nullptr) id = *picked;
    } else {
      id = controlId(text(controls));
    }
    std::string command = text(tables().commands);
    if (id == "AckAll" || id == "ActionAll") command = buttonCommand(command);
    if (panel == nullptr || id.empty()) return std::nullopt;
    steps::Control control;
    control.control = std::move(id);
    control.command = std::move(command);
    control.panel = panel->id;
    return control;
  }

  std::optional<Move> on() {
    Move move;
    steps::On on;
    if (in_.byte() % 2 == 0) {
      move.recentCommand = in_.byte();
    } else {
      on.command = text(tables().triggerTexts);
    }
    Step change;
    if (in_.byte() % 2 == 0) {
      std::optional<steps::Set> made = set();
      if (!made) return std::nullopt;
      change.body = std::move(*made);
    } else {
      std::optional<steps::Route> made = route();
      if (!made) return std::nullopt;
      change.body = std::move(*made);
    }
    on.changes.push_back(std::move(change));
    move.step = std::move(on);
    return move;
  }

  ByteReader& in_;
  const FuzzTables* tables_;
};

// Writes what Decoder reads.
class Encoder {
 public:
  explicit Encoder(const FuzzTables& tables) : tables_(tables) {}

  std::string program(const Program& program) {
    const bool withPath = !program.path.empty();
    byte(static_cast<uint8_t>((program.polls == drezhost::PollDelivery::Queued ? kQueued : 0) |
                              (withPath ? kWithPath : 0)));
    if (withPath) shortText(program.path);
    for (const Move& move : program.moves) {
      if (move.recentCommand) continue;
      std::string saved = out_;
      if (!std::visit([this](const auto& step) { return this->move(step); }, move.step)) {
        out_.swap(saved);
      }
    }
    return out_;
  }

 private:
  bool move(const steps::Set& set) {
    byte(kSet);
    return setOperands(set);
  }
  bool move(const steps::Route& route) {
    byte(kRoute);
    return routeOperands(route);
  }
  bool move(const steps::Request& request) {
    byte(kRequest);
    text(request.text);
    return true;
  }
  bool move(const steps::Event& event) {
    byte(kEvent);
    if (event.id >= 0 && event.id <= 255) {
      byte(0);
      byte(static_cast<uint8_t>(event.id));
    } else {
      byte(1);
      int32(event.id);
    }
    return true;
  }
  bool move(const steps::Control& control) {
    byte(kControl);
    const std::optional<uint8_t> panel = indexOf(tables_.panels, control.panel);
    if (!panel || control.control.empty()) return false;
    byte(*panel);
    const std::vector<std::string>& controls = tables_.panels[*panel].controls;
    const auto known = std::find(controls.begin(), controls.end(), control.control);
    if (known != controls.end() && known - controls.begin() <= 255) {
      byte(0);
      byte(static_cast<uint8_t>(known - controls.begin()));
    } else if (controlId(control.control) == control.control) {
      byte(1);
      text(control.control);
    } else {
      return false;
    }
    text(control.command);
    return true;
  }
  bool move(const steps::Notify& notify) {
    byte(kNotify);
    byte(notify.kind == 6 ? 0 : 1);
    int32(notify.value);
    return notify.kind == 6 || notify.kind == 7;
  }
  bool move(const steps::On& on) {
    byte(kOn);
    if (on.changes.empty()) return false;
    byte(1);
    text(on.command);
    if (const auto* set = on.changes.front().as<steps::Set>()) {
      byte(0);
      return setOperands(*set);
    }
    if (const auto* route = on.changes.front().as<steps::Route>()) {
      byte(1);
      return routeOperands(*route);
    }
    return false;
  }
  // Nothing else is a move.
  template <typename T>
  bool move(const T&) {
    return false;
  }

  bool setOperands(const steps::Set& set) {
    return device(tables_.infodrivers, set.infodriver, set.slot) && (text(set.text), true);
  }

  bool routeOperands(const steps::Route& route) {
    if (!device(tables_.routers, route.router, route.destination)) return false;
    int32(route.source);
    byte(route.sourceName.empty() ? 0 : 1);
    if (!route.sourceName.empty()) text(route.sourceName);
    return true;
  }

  // The pick of the device named `name` and the index within it.
  bool device(const std::vector<FuzzTables::Device>& devices, const std::string& name,
              int32_t index) {
    for (std::size_t i = 0; i < devices.size() && i <= 255; ++i) {
      if (devices[i].name != name) continue;
      if (index < 1 || index > devices[i].size || index - 1 > 65535) return false;
      byte(static_cast<uint8_t>(i));
      uint16(static_cast<uint16_t>(index - 1));
      return true;
    }
    return false;
  }

  template <typename T>
  static std::optional<uint8_t> indexOf(const std::vector<T>& choices, const std::string& id) {
    for (std::size_t i = 0; i < choices.size() && i <= 255; ++i) {
      if (choices[i].id == id) return static_cast<uint8_t>(i);
    }
    return std::nullopt;
  }

  void text(const std::string& text) {
    if (text.size() <= kShortLimit) {
      byte(kShort);
      shortText(text);
    } else {
      byte(kLong);
      const std::size_t length = std::min(text.size(), kLongLimit);
      uint16(static_cast<uint16_t>(length));
      out_.append(text, 0, length);
    }
  }
  void shortText(const std::string& text) {
    const std::size_t length = std::min(text.size(), kShortLimit);
    byte(static_cast<uint8_t>(length));
    out_.append(text, 0, length);
  }
  void byte(uint8_t value) { out_.push_back(static_cast<char>(value)); }
  void uint16(uint16_t value) {
    byte(static_cast<uint8_t>(value & 0xff));
    byte(static_cast<uint8_t>(value >> 8));
  }
  void int32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) byte(static_cast<uint8_t>(bits >> shift));
  }

  const FuzzTables& tables_;
  std::string out_;
};

}  // namespace

FuzzTables baseTables() {
  FuzzTables tables;
  tables.slotTexts = {"0", "1", "2", "3", "4", "-1", "", "x", "99999999999", " 1"};
  tables.requests = {"return=all", "_events", "_commands", "", "return", "=", "a.b.c=d"};
  tables.commands = {"pressed", "released",  "",        "value=",  "value=0", "value=1",
                     "alarm=",  "alarm=ack", "alarm=0", "alarm=1", "alarm=4", "alarm=ACK"};
  return tables;
}

Program decodeInput(const uint8_t* data, std::size_t size, const FuzzTables& tables) {
  ByteReader in(data, size);
  return Decoder(in, &tables).program();
}

std::vector<std::pair<std::size_t, std::size_t>> moveSpans(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  Decoder walker(in, nullptr);
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  const uint8_t flags = in.byte();
  if (flags & kWithPath) in.text();
  spans.emplace_back(0, in.position());
  while (!in.empty()) {
    const std::size_t begin = in.position();
    walker.next();
    spans.emplace_back(begin, in.position());
  }
  return spans;
}

std::string encodeInput(const Program& program, const FuzzTables& tables) {
  return Encoder(tables).program(program);
}

Program programOf(const std::vector<Step>& scenario) {
  Program program;
  bool created = false;
  for (const Step& step : scenario) {
    const bool over = std::visit(
        [&](const auto& body) {
          using T = std::decay_t<decltype(body)>;
          if constexpr (std::is_same_v<T, steps::HostPolls>) {
            if (!created) program.polls = body.delivery;
          } else if constexpr (std::is_same_v<T, steps::Create>) {
            if (created) return true;
            created = true;
            program.path = body.path;
          } else if constexpr (std::is_same_v<T, steps::Delete> ||
                               std::is_same_v<T, steps::Installation>) {
            return created;
          } else if constexpr (std::is_same_v<T, steps::Set> || std::is_same_v<T, steps::Route> ||
                               std::is_same_v<T, steps::Request> ||
                               std::is_same_v<T, steps::Event> ||
                               std::is_same_v<T, steps::Control> ||
                               std::is_same_v<T, steps::Notify> || std::is_same_v<T, steps::On>) {
            if (created) program.moves.push_back(Move{body, std::nullopt});
          }
          return false;
        },
        step.body);
    if (over) break;
  }
  return program;
}

std::string controlId(const std::string& text) {
  std::string id;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.') {
      id.push_back(c);
    }
  }
  return id;
}

std::string pathText(const std::string& text) {
  std::string path = writableText(text);
  path.erase(std::remove(path.begin(), path.end(), '\''), path.end());
  return path;
}

std::string buttonCommand(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) return controlId(text);
  return controlId(text.substr(0, equals)) + "=" + controlId(text.substr(equals + 1));
}

std::string writableText(std::string text) {
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  if (!drezhost::wordFor(text)) {
    for (char& c : text) {
      if (c == '"') c = '\'';
    }
  }
  return text;
}

}  // namespace drezfuzz
