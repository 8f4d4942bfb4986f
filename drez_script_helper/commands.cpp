// The command vocabulary of drez_script_helper.

#include "drez_debug_output.h"
#include "drez_script_helper.h"

namespace {

// A reply the host handed out: released exactly once, at release() or, if
// an exception comes first, on the way out.
class HeldReply {
 public:
  HeldReply(drez_client_host* host, intptr_t reply) : host_(host), reply_(reply) {}
  ~HeldReply() { release(); }
  HeldReply(const HeldReply&) = delete;
  HeldReply& operator=(const HeldReply&) = delete;

  const char* text() const { return reinterpret_cast<const char*>(reply_); }
  void release() {
    if (reply_ == 0) return;
    const char* reply = text();
    reply_ = 0;
    host_->command(reply, HOST_CMD_RELEASE);
  }

 private:
  drez_client_host* host_;
  intptr_t reply_;
};

}  // namespace

intptr_t drez_script_helper::execute(const char* text) {
  return host != nullptr ? host->command(text, HOST_CMD_EXECUTE) : 0;
}

bool drez_script_helper::loadPanel(const drez_string& panel, const drez_string& file,
                                   const drez_string& extra) {
  const bool with_path = path.length() > 0;
  const bool with_extra = extra.length() > 0;
  const CommandText text("PS '", panel, "' '", with_path ? CommandPiece(path) : CommandPiece(""),
                         with_path ? "/" : "", file, "'", with_extra ? " '" : "",
                         with_extra ? CommandPiece(extra) : CommandPiece(""),
                         with_extra ? "'" : "");
  if (host == nullptr) return true;
  return execute(text.text()) != 0;
}

void drez_script_helper::setControlProperty(const drez_string& property, const drez_string& value,
                                            const drez_string& panel, const drez_string& control) {
  if (host == nullptr) return;
  sendCommand(controlPropertyText(property, value, panel, control).text());
}

void drez_script_helper::getControlProperty(const drez_string& property, const drez_string& panel,
                                            const drez_string& control, drez_string& result) {
  if (host == nullptr) {
    result = drez_string();
    return;
  }
  HeldReply reply(host,
                  execute(CommandText("TG '", panel, "' '", control, "' '", property, "'").text()));
  if (reply.text() == nullptr) {
    result = drez_string();
    return;
  }
  const drez_string whole(reply.text());
  reply.release();

  if (property == "all") {
    result = whole;
    return;
  }
  drez_string returned_name;
  drez_string returned_value;
  whole.split('=', returned_name, returned_value);
  if (returned_name == property) {
    result = returned_value;
    return;
  }
  const drez_string none;
  debugMessage(
      "textGet: value returned \"%1\" was not the value requested \"%2\" (value returned was "
      "\"%3\" from control \"%4\", on panel \"%5\")",
      returned_name, property, whole, control, panel, none, none, none, none);
  result = drez_string();
}

// The name is taken by value, as the operation has always been declared.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool drez_script_helper::lookupDevice(drez_string name, int32_t* device, int32_t* offset) {
  if (device != nullptr) *device = 0;
  if (offset != nullptr) *offset = 0;
  if (host == nullptr) return false;
  HeldReply reply(host, execute(drez_string("SD '%1'").arg(name)));
  if (reply.text() == nullptr) return false;
  const decodeDREZString decoded(reply.text(), '\'');
  if (device != nullptr) *device = drez_string::toInt(decoded.tokens[0]);
  if (offset != nullptr) *offset = drez_string::toInt(decoded.tokens[1]);
  reply.release();
  return true;
}

drez_stringlist drez_script_helper::listControls(const drez_string& panel,
                                                 const drez_string& filter) {
  const drez_string* operands[] = {&panel, &filter};
  const drez_string text = drez_string("XI '%1' '%2'").args(operands, 2);
  if (host == nullptr) return drez_stringlist();
  HeldReply reply(host, execute(text));
  if (reply.text() == nullptr) return drez_stringlist();
  drez_stringlist controls(drez_string(reply.text()), ',');
  reply.release();
  return controls;
}

void drez_script_helper::setOutputState(int32_t device, uint8_t state, int32_t index, bool flag) {
  if (host == nullptr) return;
  sendCommand(outputStateText(device, state, index, flag).text());
}

NumericCommand drez_script_helper::outputStateText(int32_t device, uint8_t state, int32_t index,
                                                   bool flag) {
  NumericCommand text("GS");
  text << device << index << state << (flag ? 1 : 0);
  return text;
}

void drez_script_helper::registerInfodriver(int32_t device, int32_t first, int32_t last, bool add) {
  if (host == nullptr) return;
  NumericCommand text("IR");
  text << device << first << last;
  if (add) text.addSuffix();
  sendCommand(text.text());
}

void drez_script_helper::unregisterInfodriver(int32_t device) {
  if (host == nullptr) return;
  NumericCommand text("IU");
  text << device;
  sendCommand(text.text());
}

void drez_script_helper::pollInfodriver(int32_t device, int32_t first, int32_t last) {
  if (host == nullptr) return;
  NumericCommand text("IP");
  text << device << first << last;
  sendCommand(text.text());
}

void drez_script_helper::registerRouter(int32_t device, int32_t first, int32_t last, bool add) {
  if (host == nullptr) return;
  NumericCommand text("RR");
  text << device << first << last;
  if (add) text.addSuffix();
  sendCommand(text.text());
}

void drez_script_helper::unregisterRouter(int32_t device) {
  if (host == nullptr) return;
  NumericCommand text("RU");
  text << device;
  sendCommand(text.text());
}

void drez_script_helper::pollRouter(int32_t device, int32_t first, int32_t last) {
  if (host == nullptr) return;
  NumericCommand text("RP");
  text << device << first << last;
  sendCommand(text.text());
}

void drez_script_helper::endEvent(int32_t id) {
  if (host == nullptr) return;
  NumericCommand text("ET");
  text << id;
  sendCommand(text.text());
}

void drez_script_helper::detachFromHost() { sendCommand("AS"); }

void drez_script_helper::debugMessage(const drez_string& format, const drez_string& v1,
                                      const drez_string& v2, const drez_string& v3,
                                      const drez_string& v4, const drez_string& v5,
                                      const drez_string& v6, const drez_string& v7,
                                      const drez_string& v8, const drez_string& v9) {
  const drez_string* values[] = {&v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, &v9};
  drez_debug_output(format.args(values, 9));
}
