#include "serve/page_actions.h"

#include <stdexcept>

#include "scenario/writer.h"

namespace drezhost {

namespace {

// A field that holds text.
std::string text(const nlohmann::json& action, const char* field) {
  const auto found = action.find(field);
  if (found == action.end() || !found->is_string()) {
    throw std::invalid_argument(std::string("the action needs the text field '") + field + "'");
  }
  return found->get<std::string>();
}

// A field that holds a number, or the text typed for one.
std::string number(const nlohmann::json& action, const char* field) {
  const auto found = action.find(field);
  if (found != action.end() && found->is_number_integer()) {
    return std::to_string(found->get<long long>());
  }
  if (found != action.end() && found->is_string()) return found->get<std::string>();
  throw std::invalid_argument(std::string("the action needs the number field '") + field + "'");
}

struct Action {
  const char* step;
  void (*write)(const nlohmann::json& action, LineWriter& line);
};

const Action kActions[] = {
    {"set",
     [](const nlohmann::json& a, LineWriter& line) {
       line.word(text(a, "infodriver")).word(number(a, "slot")).word(text(a, "text"));
     }},
    {"route",
     [](const nlohmann::json& a, LineWriter& line) {
       line.word(text(a, "router")).word(number(a, "destination")).word(number(a, "source"));
     }},
    {"control",
     [](const nlohmann::json& a, LineWriter& line) {
       line.word(text(a, "control"))
           .word(text(a, "command"))
           .keyword("panel")
           .word(text(a, "panel"));
     }},
    {"request", [](const nlohmann::json& a, LineWriter& line) { line.word(text(a, "text")); }},
    {"event", [](const nlohmann::json& a, LineWriter& line) { line.word(number(a, "id")); }},
};

}  // namespace

std::string actionLine(const nlohmann::json& action) {
  if (!action.is_object()) throw std::invalid_argument("an action is a JSON object");
  const std::string step = text(action, "step");
  for (const Action& known : kActions) {
    if (step != known.step) continue;
    LineWriter line(known.step);
    known.write(action, line);
    if (std::optional<std::string> written = line.text()) return *written;
    throw std::invalid_argument(
        "no scenario line can hold a text of this action (a line break, "
        "or both kinds of quote before a blank)");
  }
  throw std::invalid_argument("no action '" + step + "' (set, route, control, request, event)");
}

}  // namespace drezhost
