#include "tap_session.h"

#include <exception>
#include <utility>

#include "tap_config.h"
#include "tap_debug.h"

namespace dreztap {

namespace fs = std::filesystem;

TapSession::~TapSession() {
  core_.reset();
  if (recorder_ != nullptr) {
    recorder_->close(DREZ_TAP_STACK_MARK());
  } else if (writer_ != nullptr) {
    writer_->close();
  }
  recorder_.reset();
  writer_.reset();
  file_.reset();
  library_.reset();
}

bool TapSession::prepare() {
  try {
    return loadRealLibrary();
  } catch (const std::exception&) {
    (DebugLine() << "the tap could not start (out of memory?); the host gets no script").send();
    return false;
  }
}

bool TapSession::readConfiguration(const fs::path& ini, std::string* text) {
  std::string bytes;
  std::string error;
  if (!readWholeFile(ini, &bytes, &error)) {
    (DebugLine() << "cannot read the configuration " << ini_name_.c_str() << " (" << error.c_str()
                 << "); the host gets no script")
        .send();
    return false;
  }
  DecodedConfig decoded = decodeConfigText(bytes);
  if (decoded.encoding == ConfigEncoding::kLegacy) {
    std::string read_as;
    *text = fromAnsiCodePage(decoded.text, &read_as);
    (DebugLine() << ini_name_.c_str() << " is not UTF-8: read " << read_as.c_str()).send();
    return true;
  }
  if (decoded.encoding != ConfigEncoding::kUtf8) {
    (DebugLine() << ini_name_.c_str() << " read as " << encodingName(decoded.encoding)).send();
  }
  *text = std::move(decoded.text);
  return true;
}

bool TapSession::loadRealLibrary() {
  std::string error;
  const fs::path own = ownLibraryPath(&error);
  if (own.empty()) {
    (DebugLine() << "cannot find the tap's own file (" << error.c_str()
                 << "); the host gets no script")
        .send();
    return false;
  }
  fs::path ini = own;
  ini.replace_extension(".tap.ini");
  folder_ = own.parent_path();
  ini_name_ = displayPath(ini);

  std::string text;
  if (!readConfiguration(ini, &text)) return false;
  TapConfig config = parseTapConfig(text, ini_name_);
  for (const std::string& problem : config.problems) (DebugLine() << problem.c_str()).send();
  if (config.script.empty()) {
    (DebugLine() << ini_name_.c_str() << " names no script= library; the host gets no script")
        .send();
    return false;
  }

  fs::path library_path;
  if (!configuredPath(config.script, folder_, &library_path, &error)) {
    (DebugLine() << ini_name_.c_str() << ": script=" << config.script.c_str() << " is "
                 << error.c_str() << "; the host gets no script")
        .send();
    return false;
  }
  library_name_ = displayPath(library_path);
  auto library = std::make_unique<LoadedLibrary>();
  if (!library->load(library_path, &error)) {
    (DebugLine() << "cannot load the panel library " << library_name_.c_str() << " ("
                 << error.c_str() << "); the host gets no script")
        .send();
    return false;
  }
  const load_drez_client_script_fn entry = library->exportedEntry();
  if (entry == nullptr) {
    (DebugLine() << library_name_.c_str()
                 << " does not export load_drez_client_script; the host gets no script")
        .send();
    return false;
  }
  switch (libraryKindOf(entry)) {
    case LibraryKind::kThisTap:
      (DebugLine() << ini_name_.c_str() << ": script=" << config.script.c_str()
                   << " names this tap itself (" << library_name_.c_str()
                   << "), not the real panel; the host gets no script")
          .send();
      return false;
    case LibraryKind::kTap:
      (DebugLine() << library_name_.c_str()
                   << " is a drez_tap too, not the real panel: taps in front of each other would "
                      "call each other without end; the host gets no script")
          .send();
      return false;
    case LibraryKind::kPanel:
      break;
  }
  library_ = std::move(library);
  openCapture(config.capture, config.maxBytes);
  core_ = std::make_unique<TapCore>(entry, recorder_.get());
  return true;
}

void TapSession::openCapture(const std::string& pattern, uint64_t maxBytes) {
  if (pattern.empty()) {
    (DebugLine() << ini_name_.c_str() << " names no capture= file; forwarding without recording")
        .send();
    return;
  }
  if (maxBytes < drezcapture::CaptureWriter::kLeastMaxBytes) {
    (DebugLine() << ini_name_.c_str() << ": max_bytes=" << maxBytes
                 << " leaves no room for a capture (it takes "
                 << drezcapture::CaptureWriter::kLeastMaxBytes
                 << " bytes at least); forwarding without recording")
        .send();
    return;
  }
  const std::string started = startTimeText();
  fs::path wanted;
  std::string error;
  if (!configuredPath(expandCaptureName(pattern, processId(), started), folder_, &wanted, &error)) {
    (DebugLine() << ini_name_.c_str() << ": capture=" << pattern.c_str() << " is " << error.c_str()
                 << "; forwarding without recording")
        .send();
    return;
  }
  auto file = std::make_unique<CaptureFile>();
  fs::path actual;
  if (!file->create(wanted, &actual, &error)) {
    (DebugLine() << "cannot create the capture " << displayPath(wanted).c_str() << " ("
                 << error.c_str() << "); forwarding without recording")
        .send();
    return;
  }
  capture_name_ = displayPath(actual);
  auto writer = std::make_unique<drezcapture::CaptureWriter>(*file, maxBytes);
  writer->setStopNotice(&TapSession::recordingStopped, this);
  file_ = std::move(file);
  writer_ = std::move(writer);
  recorder_ = std::make_unique<CallRecorder>(*writer_, &steadyMilliseconds);
  if (!writer_->writeHeader()) return;  // said by recordingStopped
  recorder_->begin(started.c_str(), static_cast<int64_t>(processId()), library_name_.c_str());
  if (writer_->recording()) {
    (DebugLine() << "recording " << library_name_.c_str() << " into " << capture_name_.c_str())
        .send();
  }
}

void TapSession::recordingStopped(void* context, drezcapture::CaptureWriter::StopReason reason,
                                  const char* text) {
  using Reason = drezcapture::CaptureWriter::StopReason;
  const TapSession& session = *static_cast<const TapSession*>(context);
  const char* const capture = session.capture_name_.c_str();
  switch (reason) {
    case Reason::kFailed:
      (DebugLine() << "cannot write the capture " << capture << " (" << session.file_->lastError()
                   << "); recording stopped, forwarding goes on")
          .send();
      break;
    case Reason::kLimit:
      (DebugLine() << "the capture " << capture << " reached max_bytes="
                   << session.writer_->maxBytes() << "; recording stopped, forwarding goes on")
          .send();
      break;
    case Reason::kCaller:
      (DebugLine() << "the capture " << capture << " stopped: " << text << "; forwarding goes on")
          .send();
      break;
    case Reason::kNoRoom:
      (DebugLine() << "max_bytes=" << session.writer_->maxBytes()
                   << " leaves no room for the capture " << capture
                   << "; forwarding without recording")
          .send();
      break;
  }
}

drez_client_callback* TapSession::create(drez_client_host* host, const char* path) {
  // Exports inside exports: the count starts again when an export is
  // entered no deeper than the outermost one, which has then ended.
  const CallRecorder::StackMark mark = DREZ_TAP_STACK_MARK();
  if (exports_ == 0 || mark >= outermost_export_) {
    exports_ = 0;
    outermost_export_ = mark;
    loop_refused_ = false;
  }
  if (exports_ >= kMaxNestedExports) {
    loop_refused_ = true;
    (DebugLine() << library_name_.c_str() << " called this tap's export again from inside its own, "
                 << kMaxNestedExports
                 << " deep: taps that load each other; the host gets no script")
        .send();
    return nullptr;
  }
  if (core_ == nullptr && !prepare()) return nullptr;
  ++exports_;
  drez_client_callback* const script = core_->create(host, path);
  --exports_;
  // A null the loop's refusal passed back up is said already.
  if (script == nullptr && !loop_refused_) {
    (DebugLine() << library_name_.c_str() << ": load_drez_client_script returned null").send();
  }
  if (exports_ == 0) loop_refused_ = false;
  return script;
}

}  // namespace dreztap
