#include "serve/studio_task.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "serve/state_json.h"
#include "serve/studio_session.h"

namespace drezhost {

namespace {

using nlohmann::json;

json linesJson(const std::vector<TraceLine>& lines) {
  json array = json::array();
  for (const TraceLine& line : lines) {
    array.push_back(
        {{"number", line.number}, {"text", line.text}, {"kind", lineKindName(line.kind)}});
  }
  return array;
}

std::string answer(int status, json body, const json& state) {
  json reply = {{"status", status}, {"state", state}};
  if (status == 200) {
    reply["body"] = std::move(body);
  } else {
    reply["error"] = std::move(body);
  }
  return dumpJson(reply);
}

std::string handle(StudioSession& session, const std::string& text) {
  json request;
  try {
    request = json::parse(text);
  } catch (const json::exception&) {
    return answer(400, "the studio was sent a request it cannot read", session.state());
  }
  const std::string op = request.value("op", "");
  try {
    if (op == "step") {
      const std::string line = request.value("line", "");
      json body = {{"lines", linesJson(session.step(line))}};
      body["inBlock"] = session.inBlock();
      body["line"] = line;
      if (request.value("action", false) && line.rfind("request ", 0) == 0) {
        const std::optional<std::string>& reply = session.lastReply();
        body["reply"] = reply ? json(*reply) : json();
      }
      return answer(200, std::move(body), session.state());
    }
    if (op == "restart") {
      json body = {{"lines", linesJson(session.restart())}};
      return answer(200, std::move(body), session.state());
    }
  } catch (const LibraryError& failure) {
    return answer(409, failure.what(), session.state());
  } catch (const ScenarioError& failure) {
    return answer(400, failure.what(), session.state());
  }
  return answer(400, "no request '" + op + "'", session.state());
}

}  // namespace

Verdict runTask(const tasks::Studio& studio, const TaskSettings& settings, ChildLink& link) {
  std::unique_ptr<StudioSession> session;
  std::string first;
  Verdict failed = Verdict::Passed;
  try {
    session = std::make_unique<StudioSession>(settings, link);
    session->start(studio.scenarioText, studio.scenarioName);
    first = answer(200, json::object(), session->state());
  } catch (const LibraryError& failure) {
    first = answer(409, failure.what(), json());
    failed = Verdict::BadInput;
  } catch (const ScenarioError& failure) {
    first = answer(400, failure.what(), session ? session->state() : json());
    failed = Verdict::BadInput;
  }
  if (failed != Verdict::Passed) {
    link.ask(messages::StudioAnswer{first});  // the parent reads how it went, and ends the studio
    if (session) session->finish();
    RunSummary summary;
    summary.verdict = failed;
    link.setSummary(summary);
    return failed;
  }
  std::optional<std::string> request = link.ask(messages::StudioAnswer{first});
  while (request) request = link.ask(messages::StudioAnswer{handle(*session, *request)});
  RunSummary summary;
  summary.verdict = session->finish();
  link.setSummary(summary);
  return summary.verdict;
}

}  // namespace drezhost
