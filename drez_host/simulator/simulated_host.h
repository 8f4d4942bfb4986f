// The simulated panel host: it executes the command vocabulary against an
// Installation, runs panel scripts and delivers their events, keeps the
// ledger of the replies it hands out, and checks that the scripts keep the
// host contract.
//
// One host object serves every script; a command belongs to the script the
// host is calling into when it arrives. Calls into scripts nest: events a
// command causes are delivered from inside that command.
//
// Poll answers go to the polling script: by default from inside the poll
// command (re-entrantly); with PollDelivery::Queued after the script's call
// returns; with PollDelivery::Off never. While the export runs the script
// cannot be reached yet, so answers to polls sent from its constructor are
// delivered as soon as the export returns, in both delivering modes. A slot
// or route that changes is delivered to every script registered for it: at
// once when the host changes it between calls; when a trigger (onCommand)
// changes it from inside a script's command, re-entrantly or queued like a
// poll answer.
//
// The studio never tells a script an older state than it told it before: a
// poll's answer carries the state of its slot or destination as the host
// delivers it, so an index that changed since the poll began is answered
// with the newer state; and a change whose delivery comes after the script
// was already told of a newer state of that index (queued deliveries of a
// nested call overtake those of the call around it) carries the state as it
// is then. Every change is delivered after it is made, so once an outermost
// call is over, the last state delivered to a script for each slot and
// destination it is registered for is the device's: deliveredStateBreaches()
// checks that, in every poll mode.
//
// What the scripts get wrong goes to the Validator as errors: a reply released
// twice or never handed out, a reply still held when the script's call
// returns, a command after the script detached, a command outside the
// vocabulary (abi/drez_commands.h) or whose operands do not parse, no detach
// or a registration still open when the script is deleted, an exception
// escaping the script, an export that returns nonsense or a script that is
// alive already, and re-entrant delivery nested deeper than the limit (a
// script that polls from inside its own update handler). What they address
// that the studio lacks goes there as warnings.
//
// Everything a host keeps is bounded or freed as it goes: the commands of the
// last call (the window, at most kWindowLimit texts), the replies held (hash
// tables), the triggers (looked up by their text).
//
// Threading: single-threaded, like a real host.

#ifndef DREZ_HOST_SIMULATOR_SIMULATED_HOST_H_
#define DREZ_HOST_SIMULATOR_SIMULATED_HOST_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "drez_client_callback.h"
#include "drez_client_host.h"
#include "simulator/command_cache.h"
#include "simulator/command_parser.h"
#include "simulator/command_window.h"
#include "simulator/debug_channel.h"
#include "simulator/host_observer.h"
#include "simulator/installation.h"
#include "simulator/registrations.h"
#include "simulator/reply_ledger.h"
#include "simulator/trace.h"
#include "simulator/validator.h"

namespace drezhost {

// What the host calls to create a script: the library's export.
using ScriptFactory = std::function<drez_client_callback*(drez_client_host*, const char*)>;

enum class PollDelivery { Reentrant, Queued, Off };

// The state of a slot or destination as the host last delivered it to a
// script.
struct DeliveredState {
  uint64_t made = 0;  // when the host read it from the device: later is newer
  int32_t number = 0;
  std::string text;
  // The script has been registered for the index since it was told: every
  // change since then reaches it. False for a poll's answer to an index it
  // was not registered for, and once it unregisters from the device.
  bool followed = false;
};

struct Script {
  int id = 0;
  std::string name;
  // Null while the export runs, and once deleted.
  drez_client_callback* object = nullptr;
  bool deleting = false;
  bool detached = false;  // it sent the detach command
  Registrations registrations;
  std::vector<int32_t> unacknowledgedEvents;
  // What the script was last told of each (device, index): what it may
  // believe. An index whose delivery was dropped (calls nested too deeply,
  // a runaway loop) is forgotten: the host reported that as an error.
  std::map<std::pair<int32_t, int32_t>, DeliveredState> delivered;
};

// A script left believing a state the studio no longer has: the last update
// the host delivered to it for a slot or destination it is registered for
// differs from the device's state. A fault of the host, never the script's.
struct StateBreach {
  std::string script;
  int32_t device = 0;
  int32_t index = 0;
  DeliveredState told;
  int32_t number = 0;  // the device's state
  std::string text;
  // In words: "s1 was left believing RIR Audio Router (22) destination 62:
  // source 5 "Desk A", while the router routes source 7 "Desk C"".
  std::string message;
};

class InstallationLearner;
class RecordedAnswers;

class SimulatedHost : public drez_client_host {
 public:
  // How deeply calls into scripts may nest before the host stops delivering
  // re-entrantly, by default.
  static constexpr int kDefaultMaxDepth = 200;
  // How many command texts takeCommands() returns at most; the rest are
  // counted.
  static constexpr std::size_t kWindowLimit = 10000;
  // How many commands one outermost call of the host (with everything
  // nested in it) may take, by default, before it counts as a runaway loop.
  static constexpr std::size_t kDefaultMaxCommands = 1000000;

  // All three must outlive the host.
  SimulatedHost(Installation& installation, Trace& trace, Validator& validator);
  // Deletes the scripts still alive, as at teardown.
  ~SimulatedHost();
  SimulatedHost(const SimulatedHost&) = delete;
  SimulatedHost& operator=(const SimulatedHost&) = delete;

  void setPollDelivery(PollDelivery delivery) { polls_ = delivery; }
  // Off: a device lookup gets no reply, whatever the name.
  void setAnswerLookups(bool answer) { answer_lookups_ = answer; }
  // The nesting of calls into scripts at which re-entrant delivery stops:
  // the delivery is reported as an error, with the chain of calls and
  // commands that led to it, and nothing more is delivered re-entrantly
  // until the host's own call returns.
  void setMaxDepth(int depth) { max_depth_ = depth; }
  // The commands one outermost call may take: past them the script is in a
  // runaway loop. That is an error; the rest of the call's commands are
  // ignored and nothing more is delivered until the call returns.
  void setMaxCommands(std::size_t commands) { max_commands_ = commands; }
  // Takes the script's debug lines from `channel` (may be null: none) at
  // every command and at the end of every call; each one is traced, and the
  // framework's report of a dropped event is an error of that call. It must
  // outlive the host.
  void setDebugChannel(DebugChannel* channel) { debug_ = channel; }
  // Answers what the installation lacks through `learner` (may be null)
  // instead of warning. It must outlive the host.
  void setLearner(InstallationLearner* learner) { learner_ = learner; }
  // Answers every command through `answers` (may be null: the
  // installation answers) instead of executing it against the studio. It
  // must outlive the host.
  void setRecordedAnswers(RecordedAnswers* answers) { recorded_ = answers; }
  // The debug lines scripts wrote so far.
  std::size_t debugLines() const { return debug_lines_; }
  // Tells `observer` about every call, command and delivery from now on. It
  // must outlive the host.
  void addObserver(HostObserver* observer) { observers_.push_back(observer); }

  // Creates a script through `factory` with `path`. Returns null, with an
  // error reported, when the factory gives null, throws, or returns
  // something that cannot be a new script: an address no object can have,
  // an object without a virtual table, or a script that is alive already.
  Script* create(const std::string& name, const ScriptFactory& factory, const std::string& path);
  // Deletes the script and checks its teardown; `script` is gone afterwards.
  void destroy(Script& script);
  // True when the last create() returned null because the export returned
  // something unusable (not null, and no exception).
  bool rejectedLastScript() const { return rejected_; }
  Script* findScript(const std::string& name);
  // The scripts alive, oldest first.
  std::vector<Script*> scripts();

  // Host calls into a script. `request` returns the reply (nothing for
  // null) after handing it back to the script.
  std::optional<std::string> request(Script& script, const std::string& text);
  void fireEvent(Script& script, int32_t id);
  void controlEvent(Script& script, const std::string& control, const std::string& command);
  void notify(Script& script, int kind, intptr_t value);
  // Calls `callback(data, kind)` as it is, traced as `what`, and returns its
  // result unchecked: for probing a script with odd data.
  const char* rawCall(Script& script, int kind, void* data, const std::string& what);
  // Delivers one device update to `script` as it stands: a replay's.
  void deliverUpdate(Script& script, int32_t device, int32_t index, int32_t number,
                     const std::string& text);

  // Studio changes, delivered to every script registered for them. Throw
  // InstallationError for unknown devices or indices.
  void setSlot(const std::string& infodriver, int32_t slot, const std::string& text);
  void route(const std::string& router, int32_t destination, int32_t source,
             const std::string& sourceName);

  // Runs `change` once, from inside the first command whose text is
  // `command`, after executing it: the studio changes while the script is
  // busy. `change` calls setSlot or route.
  void onCommand(const std::string& command, std::function<void()> change);
  // Runs `change` once, from inside the next command any script sends.
  void onNextCommand(std::function<void()> change);
  // The commands of the triggers that have not fired yet, in the order they
  // were set.
  std::vector<std::string> pendingTriggers() const;

  Installation& installation() { return installation_; }

  // The commands scripts sent since the last call, at most kWindowLimit of
  // them, and forgets them.
  std::vector<std::string> takeCommands();
  // The same into `window`, with their senders and how many were sent; the
  // host forgets the window's old commands and uses its room again: no heap
  // block per command once both have grown.
  void takeCommands(CommandWindow& window);
  // Forgets the commands sent since the last call.
  void forgetCommands();
  // Keeps at most `limit` texts of the commands sent (kWindowLimit unless
  // set; 0: only their count); a window handed to takeCommands should have
  // the same limit.
  void setWindowLimit(std::size_t limit) { sent_ = CommandWindow(limit); }
  // Replies handed out and not yet taken back.
  std::size_t repliesHeld() const { return ledger_.heldCount(); }
  // Reports, as an error of the call `during` names, the commands that
  // arrived from another thread since the last report. The host does at the
  // start and end of each of its outermost calls.
  void reportForeignCommands(const std::string& during);

  // The host's check of itself: for every live script, each slot and
  // destination it is registered for and was told of, whose last delivered
  // state differs from the device's. Call it between the host's operations
  // (monkey and validate do, from HostObserver::hostSettled()); inside one,
  // deliveries may still be on their way. Empty when every script was told the truth. Under
  // recorded answers (a replay) the studio is not the truth, and nothing is recorded.
  std::vector<StateBreach> deliveredStateBreaches() const;

  // What scripts call: executes a command (HOST_CMD_EXECUTE) or takes a
  // reply back (HOST_CMD_RELEASE), tracing and validating both.
  intptr_t DREZ_THISCALL command(const char* text, int kind) override;

 private:
  struct Delivery {
    int scriptId = 0;
    int32_t device = 0;
    int32_t index = 0;
    int32_t number = 0;
    std::string text;
    std::string description;
    uint64_t made = 0;         // when the state was read from the device
    bool answersPoll = false;  // read again as it is delivered
  };
  // What the host does for one command of the vocabulary (host_commands.cpp).
  // True when it succeeded, with `reply` (empty when called) set for a
  // command that carries one; false when it failed.
  using CommandAction = bool (SimulatedHost::*)(Script& sender, const HostCommand& command,
                                                std::string& reply);
  struct Behaviour {
    drez_command_id command;
    // Executes the command against the studio.
    CommandAction execute;
    // Under recorded answers, instead: only what follows the script's own
    // state (its registrations, its detach, the events it acknowledges).
    CommandAction track;
  };
  // One row per command, at the command's id.
  static const Behaviour kBehaviours[];
  static constexpr bool behavioursInOrder();
  struct Frame {
    int scriptId = 0;
    int entry = 0;                      // the call's number in the trace
    const std::string* what = nullptr;  // callInto's, alive as long as the frame
    std::size_t firstReply = 0;         // replies numbered from here on are this call's
    // The command level this call's commands are sent at, once it sent one:
    // the text of its last command stays in that level's buffer while the
    // call is on the stack, as only this call sends at that level then.
    int commandLevel = -1;
    std::vector<Delivery> deferred;
  };
  struct Finding {
    Severity severity;
    std::string message;
    bool note;
  };

  // What a call runs: a view of a callable (the lambda at the call site),
  // which outlives the call. Made for every call into a script, so it
  // neither copies nor allocates, as a std::function of a lambda that
  // captures more than two references would.
  class CallBody {
   public:
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, CallBody>>>
    CallBody(F&& body)  // NOLINT(google-explicit-constructor): a lambda converts
        : body_(const_cast<void*>(static_cast<const void*>(&body))),
          run_([](void* callable) { (*static_cast<std::remove_reference_t<F>*>(callable))(); }) {}
    void operator()() const { run_(body_); }

   private:
    void* body_;
    void (*run_)(void* body);
  };
  // Runs `body`, the call `call`, inside a frame for `script`, traced as
  // `what`, then checks the replies it left held and delivers what was
  // deferred to its end. Returns the call's number in the trace.
  int callInto(Script& script, const HostCall& call, const std::string& what, CallBody body);
  // "#<entry> <what>": how messages name a call. Made only for a message,
  // and for the observers in one reused string.
  static void appendContext(std::string& out, int entry, const std::string& what);
  static std::string contextOf(int entry, const std::string& what);
  static std::string contextOf(const Frame& frame) { return contextOf(frame.entry, *frame.what); }
  // Reports the replies handed out during `done` that are still held.
  void checkHeldReplies(const Frame& done);
  // Why `object` cannot be a new script, or nothing.
  std::optional<std::string> implausibleScript(const drez_client_callback* object,
                                               const Script& created) const;
  // The chain of calls and commands that leads to the current call.
  std::string chain() const;
  // The nesting at which entries are traced: calls and the commands inside
  // them each add one.
  int depth() const { return static_cast<int>(frames_.size()) + commands_active_; }
  // A call that expects no result got one.
  void checkResult(const char* result);
  // Delivers `queued`: as it is, or read again from the device when it
  // answers a poll or the script was already told of a newer state.
  void deliver(const Delivery& queued);
  void broadcast(const Device& device, int32_t index);
  // The state of `index` of `device` now, as a delivery; the same into
  // `delivery`, whose room is used again.
  Delivery update(const Device& device, int32_t index);
  void update(const Device& device, int32_t index, Delivery& delivery);

  intptr_t executeCommand(const char* text);
  void releaseReply(const char* reply);
  // Parses `text` (with the level's `buffers`), which `sender` (null: no
  // script is in a call) sent and whose row of the vocabulary is
  // `definition` (null for none), executes it and traces it; true when
  // it succeeded, with its reply in `buffers.reply` for a command that
  // carries one; false when it failed.
  struct CommandBuffers;
  bool respond(Script* sender, const std::string& text, const drez_command_row* definition,
               CommandBuffers& buffers);
  // Delivers what the command made the studio send, and fires its trigger.
  void afterExecute(const std::string& text);
  // Delivers now, or at the end of the current call when the script cannot
  // be reached or the delivery mode is queued.
  void dispatch(const Delivery& delivery);
  // Executes `command` for `sender` through its behaviour, the learner (if
  // any) learning from it first.
  bool execute(Script& sender, const HostCommand& command, std::string& reply);
  // A command with recorded answers: only the script's own state follows it.
  void keepTrack(Script& sender, const HostCommand& command);
  // The behaviours.
  bool ignore(Script& sender, const HostCommand& command, std::string& reply);
  bool loadPanel(Script& sender, const HostCommand& command, std::string& reply);
  bool setProperty(Script& sender, const HostCommand& command, std::string& reply);
  bool getProperty(Script& sender, const HostCommand& command, std::string& reply);
  bool lookUp(Script& sender, const HostCommand& command, std::string& reply);
  bool listControls(Script& sender, const HostCommand& command, std::string& reply);
  bool setOutput(Script& sender, const HostCommand& command, std::string& reply);
  bool registerRange(Script& sender, const HostCommand& command, std::string& reply);
  bool unregister(Script& sender, const HostCommand& command, std::string& reply);
  bool poll(Script& sender, const HostCommand& command, std::string& reply);
  bool endEvent(Script& sender, const HostCommand& command, std::string& reply);
  bool endEventQuietly(Script& sender, const HostCommand& command, std::string& reply);
  bool detach(Script& sender, const HostCommand& command, std::string& reply);
  // Takes event id `id` off the script's unacknowledged ones; false when it
  // was not there.
  bool acknowledge(Script& sender, int32_t id);
  // The panel the command names, loaded; a warning and null otherwise.
  Panel* loadedPanel(const HostCommand& command);
  // The control the command names on that panel; a warning and null otherwise.
  Control* addressedControl(const HostCommand& command);
  // The device the command names, if it is of the kind the command names;
  // a warning and null otherwise.
  Device* deviceFor(const HostCommand& command);
  void warn(const std::string& message) {
    findings_.push_back({Severity::Warning, message, false});
  }
  void fail(const std::string& message) { findings_.push_back({Severity::Error, message, false}); }
  void note(const std::string& message) { findings_.push_back({Severity::Warning, message, true}); }

  Script* current();
  Script* findScript(int id);
  std::string context() const;

  // Traces the debug lines written since the last take; `flush` takes an
  // unfinished last line too.
  void takeDebugLines(bool flush);

  Installation& installation_;
  ReplyLedger ledger_;
  DebugChannel* debug_ = nullptr;
  InstallationLearner* learner_ = nullptr;
  RecordedAnswers* recorded_ = nullptr;
  intptr_t recorded_result_ = 0;  // of the command being executed
  std::size_t debug_lines_ = 0;
  // The host's own thread, and what arrived from any other.
  const std::thread::id thread_ = std::this_thread::get_id();
  std::mutex foreign_mutex_;
  std::size_t foreign_commands_ = 0;
  std::string first_foreign_command_;
  // Some arrived since the last report: checked without the lock.
  std::atomic<bool> foreign_arrived_{false};
  // The outermost call in progress: its commands, and whether it ran away.
  bool in_outermost_ = false;
  // The host's own operations still delivering (a create's start-up
  // answers, a change delivered script by script): observers hear
  // hostSettled() once the outermost of them is over.
  int busy_ = 0;
  class Busy;
  void settled();
  std::size_t outermost_commands_ = 0;
  std::size_t max_commands_ = kDefaultMaxCommands;
  bool runaway_ = false;
  CommandWindow sent_{kWindowLimit};  // since the last takeCommands
  Trace& trace_;
  Validator& validator_;
  PollDelivery polls_ = PollDelivery::Reentrant;
  bool answer_lookups_ = true;
  std::vector<std::unique_ptr<Script>> scripts_;
  int next_id_ = 1;
  bool rejected_ = false;
  std::vector<Frame> frames_;
  int commands_active_ = 0;  // commands being executed, nested
  // A command's text and its parse, one pair per nesting level, each held
  // by pointer, so that a deeper level added does not move the ones in use
  // and finding one is an index. The first
  // levels keep the parses of the texts sent before; a deeper one, rare,
  // parses each text into one command, and holds no cache's memory.
  struct CommandBuffers {
    static constexpr std::size_t kCachedLevels = 4;
    explicit CommandBuffers(std::size_t level) : cached(level < kCachedLevels) {}
    // The parse of `text`, valid until the level's next command; null, with
    // `*error` set, for a text that does not parse.
    const HostCommand* parse(std::string_view text, std::string* error) {
      if (cached) return parses.parse(text, error);
      return parseHostCommand(text, parsed, error) ? &parsed : nullptr;
    }
    bool cached;
    std::string text;
    std::string reply;  // the reply to `text`, for a command that carries one
    std::string error;  // why `text` does not parse
    CommandCache parses;
    HostCommand parsed;
  };
  std::vector<std::unique_ptr<CommandBuffers>> command_buffers_;
  // What a call about to be made is built in, one per depth of calls (held
  // by pointer, for the same reasons): the description of a call the host
  // makes itself, and a device update it broadcasts.
  struct CallBuffers {
    std::string what;
    std::string request;  // the script's own copy of a request's text
    Delivery delivery;
  };
  std::vector<std::unique_ptr<CallBuffers>> call_buffers_;
  // This depth's buffers, their room kept and their contents the caller's to set.
  CallBuffers& callBuffers();
  std::string call_context_;  // the context the observers are told, room reused
  int max_depth_ = kDefaultMaxDepth;
  // Deliveries refused because the calls nested too deeply, during the
  // host's current call; 0 when none.
  std::size_t too_deep_ = 0;
  std::vector<HostObserver*> observers_;
  std::vector<Finding> findings_;  // of the command being executed
  std::vector<Delivery> answers_;  // of the poll being executed
  uint64_t states_read_ = 0;       // the `made` of the last delivery read
  std::vector<Delivery> startup_;  // deferred to the end of the export
  struct Trigger {
    std::size_t order = 0;
    std::function<void()> change;
  };
  std::map<std::string, std::deque<Trigger>> triggers_;  // by command text
  std::size_t triggers_set_ = 0;
  std::function<void()> next_command_trigger_;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SIMULATOR_SIMULATED_HOST_H_
