#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "probe_script.h"
#include "script_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DispatchTest : public ScriptTest {
 protected:
  ProbeScript script{&host, "panels/studio"};
};

TEST_F(DispatchTest, EachKindReachesItsHandler) {
  drezhost::DeviceUpdateRecord update(12, 3, 45, "two words");
  drezhost::ControlEventRecord event("AckAll", "press=1");
  EXPECT_EQ(script.callback(update.get(), CB_DEVICE_UPDATE), nullptr);
  EXPECT_EQ(script.callback(event.get(), CB_CONTROL_EVENT), nullptr);
  EXPECT_EQ(script.callback(const_cast<char*>("a.b=c"), CB_HOST_REQUEST), nullptr);
  EXPECT_EQ(script.callback(reinterpret_cast<void*>(7), CB_EVENT_ID), nullptr);
  EXPECT_EQ(script.callback(reinterpret_cast<void*>(66), CB_NOTIFY6), nullptr);
  EXPECT_EQ(script.callback(reinterpret_cast<void*>(77), CB_NOTIFY7), nullptr);
  EXPECT_THAT(script.calls, ElementsAre("device 12 3 45 two words", "control AckAll press=1",
                                        "request a=c", "event 7", "notify6 66", "notify7 77"));
  EXPECT_THAT(host.commands(), IsEmpty());
}

TEST_F(DispatchTest, KindsOutsideOneToSevenDoNothing) {
  drezhost::DeviceUpdateRecord update(1, 1, 1, "x");
  for (int kind : {0, 8, -1, 1000}) EXPECT_EQ(script.callback(update.get(), kind), nullptr);
  EXPECT_THAT(script.calls, IsEmpty());
}

TEST_F(DispatchTest, NullRecordsAreNoEvents) {
  EXPECT_EQ(script.callback(nullptr, CB_DEVICE_UPDATE), nullptr);
  EXPECT_EQ(script.callback(nullptr, CB_CONTROL_EVENT), nullptr);
  EXPECT_THAT(script.calls, IsEmpty());
}

TEST_F(DispatchTest, ControlEventWithNullFieldsReadsEmptyText) {
  ControlEvent event{};
  script.callback(&event, CB_CONTROL_EVENT);
  EXPECT_THAT(script.calls, ElementsAre("control  ="));
}

TEST_F(DispatchTest, EventIdIsTheDataValueItself) {
  script.callback(reinterpret_cast<void*>(static_cast<intptr_t>(-3)), CB_EVENT_ID);
  EXPECT_THAT(script.calls, ElementsAre("event -3"));
}

TEST_F(DispatchTest, RequestReplyIsANewBlockFreedByKindFive) {
  script.nextReply = "myParam=abc";  // 11 characters
  const char* reply = script.callback(const_cast<char*>("myParam=abc"), CB_HOST_REQUEST);
  ASSERT_NE(reply, nullptr);
  EXPECT_STREQ(reply, "myParam=abc");
  EXPECT_NE(reply, static_cast<const char*>(script.nextReply));
  EXPECT_THAT(script.calls, ElementsAre("request myParam=abc"));
  // Freed with the matching deallocation; the sanitizer builds catch a mismatch.
  EXPECT_EQ(script.callback(const_cast<char*>(reply), CB_RELEASE_REPLY), nullptr);
  EXPECT_EQ(script.callback(nullptr, CB_RELEASE_REPLY), nullptr);
  EXPECT_EQ(script.calls.size(), 1u);
}

TEST_F(DispatchTest, EmptyReplyGivesNull) {
  EXPECT_EQ(script.callback(const_cast<char*>("x"), CB_HOST_REQUEST), nullptr);
  EXPECT_EQ(script.callback(nullptr, CB_HOST_REQUEST), nullptr);
  EXPECT_EQ(script.callback(const_cast<char*>(""), CB_HOST_REQUEST), nullptr);
  EXPECT_THAT(script.calls, ElementsAre("request x=", "request =", "request ="));
}

TEST_F(DispatchTest, ControlEventsReachTheHandlerWhileAlarmsAreOff) {
  drezhost::ControlEventRecord event("ActionAll", "alarm=ack");
  script.callback(event.get(), CB_CONTROL_EVENT);
  EXPECT_THAT(script.calls, ElementsAre("control ActionAll alarm=ack"));
  EXPECT_THAT(host.commands(), IsEmpty());
}

TEST_F(DispatchTest, KeepsThePathText) { EXPECT_STREQ(script.pathText(), "panels/studio"); }

TEST(DispatchLifetime, DestructorSendsAsLastAndNullHostSendsNothing) {
  drezhost::RecordingHost host;
  {
    ProbeScript script(&host, nullptr);
    script.endEvent(1);
    EXPECT_STREQ(script.pathText(), "");
  }
  EXPECT_THAT(host.commands(), ElementsAre("ET 1", "AS"));

  // Through the interface the host holds, as a host deletes it.
  std::unique_ptr<drez_client_callback, drez_script_deleter> script(new ProbeScript(nullptr, "p"));
  script->callback(reinterpret_cast<void*>(1), CB_EVENT_ID);
  script.reset();
  EXPECT_THAT(host.faults(), IsEmpty());
}

class ThrowingScript : public ProbeScript {
 public:
  using ProbeScript::ProbeScript;

 protected:
  drez_string onHostRequest(HostRequest*) override { throw std::runtime_error("handler failed"); }
};

TEST(DispatchFailure, ExceptionFromHandlerIsCaughtAndReportedOnce) {
  drezhost::RecordingHost host;
  ThrowingScript script(&host, "");
  DebugCapture debug;
  EXPECT_EQ(script.callback(const_cast<char*>("a=b"), CB_HOST_REQUEST), nullptr);
  EXPECT_THAT(debug.lines, ElementsAre("drez_script_helper: callback of kind 3 failed (handler "
                                       "failed); the event was dropped\n"));
  // Still usable afterwards.
  EXPECT_EQ(script.callback(reinterpret_cast<void*>(4), CB_EVENT_ID), nullptr);
  EXPECT_THAT(script.calls, ElementsAre("event 4"));
}

TEST(DispatchLifetime, EventsDeliveredFromInsideTheTeardownAreIgnored) {
  // Through slot 0, as a host destroys a script, and through the destructor
  // alone, as a stack object goes: an update delivered from inside "AS"
  // would otherwise reach a handler that is gone (a pure virtual call).
  for (bool throughSlotZero : {true, false}) {
    drezhost::RecordingHost host;
    drezhost::DeviceUpdateRecord update(1, 1, 1, "x");
    const char* result = "not called";
    auto deliverInsideAs = [&](drez_client_callback* script) {
      host.setExecuteHook([&host, &update, &result, script](const std::string& command) {
        if (command != "AS") return;
        host.setExecuteHook(nullptr);
        result = script->callback(update.get(), CB_DEVICE_UPDATE);
      });
    };
    if (throughSlotZero) {
      auto* script = new ProbeScript(&host, "");
      deliverInsideAs(script);
      drez_delete_script(script);
    } else {
      ProbeScript script(&host, "");
      deliverInsideAs(&script);
    }
    EXPECT_EQ(result, nullptr);
    EXPECT_THAT(host.commands(), ElementsAre("AS"));
  }
}

// The script's virtual table as a host built by another compiler sees it:
// slots called by number, as plain functions that take the object first (in
// ECX on 32-bit Windows).
// g++ calls thiscall on a plain function an extension.
__extension__ using Slot0 = void * (DREZ_THISCALL*)(void* self, unsigned int flags);
__extension__ using Slot1 = const char * (DREZ_THISCALL*)(void* self, void* data, int kind);

void* const* slotsOf(drez_client_callback* script) {
  return *reinterpret_cast<void* const* const*>(script);
}

// A probe that counts the frees of its memory.
class CountedScript : public ProbeScript {
 public:
  using ProbeScript::ProbeScript;
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) {
    ++frees;
    ::operator delete(block);
  }
  static int frees;
};
int CountedScript::frees = 0;

TEST(ScriptVirtualTable, SlotOneIsCallbackSlotZeroDestroysAndFreesWithFlagOne) {
  for (unsigned int flags : {1u, 0u}) {
    drezhost::RecordingHost host;
    auto* probe = new CountedScript(&host, "");
    drez_client_callback* script = probe;
    CountedScript::frees = 0;

    const auto callback = reinterpret_cast<Slot1>(slotsOf(script)[1]);
    EXPECT_EQ(callback(script, reinterpret_cast<void*>(5), CB_EVENT_ID), nullptr);
    EXPECT_EQ(probe->calls, std::vector<std::string>{"event 5"});

    const auto destroy = reinterpret_cast<Slot0>(slotsOf(script)[0]);
    const auto address = reinterpret_cast<uintptr_t>(script);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(destroy(script, flags)), address);
    EXPECT_EQ(host.commands(), std::vector<std::string>{"AS"}) << "flags " << flags;
    EXPECT_EQ(CountedScript::frees, flags == 1u ? 1 : 0) << "flags " << flags;
    if (flags == 0u) CountedScript::operator delete(probe);  // destroyed, not freed
  }
}

TEST(Signature, NamesTheFrameworkAndItsAuthor) {
  const std::string signature = drez_script_helper_signature;
  EXPECT_EQ(signature.rfind("DREZ_SIG,name=drez_script_helper,type=LIB,version=4.8.6.0,"
                            "date=16/06/2017,author=",
                            0),
            0u);
}

}  // namespace
