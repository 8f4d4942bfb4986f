#include "jobs/panel_offers.h"

#include <algorithm>
#include <sstream>

#include "simulator/trace.h"

namespace drezhost {

const std::vector<OfferedValue>& offeredValues() {
  static const std::vector<OfferedValue> all = {
      {"empty", ""},
      {"1", "1"},
      {"0", "0"},
      {"-1", "-1"},
      {"x", "x"},
      {"65 characters", std::string(65, 'v')},
      {"100 characters", std::string(100, 'v')},
      {"257 characters", std::string(257, 'v')},
      {"4,097 characters", std::string(4097, 'v')},
      {"quotes", "it's a 'quoted' text"},
      {"'='", "a=b=c"},
      {"bytes not UTF-8", "\xff\xfe\x01"},
      {"a line break", "two\nlines"},
  };
  return all;
}

std::string offeredValueNames() {
  std::string names;
  for (const OfferedValue& value : offeredValues()) {
    names += (names.empty() ? "" : ", ") + std::string(value.name);
  }
  return names;
}

const std::vector<std::string>& alarmCommands() {
  static const std::vector<std::string> all = {"alarm=ack", "alarm=4", "alarm=1", "alarm=2",
                                               "alarm=3",   "alarm=5", "alarm=0", "alarm=-1",
                                               "alarm=x",   "alarm="};
  return all;
}

std::vector<std::string> controlIds(const Installation& installation) {
  std::vector<std::string> ids;
  auto add = [&ids](const std::string& id) {
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  };
  for (const auto& file : installation.panelFiles()) {
    for (const std::string& id : file.second) add(id);
  }
  for (const Panel& panel : installation.panels()) {
    for (const Control& control : panel.controls) add(control.id);
  }
  return ids;
}

std::vector<std::string> listedItems(const std::string& answer) {
  std::vector<std::string> items;
  std::istringstream lines(answer);
  for (std::string item; std::getline(lines, item) && items.size() < 1000;) {
    if (!item.empty() && item.back() == '\r') item.pop_back();
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

std::vector<std::string> requestsFor(const std::string& item) {
  const std::size_t equals = item.find('=');
  const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
  const bool placeholder =
      value == "*" || (value.size() >= 2 && ((value.front() == '[' && value.back() == ']') ||
                                             (value.front() == '<' && value.back() == '>')));
  if (!placeholder) return {item};
  std::vector<std::string> requests;
  for (const OfferedValue& each : offeredValues()) {
    requests.push_back(item.substr(0, equals + 1) + each.text);
  }
  return requests;
}

std::string someOf(const std::vector<std::string>& items, std::size_t shown, bool quoted) {
  constexpr std::size_t kLongest = 40;
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < shown; ++i) {
    const std::string item = shownText(items[i], kLongest);
    text += (i == 0 ? "" : ", ") + (quoted ? "\"" + item + "\"" : item);
  }
  if (items.size() > shown) text += " and " + std::to_string(items.size() - shown) + " more";
  return text;
}

}  // namespace drezhost
