// The command vocabulary of drez_script_helper.

#include <cstring>
#include <initializer_list>
#include <memory>

#include "drez_debug_output.h"
#include "drez_script_helper.h"
#include "numeric_command.h"

namespace {

// One piece of a text command, with its length known before joining: a
// drez_string keeps its length, and a literal's folds at compile time.
struct Piece {
  Piece(const drez_string& text) : text(text), length(text.length()) {}  // NOLINT: implicit
  Piece(const char* text) : text(text), length(std::strlen(text)) {}     // NOLINT: implicit
  const char* text;
  std::size_t length;
};

// A text command joined from pieces in one pass, into one heap block of
// exactly its length: no growing, no second scan of a piece.
class CommandText {
 public:
  explicit CommandText(std::initializer_list<Piece> pieces) {
    std::size_t total = 0;
    for (const Piece& piece : pieces) total += piece.length;
    text_.reset(new char[total + 1]);
    char* out = text_.get();
    for (const Piece& piece : pieces) {
      std::memcpy(out, piece.text, piece.length);
      out += piece.length;
    }
    *out = '\0';
  }

  const char* text() const { return text_.get(); }

 private:
  std::unique_ptr<char[]> text_;
};

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
  const CommandText text({"PS '", panel, "' '", with_path ? Piece(path) : Piece(""),
                          with_path ? "/" : "", file, "'", with_extra ? " '" : "",
                          with_extra ? Piece(extra) : Piece(""), with_extra ? "'" : ""});
  if (host == nullptr) return true;
  return execute(text.text()) != 0;
}

void drez_script_helper::setControlProperty(const drez_string& property, const drez_string& value,
                                            const drez_string& panel, const drez_string& control) {
  if (host == nullptr) return;
  execute(CommandText({"TP '", property, "=", value, "' '", panel, "' '", control, "'"}).text());
}

void drez_script_helper::getControlProperty(const drez_string& property, const drez_string& panel,
                                            const drez_string& control, drez_string& result) {
  if (host == nullptr) {
    result = drez_string();
    return;
  }
  HeldReply reply(
      host, execute(CommandText({"TG '", panel, "' '", control, "' '", property, "'"}).text()));
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
  NumericCommand text("GS");
  text << device << index << state << (flag ? 1 : 0);
  execute(text.text());
}

void drez_script_helper::registerInfodriver(int32_t device, int32_t first, int32_t last, bool add) {
  if (host == nullptr) return;
  NumericCommand text("IR");
  text << device << first << last;
  if (add) text.addSuffix();
  execute(text.text());
}

void drez_script_helper::unregisterInfodriver(int32_t device) {
  if (host == nullptr) return;
  NumericCommand text("IU");
  text << device;
  execute(text.text());
}

void drez_script_helper::pollInfodriver(int32_t device, int32_t first, int32_t last) {
  if (host == nullptr) return;
  NumericCommand text("IP");
  text << device << first << last;
  execute(text.text());
}

void drez_script_helper::registerRouter(int32_t device, int32_t first, int32_t last, bool add) {
  if (host == nullptr) return;
  NumericCommand text("RR");
  text << device << first << last;
  if (add) text.addSuffix();
  execute(text.text());
}

void drez_script_helper::unregisterRouter(int32_t device) {
  if (host == nullptr) return;
  NumericCommand text("RU");
  text << device;
  execute(text.text());
}

void drez_script_helper::pollRouter(int32_t device, int32_t first, int32_t last) {
  if (host == nullptr) return;
  NumericCommand text("RP");
  text << device << first << last;
  execute(text.text());
}

void drez_script_helper::endEvent(int32_t id) {
  if (host == nullptr) return;
  NumericCommand text("ET");
  text << id;
  execute(text.text());
}

void drez_script_helper::detachFromHost() { execute("AS"); }

void drez_script_helper::debugMessage(const drez_string& format, const drez_string& v1,
                                      const drez_string& v2, const drez_string& v3,
                                      const drez_string& v4, const drez_string& v5,
                                      const drez_string& v6, const drez_string& v7,
                                      const drez_string& v8, const drez_string& v9) {
  const drez_string* values[] = {&v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, &v9};
  drez_debug_output(format.args(values, 9));
}
