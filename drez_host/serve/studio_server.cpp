#include "serve/studio_server.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <chrono>

#include "serve/page_actions.h"
#include "serve/state_json.h"
#include "serve/web_assets.h"

namespace drezhost {

namespace {

void answer(httplib::Response& response, int status, const nlohmann::json& body) {
  response.status = status;
  response.set_content(dumpJson(body), "application/json");
}

void refuse(httplib::Response& response, int status, const std::string& message) {
  answer(response, status, {{"error", message}});
}

void readOnly(httplib::Response& response) {
  refuse(response, 405, "a capture is shown read-only: nothing changes it");
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// True when the request's Content-Type is `kind`, with or without parameters.
bool typed(const httplib::Request& request, const char* kind) {
  const std::string type = lowered(request.get_header_value("Content-Type"));
  return type == kind || type.rfind(std::string(kind) + ";", 0) == 0;
}

// A call number as the query gives it: decimal digits only.
std::optional<std::size_t> decimal(const std::string& text) {
  std::size_t value = 0;
  if (text.empty() || text.size() > 18 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

StudioServer::StudioServer(StudioChannel& channel)
    : channel_(channel), http_(std::make_unique<httplib::Server>()) {
  routes();
}

StudioServer::~StudioServer() = default;

bool StudioServer::allowed(const std::string& host) const {
  return anyHost_ || std::find(hosts_.begin(), hosts_.end(), lowered(host)) != hosts_.end();
}

int StudioServer::bind(const std::string& address, int port) {
  const int bound = port == 0 ? http_->bind_to_any_port(address)
                              : (http_->bind_to_port(address, port) ? port : -1);
  if (bound < 0) return -1;
  const std::string suffix = ":" + std::to_string(bound);
  anyHost_ = address == "0.0.0.0" || address == "::" || address == "[::]";
  const std::string named =
      address.find(':') != std::string::npos && address[0] != '[' ? "[" + address + "]" : address;
  hosts_ = {"127.0.0.1" + suffix, "localhost" + suffix, "[::1]" + suffix, lowered(named) + suffix};
  return bound;
}

void StudioServer::serve() { http_->listen_after_bind(); }

void StudioServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  http_->stop();
}

void StudioServer::publish(const std::string& state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    ++version_;
  }
  changed_.notify_all();
}

void StudioServer::routes() {
  httplib::Server& http = *http_;
  http.set_payload_max_length(kMaxBody);
  http.set_default_headers({{"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", "nosniff"},
                            {"X-Frame-Options", "DENY"},
                            {"Content-Security-Policy",
                             "default-src 'self'; frame-ancestors 'none'; form-action 'none'"}});

  // Every request: this server's own name; every POST: the page's own origin.
  http.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        const std::string host = request.get_header_value("Host");
        if (!allowed(host)) {
          refuse(response, 403, "this server does not answer to the host name '" + host + "'");
          return httplib::Server::HandlerResponse::Handled;
        }
        if (request.method == "POST" && request.has_header("Origin") &&
            request.get_header_value("Origin") != "http://" + host) {
          refuse(response, 403,
                 "a POST from the origin '" + request.get_header_value("Origin") +
                     "' is refused: only the studio's own page may drive it");
          return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });
  // What the server refuses by itself (a body over the limit, an unknown
  // path) gets a message too.
  http.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 400 && request.method == "POST" &&
        !request.has_header("Content-Length") && !request.has_header("Transfer-Encoding")) {
      // The HTTP library reads no body it was not told the length of.
      refuse(response, 400,
             "a POST needs the length of its body: send Content-Length (0 for an empty one; "
             "curl -X POST -d '')");
    } else if (response.status == 400) {
      refuse(response, 400, "the request could not be read as HTTP");
    } else if (response.status == 413) {
      refuse(response, 413,
             "the body is over " + std::to_string(kMaxBody) + " bytes: send one scenario line");
    } else if (response.status == 404) {
      refuse(response, 404, "no such page");
    } else {
      refuse(response, response.status, "the request was refused");
    }
  });
  http.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, const std::exception_ptr& error) {
        try {
          std::rethrow_exception(error);
        } catch (const StudioUnavailable& unavailable) {
          refuse(response, 503, unavailable.what());
        } catch (const std::exception& failure) {
          refuse(response, 500, failure.what());
        } catch (...) {
          refuse(response, 500, "unexpected failure");
        }
      });

  http.Get(R"(/|/index\.html|/studio\.css|/studio\.js|/timeline\.js)",
           [](const httplib::Request& request, httplib::Response& response) {
             const WebAsset* asset = webAsset(request.path);
             response.set_content(asset->body, asset->contentType);
           });

  http.Get("/api/state", [this](const httplib::Request& request, httplib::Response& response) {
    if (timeline_ != nullptr) {
      const std::size_t total = timeline_->calls().size();
      std::size_t call = total;
      if (request.has_param("call")) {
        const std::optional<std::size_t> asked = decimal(request.get_param_value("call"));
        if (!asked) {
          return refuse(response, 400,
                        "call=" + request.get_param_value("call") +
                            " is no call number: give one from 1 to " + std::to_string(total));
        }
        if (*asked < 1 || *asked > total) {
          return refuse(response, 404,
                        "the capture has no call " + request.get_param_value("call") +
                            ": its calls are 1 to " + std::to_string(total));
        }
        call = *asked;
      }
      return response.set_content(captureState(call), "application/json");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    response.set_content(state_, "application/json");
  });

  http.Get("/api/session", [this](const httplib::Request&, httplib::Response& response) {
    std::string session;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      session = nlohmann::json::parse(state_).value("session", "");
    }
    response.set_header("Content-Disposition", "attachment; filename=\"session.scn\"");
    response.set_content(session, "text/plain; charset=utf-8");
  });

  http.Post("/api/step", [this](const httplib::Request& request, httplib::Response& response) {
    if (timeline_ != nullptr) return readOnly(response);
    auto is = [&request](const char* kind) { return typed(request, kind); };
    std::string line = request.body;
    bool action = false;
    if (is("application/json")) {
      // A page action: the scenario writer makes its line.
      try {
        line = actionLine(nlohmann::json::parse(request.body));
        action = true;
      } catch (const std::exception& failure) {
        return refuse(response, 400, failure.what());
      }
    } else if (!is("text/plain")) {
      return refuse(response, 415,
                    "a step is sent as text/plain, or an action as application/json, not '" +
                        request.get_header_value("Content-Type") + "'");
    }
    // One line: a final line feed is allowed.
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_of("\r\n") != std::string::npos)
      return refuse(response, 400, "send one scenario line at a time");
    if (line.find('\0') != std::string::npos)
      return refuse(response, 400, "a scenario line holds no NUL character");
    forward(dumpJson({{"op", "step"}, {"line", line}, {"action", action}}), response);
  });

  // An empty POST, as a page or curl -X POST sends it, is a restart. It
  // reads no body, so it takes none that says it holds something to read
  // (JSON, a file): only the types a page or curl sends an empty one as.
  http.Post("/api/restart", [this](const httplib::Request& request, httplib::Response& response) {
    if (timeline_ != nullptr) return readOnly(response);
    if (request.has_header("Content-Type") && !typed(request, "text/plain") &&
        !typed(request, "application/x-www-form-urlencoded")) {
      return refuse(response, 415,
                    "a restart takes no body: send it empty, as text/plain, not '" +
                        request.get_header_value("Content-Type") + "'");
    }
    forward(dumpJson({{"op", "restart"}}), response);
  });

  http.Get("/api/events", [this](const httplib::Request&, httplib::Response& response) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (streams_ >= kMaxStreams) return refuse(response, 503, "too many event streams are open");
      ++streams_;
    }
    auto sent = std::make_shared<int64_t>(-1);
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, sent](std::size_t, httplib::DataSink& sink) {
          std::unique_lock<std::mutex> lock(mutex_);
          // A comment every 15 s finds a reader that has gone away.
          changed_.wait_for(lock, std::chrono::seconds(15),
                            [&] { return stopping_ || version_ != *sent; });
          if (stopping_) return false;
          std::string event = ": still here\n\n";
          if (version_ != *sent) {
            event = "event: state\ndata: " + state_ + "\n\n";
            *sent = version_;
          }
          lock.unlock();
          return sink.is_writable() && sink.write(event.data(), event.size());
        },
        [this](bool) {
          std::lock_guard<std::mutex> lock(mutex_);
          --streams_;
        });
  });
}

void StudioServer::showCapture(const CaptureTimeline* timeline, const nlohmann::json& frame) {
  timeline_ = timeline;
  frame_ = frame;
  captureRoutes();
  publish(captureState(timeline->calls().size()));
}

std::string StudioServer::captureState(std::size_t call) const {
  nlohmann::json state = frame_;
  state.update(timeline_->stateAfter(call));
  return dumpJson(state);
}

void StudioServer::captureRoutes() {
  http_->Get("/api/capture", [this](const httplib::Request& request, httplib::Response& response) {
    const std::vector<TimelineCall>& calls = timeline_->calls();
    std::size_t from = 1;
    std::size_t count = kCallsPerPage;
    for (const auto& [name, value] : {std::pair<const char*, std::size_t*>{"from", &from},
                                      std::pair<const char*, std::size_t*>{"count", &count}}) {
      if (!request.has_param(name)) continue;
      const std::optional<std::size_t> given = decimal(request.get_param_value(name));
      if (!given) {
        return refuse(response, 400,
                      std::string(name) + "=" + request.get_param_value(name) +
                          " is no number: give a decimal number");
      }
      *value = *given;
    }
    if (from < 1 || (from > calls.size() && !(from == 1 && calls.empty()))) {
      return refuse(response, 404,
                    "the capture has no call " + std::to_string(from) + ": its calls are 1 to " +
                        std::to_string(calls.size()));
    }
    count = std::min(count, kCallsPerPage);
    nlohmann::json page = nlohmann::json::array();
    for (std::size_t k = from - 1; k < calls.size() && k < from - 1 + count; ++k) {
      page.push_back(timeline_->callJson(calls[k]));
    }
    nlohmann::json differing = nlohmann::json::array();
    for (const TimelineCall& call : calls) {
      if (!call.differences.empty()) differing.push_back(call.index);
    }
    answer(response, 200,
           {{"calls", page}, {"total", calls.size()}, {"from", from}, {"differing", differing}});
  });
}

void StudioServer::forward(const std::string& request, httplib::Response& response) {
  const nlohmann::json reply = nlohmann::json::parse(channel_.call(request));
  const int status = reply.value("status", 500);
  if (status != 200) return refuse(response, status, reply.value("error", "refused"));
  answer(response, 200, reply.value("body", nlohmann::json::object()));
}

}  // namespace drezhost
