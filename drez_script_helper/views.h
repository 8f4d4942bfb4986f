// Views through which handlers read the host's records. Each is built on the
// dispatcher's stack for one call, holds one pointer that is never null, and
// must not be kept after the handler returns. Text accessors return copies,
// except DeviceUpdateView::recordText.

#ifndef DREZ_SCRIPT_HELPER_VIEWS_H_
#define DREZ_SCRIPT_HELPER_VIEWS_H_

#include <cstdint>

#include "drez_records.h"
#include "drez_string.h"

class DeviceUpdateView {
 public:
  explicit DeviceUpdateView(const DeviceUpdate* record) : record_(record) {}
  int device() const { return record_->device; }
  int index() const { return record_->index; }
  int number() const { return record_->number; }
  drez_string text() const { return drez_string(record_->text); }
  // The same text where the host's record holds it, without a copy: never
  // null, and valid only until the handler returns, like the view.
  const char* recordText() const { return record_->text; }

 private:
  const DeviceUpdate* record_;
};

class ControlEventView {
 public:
  explicit ControlEventView(const ControlEvent* record) : record_(record) {}
  drez_string controlId() const { return drez_string(record_->controlId); }
  // Name and value of the event's command; empty when it has none.
  drez_string commandName() const {
    return drez_string(record_->parsed != nullptr ? record_->parsed->name : nullptr);
  }
  drez_string commandValue() const {
    return drez_string(record_->parsed != nullptr ? record_->parsed->value : nullptr);
  }

 private:
  const ControlEvent* record_;
};

class HostRequest {
 public:
  explicit HostRequest(const ParsedCommand* parsed) : parsed_(parsed) {}
  drez_string name() const { return drez_string(parsed_->name); }
  drez_string value() const { return drez_string(parsed_->value); }
  // The whole parse, for scripts that read the dotted parts.
  const ParsedCommand& parsed() const { return *parsed_; }

 private:
  const ParsedCommand* parsed_;
};

class NotifyView {
 public:
  explicit NotifyView(void* data) : data_(data) {}
  // The value the host delivered, unread.
  void* data() const { return data_; }

 private:
  void* data_;
};

#endif  // DREZ_SCRIPT_HELPER_VIEWS_H_
