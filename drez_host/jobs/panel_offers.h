// What validate and monkey send to reach everything a panel offers: the
// values a control or a listed request is sent with, the framework's own
// alarm commands, the controls of an installation, and the requests that
// the items of a panel's "_events" and "_commands" answers stand for.

#ifndef DREZ_HOST_JOBS_PANEL_OFFERS_H_
#define DREZ_HOST_JOBS_PANEL_OFFERS_H_

#include <string>
#include <vector>

#include "simulator/installation.h"

namespace drezhost {

// A value, and its name in what a check says it sent.
struct OfferedValue {
  const char* name;
  std::string text;
};

// Short, empty, past 64, 256 and 4,096 characters, and odd (quotes, '=',
// bytes that are not UTF-8, a line break).
const std::vector<OfferedValue>& offeredValues();
// Their names, joined with ", ".
std::string offeredValueNames();

// The commands of control "ActionAll" that the framework's alarm action
// takes ("alarm=<level>"), with odd levels.
const std::vector<std::string>& alarmCommands();

// The control ids of every panel file and loaded panel of `installation`,
// each once, in the order they are found.
std::vector<std::string> controlIds(const Installation& installation);

// The items of an "_events" or "_commands" answer: its non-empty lines
// (without a line's closing '\r'), at most 1,000.
std::vector<std::string> listedItems(const std::string& answer);

// An item as requests: as listed, or, where its value is a placeholder
// ("*", "[value]", "<value>"), with each of offeredValues().
std::vector<std::string> requestsFor(const std::string& item);

// How a report names what was sent: "a, b, c and 4 more", the first `shown`
// items, each cut after 40 bytes ("vvv... (257 bytes)") and shown safely,
// between double quotes when `quoted`.
std::string someOf(const std::vector<std::string>& items, std::size_t shown, bool quoted);

}  // namespace drezhost

#endif  // DREZ_HOST_JOBS_PANEL_OFFERS_H_
