#include <climits>
#include <string>
#include <vector>

#include "probe_script.h"
#include "script_test.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CommandsTest : public ScriptTest {
 protected:
  ProbeScript script{&host, ""};
  DebugCapture debug;
};

TEST_F(CommandsTest, LoadPanelPutsThePathInFront) {
  ProbeScript with_path(&host, "panels/studio");
  EXPECT_TRUE(with_path.loadPanel("1", "p1.drez_ui", ""));
  EXPECT_TRUE(script.loadPanel("1", "p1.drez_ui", ""));
  EXPECT_TRUE(script.loadPanel("2", "p2.drez_ui", "extra"));
  EXPECT_THAT(host.takeCommands(),
              ElementsAre("PS '1' 'panels/studio/p1.drez_ui'", "PS '1' 'p1.drez_ui'",
                          "PS '2' 'p2.drez_ui' 'extra'"));
  // The host's result decides; it is not a reply and is never released.
  host.setResponder([](const std::string&) { return std::nullopt; });
  EXPECT_FALSE(script.loadPanel("1", "missing.drez_ui", ""));
  EXPECT_EQ(host.repliesHandedOut(), 0u);
}

TEST_F(CommandsTest, TextOperandsAreSentUnescaped) {
  script.setControlProperty("statesheet", "QZ_Studio_TX", "1", "StC_Floor");
  script.setControlProperty("text", "it's", "1", "vls_name");
  script.setControlProperty("text", "", "1", "vls_name");
  EXPECT_THAT(host.commands(),
              ElementsAre("TP 'statesheet=QZ_Studio_TX' '1' 'StC_Floor'",
                          "TP 'text=it's' '1' 'vls_name'", "TP 'text=' '1' 'vls_name'"));
}

TEST_F(CommandsTest, TextCommandsOfAnyLengthAreSentWhole) {
  // "TP 'text=' '1' 'vls_name'" is 25 characters: values of 230 and 231 give
  // the longest command built on the stack and the shortest built on the heap.
  for (std::size_t length : {0u, 230u, 231u, 5000u}) {
    const std::string value(length, 'v');
    script.setControlProperty("text", value.c_str(), "1", "vls_name");
    EXPECT_THAT(host.takeCommands(), ElementsAre("TP 'text=" + value + "' '1' 'vls_name'"));
    script.loadPanel("1", value.c_str(), value.c_str());
    const std::string extra = length > 0 ? " '" + value + "'" : "";
    EXPECT_THAT(host.takeCommands(), ElementsAre("PS '1' '" + value + "'" + extra));
  }
}

TEST_F(CommandsTest, CommandsBuiltBeforehandAreSentAsTheOperationsSendThem) {
  script.sendCommand(ProbeScript::outputStateText(12, 1, 45, false).text());
  script.sendCommand(
      ProbeScript::controlPropertyText("text", CommandPiece::number(INT_MIN), "1", "vls_id")
          .text());
  script.sendCommand(
      ProbeScript::controlPropertyText("text", drez_string("it's"), "1", "vls_name").text());
  script.setOutputState(12, 1, 45, false);
  EXPECT_THAT(host.takeCommands(), ElementsAre("GS 12 45 1 0", "TP 'text=-2147483648' '1' 'vls_id'",
                                               "TP 'text=it's' '1' 'vls_name'", "GS 12 45 1 0"));
  ProbeScript hostless(nullptr, "");
  hostless.sendCommand("ET 5");  // no host: nothing, and no crash
}

TEST_F(CommandsTest, NumericCommands) {
  script.setOutputState(12, 1, 45, false);
  script.setOutputState(12, 255, 0, true);
  script.registerInfodriver(3, 1, 6, false);
  script.registerInfodriver(3, 1, 6, true);
  script.unregisterInfodriver(3);
  script.pollInfodriver(3, 1, 6);
  script.registerRouter(7, 97, 97, true);
  script.registerRouter(7, 97, 97, false);
  script.unregisterRouter(7);
  script.pollRouter(7, 62, 62);
  script.endEvent(5);
  script.detachFromHost();
  EXPECT_THAT(host.commands(), ElementsAre("GS 12 45 1 0", "GS 12 0 255 1", "IR 3 1 6",
                                           "IR 3 1 6 'ADD'", "IU 3", "IP 3 1 6", "RR 7 97 97 'ADD'",
                                           "RR 7 97 97", "RU 7", "RP 7 62 62", "ET 5", "AS"));
}

TEST_F(CommandsTest, LongestNumericCommandsAreSentWhole) {
  script.registerRouter(INT_MIN, INT_MIN, INT_MIN, true);
  script.registerInfodriver(INT_MIN, INT_MAX, -1, true);
  script.setOutputState(INT_MIN, 255, INT_MIN, true);
  script.pollRouter(INT_MAX, INT_MAX, INT_MAX);
  script.endEvent(INT_MIN);
  EXPECT_THAT(host.commands(),
              ElementsAre("RR -2147483648 -2147483648 -2147483648 'ADD'",
                          "IR -2147483648 2147483647 -1 'ADD'", "GS -2147483648 -2147483648 255 1",
                          "RP 2147483647 2147483647 2147483647", "ET -2147483648"));
}

TEST_F(CommandsTest, LookupDeviceReadsNumberAndOffset) {
  const struct {
    const char* reply;  // null: no reply
    bool result;
    int device;
    int offset;
  } cases[] = {
      {"12 40", true, 12, 40},  {"12", true, 12, 0},      {"", true, 0, 0},
      {" 12 40", true, 0, 12},  {"'12' 40", true, 0, 12}, {"abc def", true, 0, 0},
      {"-3 +8 9", true, -3, 8}, {nullptr, false, 0, 0},
  };
  for (const auto& c : cases) {
    if (c.reply != nullptr) {
      replyWith({{"SD 'Studio A Blue Lights'", c.reply}});
    } else {
      replyWith({});
    }
    int32_t device = 99, offset = 99;
    EXPECT_EQ(script.lookupDevice("Studio A Blue Lights", &device, &offset), c.result);
    EXPECT_EQ(device, c.device) << (c.reply ? c.reply : "(null)");
    EXPECT_EQ(offset, c.offset) << (c.reply ? c.reply : "(null)");
  }
  EXPECT_EQ(host.repliesHandedOut(), 7u);
  EXPECT_EQ(host.repliesReleased(), 7u);
}

TEST_F(CommandsTest, LookupDeviceWithoutOutputsStillAsks) {
  replyWith({{"SD 'RIR SDI Router'", "7 0"}});
  EXPECT_TRUE(script.lookupDevice("RIR SDI Router", nullptr, nullptr));
  int32_t device = 5;
  EXPECT_TRUE(script.lookupDevice("RIR SDI Router", &device, nullptr));
  EXPECT_EQ(device, 7);
  EXPECT_THAT(host.commands(), ElementsAre("SD 'RIR SDI Router'", "SD 'RIR SDI Router'"));
  EXPECT_EQ(host.repliesReleased(), 2u);
}

TEST_F(CommandsTest, ReplyIsReleasedRightAfterItsCommand) {
  // The release is the next thing the host sees: no command comes between.
  std::vector<std::string> order;
  replyWith({{"TG '1' 'alm_7' 'value'", "value=3"}});
  host.setExecuteHook([&](const std::string& command) { order.push_back(command); });
  drez_string result;
  script.getControlProperty("value", "1", "alm_7", result);
  order.push_back(host.repliesHeld() == 0 ? "released" : "held");
  host.setExecuteHook(nullptr);
  EXPECT_THAT(order, ElementsAre("TG '1' 'alm_7' 'value'", "released"));
}

TEST_F(CommandsTest, GetControlProperty) {
  const struct {
    const char* property;
    const char* reply;  // null: no reply
    const char* result;
    bool debugLine;
  } cases[] = {
      {"value", "value=3", "3", false},
      {"value", "value=a=b", "a=b", false},
      {"value", "Value=3", "", true},
      {"value", "value", "", false},
      {"value", "level", "", true},
      {"value", "", "", true},
      {"all", "value=3 alarm=ack", "value=3 alarm=ack", false},
      {"all", "no equals sign", "no equals sign", false},
      {"value", nullptr, "", false},
  };
  for (const auto& c : cases) {
    if (c.reply != nullptr) {
      replyWith({{"TG '1' 'alm_7' '" + std::string(c.property) + "'", c.reply}});
    } else {
      replyWith({});
    }
    debug.lines.clear();
    drez_string result("stale");
    script.getControlProperty(c.property, "1", "alm_7", result);
    EXPECT_STREQ(result, c.result) << c.property << " / " << (c.reply ? c.reply : "(null)");
    EXPECT_EQ(debug.lines.size(), c.debugLine ? 1u : 0u) << (c.reply ? c.reply : "(null)");
  }
  EXPECT_EQ(host.repliesHandedOut(), 8u);
  EXPECT_EQ(host.repliesReleased(), 8u);
}

TEST_F(CommandsTest, MismatchWritesOneExactDebugLine) {
  replyWith({{"TG '1' 'alm_7' 'value'", "level=3"}});
  drez_string result;
  script.getControlProperty("value", "1", "alm_7", result);
  EXPECT_THAT(debug.lines,
              ElementsAre("textGet: value returned \"level\" was not the value requested "
                          "\"value\" (value returned was \"level=3\" from control \"alm_7\", on "
                          "panel \"1\")"));
}

TEST_F(CommandsTest, DebugMessageFillsInOrderAndAddsNoLineEnd) {
  script.debugMessage("%1-%2-%3-%4-%5", "a", "b", "c", "d", "e", "f", "g", "h", "i");
  // Text inside a value is never taken for a placeholder.
  script.debugMessage("[%1][%2]", "%2", "x", "", "", "", "", "", "", "");
  EXPECT_THAT(debug.lines, ElementsAre("a-b-c-d-e", "[%2][x]"));
}

#if defined(_WIN32)
// OutputDebugStringA hands its text to a debugger in a DBG_PRINTEXCEPTION_C
// exception, which a vectored handler of the process sees first.
std::string* debugStrings = nullptr;

LONG CALLBACK readDebugString(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2) {
    debugStrings->append(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(CommandsTest, DefaultDebugChannelIsOutputDebugStringA) {
  drez_set_debug_sink(nullptr, nullptr);  // the default, not the capture
  std::string written;
  debugStrings = &written;
  void* handler = AddVectoredExceptionHandler(1, readDebugString);
  script.debugMessage("value %1 from %2", "3", "alm_7", "", "", "", "", "", "", "");
  RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(written, "value 3 from alm_7");
}
#endif

TEST_F(CommandsTest, ListControlsSplitsTheReplyAtCommas) {
  const struct {
    const char* reply;  // null: no reply
    std::vector<std::string> ids;
  } cases[] = {
      {"alm_1,alm_2,alm_3", {"alm_1", "alm_2", "alm_3"}},
      {"alm_1", {"alm_1"}},
      {"", {}},
      {nullptr, {}},
  };
  for (const auto& c : cases) {
    if (c.reply != nullptr) {
      replyWith({{"XI '1' 'alm_'", c.reply}});
    } else {
      replyWith({});
    }
    const drez_stringlist list = script.listControls("1", "alm_");
    std::vector<std::string> ids;
    for (auto it = list.begin(); it != list.end(); ++it) ids.push_back((*it).str());
    EXPECT_EQ(ids, c.ids) << (c.reply ? c.reply : "(null)");
  }
  EXPECT_EQ(host.repliesReleased(), 3u);
}

TEST_F(CommandsTest, PlaceholderInAnOperandDoesNotCorruptTheCommand) {
  replyWith({});
  script.listControls("a%2", "alm_");
  script.lookupDevice("name %1", nullptr, nullptr);
  EXPECT_THAT(host.commands(), ElementsAre("XI 'a%2' 'alm_'", "SD 'name %1'"));
}

TEST(CommandsWithoutHost, SendNothingAndGiveDefaults) {
  ProbeScript script(nullptr, "panels");
  EXPECT_TRUE(script.loadPanel("1", "p1.drez_ui", ""));
  int32_t device = 9, offset = 9;
  EXPECT_FALSE(script.lookupDevice("RIR SDI Router", &device, &offset));
  EXPECT_EQ(device, 0);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(script.listControls("1", "alm_").count(), 0u);
  drez_string result("stale");
  script.getControlProperty("value", "1", "alm_7", result);
  EXPECT_STREQ(result, "");
  script.setControlProperty("text", "x", "1", "c");
  script.setOutputState(1, 1, 1, false);
  script.registerInfodriver(1, 1, 6, false);
  script.unregisterInfodriver(1);
  script.pollInfodriver(1, 1, 6);
  script.registerRouter(1, 97, 97, false);
  script.unregisterRouter(1);
  script.pollRouter(1, 97, 97);
  script.endEvent(1);
  script.detachFromHost();
  script.alarmAction("ack");
}

}  // namespace
