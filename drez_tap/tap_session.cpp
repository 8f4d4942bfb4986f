#include "tap_session.h"

#include <utility>

#include "tap_config.h"
#include "tap_debug.h"

namespace dreztap {

namespace fs = std::filesystem;

TapSession::~TapSession() {
  core_.reset();
  if (writer_ != nullptr) writer_->flush();
  recorder_.reset();
  writer_.reset();
  file_.reset();
  library_.reset();
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
  if (!readWholeFile(ini, &text, &error)) {
    (DebugLine() << "cannot read the configuration " << ini_name_.c_str() << " (" << error.c_str()
                 << "); the host gets no script")
        .send();
    return false;
  }
  TapConfig config = parseTapConfig(text, ini_name_);
  for (const std::string& problem : config.problems) (DebugLine() << problem.c_str()).send();
  if (config.script.empty()) {
    (DebugLine() << ini_name_.c_str() << " names no script= library; the host gets no script")
        .send();
    return false;
  }

  const fs::path library_path = configuredPath(config.script, folder_);
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
  const std::string started = startTimeText();
  const fs::path wanted = configuredPath(expandCaptureName(pattern, processId(), started), folder_);
  auto file = std::make_unique<CaptureFile>();
  fs::path actual;
  std::string error;
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

void TapSession::recordingStopped(void* context, drezcapture::CaptureWriter::State state) {
  const TapSession& session = *static_cast<const TapSession*>(context);
  if (state == drezcapture::CaptureWriter::State::kFailed) {
    (DebugLine() << "cannot write the capture " << session.capture_name_.c_str() << " ("
                 << session.file_->lastError() << "); recording stopped, forwarding goes on")
        .send();
  } else {
    (DebugLine() << "the capture " << session.capture_name_.c_str() << " reached max_bytes="
                 << session.writer_->maxBytes() << "; recording stopped, forwarding goes on")
        .send();
  }
}

drez_client_callback* TapSession::create(drez_client_host* host, const char* path) {
  try {
    if (core_ == nullptr && !loadRealLibrary()) return nullptr;
    drez_client_callback* const script = core_->create(host, path);
    if (script == nullptr) {
      (DebugLine() << library_name_.c_str() << ": load_drez_client_script returned null").send();
    }
    return script;
  } catch (...) {
    (DebugLine() << "the export failed (out of memory?); the host gets no script").send();
    return nullptr;
  }
}

}  // namespace dreztap
