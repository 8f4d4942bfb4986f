"""drez-host serve's HTTP API against a served Studio A with Vantrel."""

import json
import os
import shutil
import subprocess
import signal
import tempfile
import threading
import time
import unittest
import urllib.request

from serve_support import (DREZ_HOST, TAMPERED, TRANSMISSION, ServedStudio, calls_of, control,
                           demo_capture, lamps, on_air_call, tampered_capture)

NO_EXPORT = os.environ["DREZ_NO_EXPORT"]
HOSTILE = os.environ["DREZ_HOSTILE"]
SCENARIOS = os.environ["DREZ_SCENARIOS"]
TALLY = "'RIR Tally Infodriver'"


class ServeApi(unittest.TestCase):
    def test_start_up_state_and_a_studio_change(self):
        with ServedStudio() as studio:
            state = studio.state()
            self.assertEqual(
                [(s["name"], s["registrations"]) for s in state["scripts"]],
                [("s1", ["IR 11 1 6", "RR 21 97 97", "RR 22 62 62"])])
            self.assertEqual([(d["name"], d["device"], d["kind"]) for d in state["devices"]],
                             [("RIR Tally Infodriver", 11, "infodriver"),
                              ("RIR SDI Router", 21, "router"), ("RIR Audio Router", 22, "router"),
                              ("Studio A Blue Lights", 31, "outputs")])
            self.assertEqual(lamps(state), [0] * 10)
            self.assertEqual(control(state, "StA_Floor")["colour"], "grey")
            self.assertEqual(state["counts"],
                             {"errors": 0, "expectationsNotMet": 0, "warnings": 0})

            status, answer = studio.step(f"set {TALLY} 1 2")
            self.assertEqual(status, 200, answer)
            texts = [line["text"] for line in answer["lines"]]
            self.assertIn("   46    GS 31 105 1 0", texts)
            state = studio.state()
            self.assertEqual(lamps(state), TRANSMISSION)
            self.assertEqual(control(state, "StA_Floor")["statesheet"], "QZ_Studio_TX")
            self.assertEqual(control(state, "StA_Floor")["colour"], "red")

            # The colour table: a scenario extends it; an unknown name has none.
            self.assertEqual(studio.step("statesheet QZ_Studio_TX green")[0], 200)
            self.assertEqual(studio.step("property StC_News statesheet Mystery")[0], 200)
            state = studio.state()
            self.assertEqual(control(state, "StA_Floor")["colour"], "green")
            self.assertIsNone(control(state, "StC_News")["colour"])

            # A failed expectation is counted and shown as a failure.
            status, answer = studio.step(f"expect lamps 'Studio A Blue Lights' {' 1' * 10}")
            self.assertEqual(status, 200)
            self.assertEqual({line["kind"] for line in answer["lines"]}, {"failure"})
            self.assertEqual(studio.state()["counts"]["expectationsNotMet"], 1)

            # The first event on the stream is the whole state.
            with urllib.request.urlopen(studio.url + "api/events", timeout=30) as events:
                self.assertEqual(events.readline(), b"event: state\n")
                data = events.readline().decode()
                self.assertEqual(json.loads(data[len("data: "):])["version"],
                                 studio.state()["version"])
            self.assertEqual(studio.stop(), 1)  # the expectation above failed
            self.assertIn("  AS", "\n".join(studio.output))

    def test_refuses_bad_input_and_changes_nothing(self):
        cases = [
            # (body, headers, status, part of the message)
            (f"set {TALLY} one 2", {}, 400, "expected a slot number (an integer), found 'one'"),
            ("set 'RIR Video Router' 1 2", {}, 400, "no device 'RIR Video Router'"),
            ("control StB_Floor pressed", {}, 400, "panel '1' has no control 'StB_Floor'"),
            (f"set {TALLY} 1 2\nset {TALLY} 1 0", {}, 400, "one scenario line"),
            ("x" * 5000, {}, 413, "over 4096 bytes"),
            ("include /etc/hostname", {}, 400, "the page cannot include a file"),
            ('{"step": "include", "file": "x.scn"}', {"Content-Type": "application/json"}, 400,
             "the page cannot include a file"),
            (f"set {TALLY} 1 2", {"Content-Type": "text/html"}, 415, "text/plain"),
            (f"set {TALLY} 1 2", {"Content-Type": "application/json"}, 400, "parse error"),
            ('{"step": "jump"}', {"Content-Type": "application/json"}, 400, "no action 'jump'"),
            ('{"step": "set", "slot": 1, "text": "x"}', {"Content-Type": "application/json"},
             400, "the text field 'infodriver'"),
            ('{"step": "set", "infodriver": "RIR Tally Infodriver", "slot": 1, "text": "a\\nb"}',
             {"Content-Type": "application/json"}, 400, "no scenario line can hold"),
            ('{"step": "event", "id": "soon"}', {"Content-Type": "application/json"}, 400,
             "expected an event id (an integer), found 'soon'"),
            (f"set {TALLY} 1 2", {"Origin": "http://elsewhere.example"}, 403,
             "only the studio's own page"),
            (f"set {TALLY} 1 2", {"Host": "rebound.example:80"}, 403, "host name"),
        ]
        with ServedStudio() as studio:
            before = studio.state()
            for body, headers, status, message in cases:
                with self.subTest(body=body[:40], headers=headers):
                    answer = studio.step(body, **headers)
                    self.assertEqual(answer[0], status, answer[1])
                    self.assertIn(message, answer[1]["error"])
            self.assertEqual(studio.state(), before)
            # The page's own origin may.
            self.assertEqual(studio.step(f"set {TALLY} 1 1", Origin=studio.url.rstrip("/"))[0], 200)
            self.assertEqual(studio.stop(), 0)

    def test_a_post_without_a_length_is_told_what_to_send(self):
        import http.client
        with ServedStudio() as studio:
            host, port = studio.url[len("http://"):].rstrip("/").split(":")
            connection = http.client.HTTPConnection(host, int(port), timeout=30)
            connection.putrequest("POST", "/api/restart")
            connection.endheaders()
            response = connection.getresponse()
            self.assertEqual(response.status, 400)
            self.assertIn("send Content-Length", json.loads(response.read())["error"])
            connection.close()
            self.assertEqual(studio.request("POST", "/api/restart", "")[0], 200)
            # A restart reads no body: one that says it holds JSON is refused.
            for kind, status in [("application/json", 415), ("text/html", 415),
                                 ("text/plain; charset=utf-8", 200),
                                 ("application/x-www-form-urlencoded", 200)]:
                with self.subTest(kind=kind):
                    answer = studio.request("POST", "/api/restart", "{}", {"Content-Type": kind})
                    self.assertEqual(answer[0], status, answer[1])
            self.assertIn("takes no body", studio.request(
                "POST", "/api/restart", "", {"Content-Type": "application/json"})[1])
            self.assertEqual(studio.stop(), 0)

    def test_page_actions_are_written_as_scenario_lines(self):
        def act(**action):
            return studio.step(json.dumps(action), **{"Content-Type": "application/json"})

        with ServedStudio() as studio:
            status, answer = act(step="set", infodriver="RIR Tally Infodriver", slot=1,
                                 text="it's a \"test\"")
            self.assertEqual(status, 200, answer)
            self.assertEqual(answer["line"], "set 'RIR Tally Infodriver' 1 'it's a \"test\"'")
            infodriver = studio.state()["infodrivers"][0]
            self.assertEqual(infodriver["slots"][0]["text"], "it's a \"test\"")
            status, answer = act(step="route", router="RIR SDI Router", destination="97",
                                 source=3)
            self.assertEqual(answer["line"], "route 'RIR SDI Router' 97 3")
            status, answer = act(step="control", control="StA_Floor", command="", panel="1")
            self.assertEqual(answer["line"], "control StA_Floor '' panel 1")
            status, answer = act(step="request", text="return=all")
            self.assertEqual(status, 200, answer)
            self.assertTrue(answer["reply"].startswith("myParam="), answer)
            status, answer = act(step="request", text="myParam=abc")
            self.assertIsNone(answer["reply"])
            self.assertEqual(act(step="event", id=5)[1]["line"], "event 5")
            # Any step of the language, its operands named as its usage names them.
            self.assertEqual(act(step="event", id=6, to="s1")[1]["line"], "event 6 to s1")
            self.assertEqual(act(step="expect commands", **{"from": "s1"})[1]["inBlock"], True)
            self.assertEqual(studio.step("  ET 6")[0], 200)
            self.assertEqual(studio.step("end")[0], 200)
            self.assertEqual(act(step="say", text="it's done")[1]["line"], "say it's done")
            self.assertEqual(act(step="notify", kind=7, value=1)[1]["line"], "notify 7 1")
            self.assertEqual(act(step="panelfile", file="extra.drez_ui",
                                 control=["a b", "c"])[1]["line"],
                             "panelfile extra.drez_ui 'a b' c")
            self.assertEqual(act(step="panelfile", file="x", control="a")[1]["error"],
                             "the action needs the list field 'control'")
            # The session replays: every line was written to read back as run.
            self.assertIn("set 'RIR Tally Infodriver' 1 'it's a \"test\"'\n",
                          studio.state()["session"])
            self.assertEqual(studio.stop(), 0)

    def test_restart_reloads_the_library_from_disk(self):
        with tempfile.TemporaryDirectory() as directory:
            library = os.path.join(directory, "libPanel.so")
            shutil.copy(os.environ["DREZ_SCRIPT"], library)
            with ServedStudio(script=library) as studio:
                # A library that no longer loads: the studio is left without a script.
                shutil.copy(NO_EXPORT, library + ".new")
                os.replace(library + ".new", library)
                status, body = studio.request("POST", "/api/restart", "")
                self.assertEqual(status, 409, body)
                self.assertIn("does not export load_drez_client_script", body)
                state = studio.state()
                self.assertEqual((state["scripts"], state["library"]["loaded"]), ([], False))
                status, answer = studio.step("create")
                self.assertEqual(status, 400)
                self.assertIn("no panel library is loaded", answer["error"])

                shutil.copy(os.environ["DREZ_SCRIPT"], library + ".new")
                os.replace(library + ".new", library)
                status, body = studio.request("POST", "/api/restart", "")
                self.assertEqual(status, 200, body)
                state = studio.state()
                self.assertEqual([s["registrations"] for s in state["scripts"]],
                                 [["IR 11 1 6", "RR 21 97 97", "RR 22 62 62"]])
                self.assertTrue(state["session"].endswith("create\ndelete s1\ncreate\n"))
                self.assertEqual(studio.stop(), 0)

    def test_a_scenario_builds_the_installation(self):
        scenario = os.path.join(SCENARIOS, "vantrel_shared_router_number.scn")
        with ServedStudio(scenario) as studio:
            state = studio.state()
            self.assertEqual([router["label"] for router in state["routers"]],
                             ["RIR SDI Router / RIR Audio Router"])
            self.assertEqual(state["counts"]["expectationsNotMet"], 0)

    def test_the_session_holds_the_steps_of_the_files_a_scenario_includes(self):
        with tempfile.TemporaryDirectory() as directory:
            os.mkdir(os.path.join(directory, "common"))
            with open(os.path.join(directory, "common", "on_air.scn"), "w") as file:
                file.write("set 'RIR Tally Infodriver' 1 2\n")
            scenario = os.path.join(directory, "main.scn")
            with open(scenario, "w") as file:
                file.write("include common/on_air.scn\nexpect property StA_Floor statesheet "
                           "QZ_Studio_TX\n")
            with ServedStudio(scenario) as studio:
                state = studio.state()
                self.assertEqual(state["counts"]["expectationsNotMet"], 0)
                self.assertIn("create\n# include common/on_air.scn: its steps follow\n"
                              "set 'RIR Tally Infodriver' 1 2\nexpect property", state["session"])
                self.assertEqual(studio.stop(), 0)

    def test_a_crash_shows_on_the_page_and_a_restart_brings_the_studio_back(self):
        with tempfile.TemporaryDirectory() as directory:
            scenario = os.path.join(directory, "crash.scn")
            with open(scenario, "w") as file:
                file.write("create path crash\n")
            with ServedStudio(scenario, "--timeout", "2", script=HOSTILE) as studio:
                status, answer = studio.step("event 13")
                self.assertEqual(status, 503, answer)
                self.assertIn("the studio crashed", answer["error"])
                state = studio.state()
                # A sanitizer ends a crashed process with its own exit status.
                died = ("the process ended with exit status"
                        if os.environ.get("DREZ_SANITIZED") == "ON" else "the process died of signal 11")
                self.assertIn("!! the script crashed: " + died, state["crashed"])
                self.assertIn("during step session.scn:", state["crashed"])
                self.assertEqual(studio.step("event 1")[0], 503)
                status, body = studio.request("POST", "/api/restart", "")
                self.assertEqual(status, 200, body)
                self.assertNotIn("crashed", studio.state())
                self.assertEqual(studio.step("event 1")[0], 200)
                self.assertEqual(studio.stop(), 3)  # the crash is the run's verdict
            self.assertIn("==== CRASHED: the studio", "\n".join(studio.output))

    def test_a_hang_is_ended_and_the_state_still_answers(self):
        with tempfile.TemporaryDirectory() as directory:
            scenario = os.path.join(directory, "hang.scn")
            with open(scenario, "w") as file:
                file.write("create path hang\n")
            with ServedStudio(scenario, "--timeout", "1", script=HOSTILE) as studio:
                answers = []
                step = threading.Thread(target=lambda: answers.append(studio.step("event 13")))
                step.start()
                time.sleep(0.3)
                self.assertEqual(studio.request("GET", "/api/state")[0], 200)  # while it hangs
                step.join(30)
                self.assertEqual(answers[0][0], 503, answers)
                self.assertIn("the script hung", studio.state()["crashed"])
                self.assertEqual(studio.stop(), 3)

    def test_sigterm_ends_a_script_that_ignores_it(self):
        with tempfile.TemporaryDirectory() as directory:
            scenario = os.path.join(directory, "stubborn.scn")
            with open(scenario, "w") as file:
                file.write("create path ignore-sigterm\n")
            with ServedStudio(scenario, script=HOSTILE) as studio:
                started = time.monotonic()
                studio.process.send_signal(signal.SIGTERM)
                code = studio.process.wait(30)
                self.assertLess(time.monotonic() - started, 10)
                self.assertEqual(code, 0)

    def test_sigterm_ends_serve_at_once_while_the_script_hangs_in_a_call(self):
        with tempfile.TemporaryDirectory() as directory:
            scenario = os.path.join(directory, "hang.scn")
            with open(scenario, "w") as file:
                file.write("create path hang\n")
            # The watchdog would wait a minute: only the stop may end the call.
            with ServedStudio(scenario, "--timeout", "60", script=HOSTILE) as studio:
                step = threading.Thread(target=lambda: studio.step("event 13"), daemon=True)
                step.start()
                time.sleep(0.5)
                started = time.monotonic()
                studio.process.send_signal(signal.SIGTERM)
                code = studio.process.wait(30)
                # Far below the three seconds it once gave a busy script; a
                # sanitized build gives its studio three seconds to end.
                self.assertLess(time.monotonic() - started,
                                5.5 if os.environ.get("DREZ_SANITIZED") == "ON" else 2.5)
                self.assertEqual(code, 3)
                studio.reader.join(10)
                self.assertIn("!! the script was stopped: drez-host was told to stop",
                              "\n".join(studio.output))

    def test_an_installation_without_lights_shows_none(self):
        with tempfile.TemporaryDirectory() as directory:
            installation = os.path.join(directory, "room.scn")
            with open(os.path.join(directory, "router.scn"), "w") as file:
                file.write("device router 'Room Router' 42 offset 40 destinations 60\n")
            with open(installation, "w") as file:
                file.write("device infodriver 'Room Tally' 41 slots 4\n"
                           "include router.scn\n"
                           "statesheet QZ_Room_ON green\n")
            with ServedStudio("--installation", installation) as studio:
                state = studio.state()
                # The installation file's colours beside those every studio knows.
                self.assertEqual(state["statesheets"]["QZ_Room_ON"], "green")
                self.assertEqual(state["statesheets"]["QZ_Studio_TX"], "red")
                self.assertEqual(state["lights"], [])
                self.assertEqual([d["name"] for d in state["devices"]],
                                 ["Room Tally", "Room Router"])
                self.assertEqual(state["placeholder"], "set 'Room Tally' 1 1")
                # The create serve adds names no scenario line.
                self.assertTrue(any(line["text"] == ">> create    (drez-host serve)"
                                    for line in state["trace"]), state["trace"])
                self.assertEqual(studio.stop(), 0)

    def test_a_refused_line_changes_nothing_not_even_the_tally(self):
        with ServedStudio() as studio:
            self.assertEqual(studio.step("expect property NoSuchControl text x")[0], 400)
            self.assertEqual(studio.step("set 'RIR Video Router' 1 2")[0], 400)
            self.assertEqual(studio.stop(), 0)
        tally = next(line for line in studio.output if line.startswith("==== PASSED"))
        self.assertIn(": 1 actions, 0 expectations", tally)

    def test_bad_command_lines(self):
        cases = [
            (["--port", "http"], "--port: Value http not in range 0 to 65535"),
            (["--port=70000"], "--port: Value 70000 not in range 0 to 65535"),
            (["--studio"], "unknown option '--studio'"),
            (["no_such.scn"], "cannot read the scenario file 'no_such.scn'"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                run = subprocess.run([DREZ_HOST, "serve", *arguments], capture_output=True,
                                     text=True, timeout=60)
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertIn(message, run.stderr)


class ServeCapture(unittest.TestCase):
    """serve --capture: the demo's capture through the tap, read-only."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.capture = demo_capture(cls.folder.name)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_calls_and_the_state_at_each(self):
        with open(self.capture, "rb") as file:
            before = file.read()
        with ServedStudio("--capture", self.capture, script=None) as studio:
            calls = calls_of(studio)
            self.assertEqual([call["index"] for call in calls], list(range(1, len(calls) + 1)))
            self.assertEqual(calls[0]["kind"], "export")
            self.assertEqual(calls[0]["commands"][0],
                             {"depth": 1, "kind": "command", "text": "PS '1' 'p1.drez_ui'",
                              "result": "1"})
            self.assertEqual(calls[-1]["kind"], "delete")
            self.assertTrue(all(call["differs"] is False for call in calls))
            on_air = on_air_call(calls)["index"]
            before_air = studio.request("GET", f"/api/state?call={on_air - 1}")
            after_air = studio.request("GET", f"/api/state?call={on_air}")
            self.assertEqual(before_air[0], 200)
            self.assertEqual(after_air[0], 200)
            before_air, after_air = json.loads(before_air[1]), json.loads(after_air[1])
            self.assertEqual(before_air["call"], on_air - 1)
            self.assertEqual(control(before_air, "StA_Floor")["statesheet"], "QZ_Studio_REH")
            self.assertEqual(control(after_air, "StA_Floor")["statesheet"], "QZ_Studio_TX")
            self.assertEqual(lamps(after_air), TRANSMISSION)
            # Without call=: after the last; the same shape as a live studio's.
            last = studio.state()
            self.assertEqual(last["call"], len(calls))
            self.assertEqual(last["scripts"], [])
            for key in ("devices", "lights", "panels", "routers", "infodrivers", "counts",
                        "library", "trace", "version", "capture"):
                self.assertIn(key, last)
            # Pages: a count, a start, and the limit.
            status, body = studio.request("GET", "/api/capture?from=3&count=2")
            self.assertEqual(status, 200)
            page = json.loads(body)
            self.assertEqual([call["index"] for call in page["calls"]], [3, 4])
            self.assertEqual(page["total"], len(calls))
        with open(self.capture, "rb") as file:
            self.assertEqual(file.read(), before, "serve --capture changed the capture")

    def test_refuses_what_it_cannot_answer_and_every_change(self):
        with ServedStudio("--capture", self.capture, script=None) as studio:
            total = len(calls_of(studio))
            cases = [
                ("GET", "/api/state?call=0", 404),
                ("GET", f"/api/state?call={total + 1}", 404),
                ("GET", "/api/state?call=99999999999999999", 404),
                ("GET", "/api/state?call=abc", 400),
                ("GET", "/api/state?call=-1", 400),
                ("GET", "/api/state?call=1e3", 400),
                ("GET", "/api/state?call=", 400),
                ("GET", "/api/capture?from=0", 404),
                ("GET", f"/api/capture?from={total + 1}", 404),
                ("GET", "/api/capture?count=x", 400),
                ("POST", "/api/step", 405),
                ("POST", "/api/restart", 405),
                ("GET", "/evil.js", 404),
            ]
            for method, path, code in cases:
                with self.subTest(method=method, path=path):
                    status, body = studio.request(method, path, "" if method == "POST" else None,
                                                  {"Content-Type": "text/plain"})
                    self.assertEqual(status, code, body)
                    self.assertIn("error", json.loads(body))
            # Another site's page, and a name that is not this server's.
            status, _ = studio.request("POST", "/api/step", "show",
                                       {"Content-Type": "text/plain",
                                        "Origin": "http://evil.example"})
            self.assertEqual(status, 403)
            status, _ = studio.request("GET", "/api/capture", None, {"Host": "evil.example"})
            self.assertEqual(status, 403)
            self.assertEqual(studio.state()["call"], total)

    def test_a_tampered_capture_has_its_differing_call_marked(self):
        tampered = tampered_capture(self.capture, self.folder.name)
        with ServedStudio("--capture", tampered) as studio:
            calls = calls_of(studio)
            marked = [call for call in calls if call["differs"]]
            self.assertEqual(len(marked), 1, marked)
            self.assertEqual(marked[0]["index"], on_air_call(calls)["index"])
            self.assertIn("QZ_Studio_TX", marked[0]["differences"][0])
            self.assertIn(TAMPERED, [line["text"] for line in marked[0]["commands"]])
            status, body = studio.request("GET", "/api/capture?count=1")
            self.assertEqual(json.loads(body)["differing"], [marked[0]["index"]])
            replay = studio.state()["capture"]["replay"]
            self.assertEqual(replay["differingCalls"], 1)

    def test_bad_command_lines(self):
        not_a_capture = os.path.join(self.folder.name, "not.capture")
        with open(not_a_capture, "w") as file:
            file.write("hello\n")
        cases = [
            (["--capture", "no_such.capture"], "no_such.capture"),
            (["--capture", not_a_capture], "not.capture"),
            (["--capture", self.capture, "x.scn"], "give one or the other"),
            (["--capture", self.capture, "--installation", "no_such.scn"], "no_such.scn"),
        ]
        for arguments, message in cases:
            with self.subTest(arguments=arguments):
                run = subprocess.run([DREZ_HOST, "serve", "--port", "0", *arguments],
                                     capture_output=True, text=True, timeout=60)
                self.assertEqual(run.returncode, 2, run.stdout + run.stderr)
                self.assertIn(message, run.stderr)


if __name__ == "__main__":
    unittest.main()
