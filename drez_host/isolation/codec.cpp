#include "isolation/codec.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace drezhost {

namespace {

using nlohmann::json;

// Every type that crosses is a value of the types below, written as a JSON
// value (then CBOR): a text, a flag, a number, an enumeration (its number,
// read back only when it names one), a list, an optional (null for none),
// a variant (its alternative's name and value) or a struct, whose fields
// cross in the order its row below lists them.

template <typename T>
struct Fields;  // a struct's fields, one row each

#define DREZ_FIELDS(Type, ...)                                  \
  template <>                                                   \
  struct Fields<Type> {                                         \
    static constexpr auto kList = std::make_tuple(__VA_ARGS__); \
  }

DREZ_FIELDS(OutputLine, &OutputLine::kind, &OutputLine::text, &OutputLine::spaced);
DREZ_FIELDS(LineQuestion::DeviceEntry, &LineQuestion::DeviceEntry::name,
            &LineQuestion::DeviceEntry::kind, &LineQuestion::DeviceEntry::number,
            &LineQuestion::DeviceEntry::offset, &LineQuestion::DeviceEntry::size);
DREZ_FIELDS(LineQuestion::PanelFileEntry, &LineQuestion::PanelFileEntry::file,
            &LineQuestion::PanelFileEntry::controls);
DREZ_FIELDS(LineQuestion::PanelEntry, &LineQuestion::PanelEntry::id,
            &LineQuestion::PanelEntry::file, &LineQuestion::PanelEntry::controls);
DREZ_FIELDS(LineQuestion, &LineQuestion::prompt, &LineQuestion::block, &LineQuestion::devices,
            &LineQuestion::panelFiles, &LineQuestion::panels, &LineQuestion::scripts);
DREZ_FIELDS(RunSummary, &RunSummary::verdict, &RunSummary::actions, &RunSummary::expectations,
            &RunSummary::notMet, &RunSummary::errors, &RunSummary::warnings,
            &RunSummary::debugLines, &RunSummary::messages);
DREZ_FIELDS(messages::MonkeyEvent, &messages::MonkeyEvent::lines);
DREZ_FIELDS(messages::Reached, &messages::Reached::what);
DREZ_FIELDS(messages::LearnedInstallation, &messages::LearnedInstallation::steps);
DREZ_FIELDS(messages::StudioAnswer, &messages::StudioAnswer::json);
DREZ_FIELDS(messages::ReplayDifference, &messages::ReplayDifference::line,
            &messages::ReplayDifference::message);
DREZ_FIELDS(messages::Finished, &messages::Finished::summary);
DREZ_FIELDS(Answer, &Answer::text);
DREZ_FIELDS(TaskSettings, &TaskSettings::library, &TaskSettings::installation, &TaskSettings::polls,
            &TaskSettings::maxDepth, &TaskSettings::maxCommands);
DREZ_FIELDS(tasks::LibraryProbe, &tasks::LibraryProbe::learn, &tasks::LibraryProbe::path);
DREZ_FIELDS(tasks::Scenario, &tasks::Scenario::source, &tasks::Scenario::file,
            &tasks::Scenario::quiet, &tasks::Scenario::showStudio, &tasks::Scenario::coverage,
            &tasks::Scenario::updateTraces, &tasks::Scenario::recordTrace,
            &tasks::Scenario::checkTrace);
DREZ_FIELDS(tasks::Check, &tasks::Check::name, &tasks::Check::path, &tasks::Check::learn,
            &tasks::Check::trace);
DREZ_FIELDS(tasks::Monkey, &tasks::Monkey::seed, &tasks::Monkey::events, &tasks::Monkey::path,
            &tasks::Monkey::again, &tasks::Monkey::learn);
DREZ_FIELDS(tasks::Replay, &tasks::Replay::capture, &tasks::Replay::quiet);
DREZ_FIELDS(tasks::Studio, &tasks::Studio::scenarioText, &tasks::Studio::scenarioName);
DREZ_FIELDS(TaskOrder, &TaskOrder::settings, &TaskOrder::task);

#undef DREZ_FIELDS

// How many values each enumeration has: a number past them names none.
template <typename Enum>
constexpr int kValues = 0;
template <>
constexpr int kValues<LineKind> = static_cast<int>(LineKind::Result) + 1;
template <>
constexpr int kValues<DeviceKind> = static_cast<int>(DeviceKind::Outputs) + 1;
template <>
constexpr int kValues<Verdict> = static_cast<int>(Verdict::Hung) + 1;
template <>
constexpr int kValues<PollDelivery> = static_cast<int>(PollDelivery::Off) + 1;
template <>
constexpr int kValues<tasks::Scenario::Source> =
    static_cast<int>(tasks::Scenario::Source::Terminal) + 1;

// The names the alternatives of each variant cross under, in their order.
template <typename Variant>
constexpr const char* const* kNames = nullptr;
constexpr const char* kMessageNames[] = {
    "line",         "question",      "monkey event",      "reached",
    "installation", "studio answer", "replay difference", "finished"};
constexpr const char* kTaskNames[] = {"library probe", "scenario", "check",
                                      "monkey",        "replay",   "studio"};
template <>
constexpr const char* const* kNames<ChildMessage> = kMessageNames;
template <>
constexpr const char* const* kNames<Task> = kTaskNames;
static_assert(std::size(kMessageNames) == std::variant_size_v<ChildMessage> &&
                  std::size(kTaskNames) == std::variant_size_v<Task>,
              "every alternative has its name");

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};
template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <typename T>
struct IsVariant : std::false_type {};
template <typename... T>
struct IsVariant<std::variant<T...>> : std::true_type {};

template <typename T>
json pack(const T& value) {
  if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool> ||
                std::is_integral_v<T>) {
    return value;
  } else if constexpr (std::is_enum_v<T>) {
    static_assert(kValues<T> > 0, "an enumeration crosses with its count of values");
    return static_cast<int>(value);
  } else if constexpr (IsVector<T>::value) {
    json list = json::array();
    for (const auto& each : value) list.push_back(pack(each));
    return list;
  } else if constexpr (IsOptional<T>::value) {
    return value ? pack(*value) : json(nullptr);
  } else if constexpr (IsVariant<T>::value) {
    json named = json::array();
    named.push_back(kNames<T>[value.index()]);
    named.push_back(std::visit([](const auto& alternative) { return pack(alternative); }, value));
    return named;
  } else {
    json fields = json::array();
    std::apply([&](auto... member) { (fields.push_back(pack(value.*member)), ...); },
               Fields<T>::kList);
    return fields;
  }
}

template <typename T>
void unpack(json& in, T& out);

template <typename Variant, std::size_t I = 0>
void unpackAlternative(json& in, std::size_t index, Variant& out) {
  if constexpr (I < std::variant_size_v<Variant>) {
    if (index != I) return unpackAlternative<Variant, I + 1>(in, index, out);
    std::variant_alternative_t<I, Variant> value;
    unpack(in, value);
    out = std::move(value);
  }
}

// Reads what pack wrote (taking its texts); throws CodecError, or nlohmann's
// json::exception, for a value that does not fit.
template <typename T>
void unpack(json& in, T& out) {
  if constexpr (std::is_same_v<T, std::string>) {
    out = std::move(in.get_ref<std::string&>());
  } else if constexpr (std::is_same_v<T, bool> || std::is_integral_v<T>) {
    out = in.get<T>();
  } else if constexpr (std::is_enum_v<T>) {
    const int number = in.get<int>();
    if (number < 0 || number >= kValues<T>) throw CodecError("an enumeration out of its range");
    out = static_cast<T>(number);
  } else if constexpr (IsVector<T>::value) {
    out.clear();
    out.resize(in.get_ref<json::array_t&>().size());
    for (std::size_t i = 0; i < out.size(); ++i) unpack(in[i], out[i]);
  } else if constexpr (IsOptional<T>::value) {
    out.reset();
    if (!in.is_null()) unpack(in, out.emplace());
  } else if constexpr (IsVariant<T>::value) {
    const std::string& name = in.at(0).get_ref<const std::string&>();
    for (std::size_t i = 0; i < std::variant_size_v<T>; ++i) {
      if (name == kNames<T>[i]) return unpackAlternative(in.at(1), i, out);
    }
    throw CodecError("no alternative named '" + name + "'");
  } else {
    constexpr std::size_t kCount = std::tuple_size_v<decltype(Fields<T>::kList)>;
    if (in.get_ref<json::array_t&>().size() != kCount) throw CodecError("fields missing or more");
    std::size_t at = 0;
    std::apply([&](auto... member) { (unpack(in[at++], out.*member), ...); }, Fields<T>::kList);
  }
}

}  // namespace

template <typename T>
std::string encodeFrame(const T& value) {
  std::string frame(kFrameHead, '\0');
  json::to_cbor(pack(value), frame);
  const std::size_t length = frame.size() - kFrameHead;
  for (std::size_t i = 0; i < kFrameHead; ++i) {
    frame[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  return frame;
}

template <typename T>
std::optional<T> takeFrame(const std::string& buffer, std::size_t& at) {
  if (buffer.size() < at + kFrameHead) return std::nullopt;
  std::size_t length = 0;
  for (std::size_t i = 0; i < kFrameHead; ++i) {
    length |= static_cast<std::size_t>(static_cast<unsigned char>(buffer[at + i])) << (8 * i);
  }
  if (length > kFrameLimit) {
    throw CodecError("a frame of " + std::to_string(length) + " bytes, over the limit");
  }
  if (buffer.size() < at + kFrameHead + length) return std::nullopt;
  const auto* first = reinterpret_cast<const std::uint8_t*>(buffer.data()) + at + kFrameHead;
  at += kFrameHead + length;
  T out;
  try {
    json value = json::from_cbor(first, first + length);
    unpack(value, out);
  } catch (const json::exception& error) {
    throw CodecError(error.what());
  }
  return out;
}

template std::string encodeFrame(const ChildMessage&);
template std::string encodeFrame(const Answer&);
template std::string encodeFrame(const TaskOrder&);
template std::optional<ChildMessage> takeFrame(const std::string&, std::size_t&);
template std::optional<Answer> takeFrame(const std::string&, std::size_t&);
template std::optional<TaskOrder> takeFrame(const std::string&, std::size_t&);

}  // namespace drezhost
