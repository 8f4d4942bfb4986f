#include "serve/studio_server.h"

#include <httplib.h>

#include <algorithm>
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

nlohmann::json linesJson(const std::vector<TraceLine>& lines) {
  nlohmann::json array = nlohmann::json::array();
  for (const TraceLine& line : lines)
    array.push_back(
        {{"number", line.number}, {"text", line.text}, {"kind", lineKindName(line.kind)}});
  return {{"lines", array}};
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

StudioServer::StudioServer(HostThread& host, StudioSession& session)
    : host_(host), session_(session), http_(std::make_unique<httplib::Server>()) {
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

void StudioServer::publish() {
  std::string state = dumpJson(session_.state());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = std::move(state);
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
  http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 413) {
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
        } catch (const HostStopped& stopped) {
          refuse(response, 503, stopped.what());
        } catch (const std::exception& failure) {
          refuse(response, 500, failure.what());
        } catch (...) {
          refuse(response, 500, "unexpected failure");
        }
      });

  http.Get(R"(/|/index\.html|/studio\.css|/studio\.js)",
           [](const httplib::Request& request, httplib::Response& response) {
             const WebAsset* asset = webAsset(request.path);
             response.set_content(asset->body, asset->contentType);
           });

  http.Get("/api/state", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(host_.call([this] { return dumpJson(session_.state()); }),
                         "application/json");
  });

  http.Get("/api/session", [this](const httplib::Request&, httplib::Response& response) {
    response.set_header("Content-Disposition", "attachment; filename=\"session.scn\"");
    response.set_content(host_.call([this] { return session_.sessionText(); }),
                         "text/plain; charset=utf-8");
  });

  http.Post("/api/step", [this](const httplib::Request& request, httplib::Response& response) {
    const std::string type = lowered(request.get_header_value("Content-Type"));
    auto is = [&type](const char* kind) {
      return type == kind || type.rfind(std::string(kind) + ";", 0) == 0;
    };
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
    std::string error;
    const nlohmann::json result = host_.call([this, &line, &error, action] {
      try {
        nlohmann::json lines = linesJson(session_.step(line));
        lines["inBlock"] = session_.inBlock();
        lines["line"] = line;
        if (action && line.rfind("request ", 0) == 0) {
          const std::optional<std::string>& reply = session_.lastReply();
          lines["reply"] = reply ? nlohmann::json(*reply) : nlohmann::json();
        }
        publish();
        return lines;
      } catch (const ScenarioError& failure) {
        error = failure.what();
        return nlohmann::json();
      }
    });
    if (!error.empty()) return refuse(response, 400, error);
    answer(response, 200, result);
  });

  http.Post("/api/restart", [this](const httplib::Request&, httplib::Response& response) {
    std::string error;
    const nlohmann::json result = host_.call([this, &error] {
      nlohmann::json lines;
      try {
        lines = linesJson(session_.restart());
      } catch (const std::exception& failure) {  // LibraryError, ScenarioError
        error = failure.what();
      }
      publish();
      return lines;
    });
    if (!error.empty()) return refuse(response, 409, error);
    answer(response, 200, result);
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

}  // namespace drezhost
