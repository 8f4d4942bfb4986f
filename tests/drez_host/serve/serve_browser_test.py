"""drez-host serve in a real browser: headless Chromium, driven by Selenium.

A capture of the demo made through the tap, stepped through with the keys:
the call where the tally goes to transmission turns the statesheets and
the lamps; a tampered capture replayed against Vantrel has its differing
call marked, and n jumps to it.

A person's session: the floor pair follows the studio (slot 4 = 1), the
studio goes on air (slot 1 = 2), CAM 3 is routed to destination 97, the
panel is asked "return=all" and a control is clicked. The page must show
each change; the saved session must replay with drez-host to the same
trace. The screenshot is kept as a test artefact (DREZ_ARTEFACTS).
"""

import os
import tempfile
import unittest

from selenium import webdriver
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

from serve_support import (TRANSMISSION, ServedStudio, calls_of, demo_capture, on_air_call,
                           replayed_trace, tampered_capture, trace_of)

ARTEFACTS = os.environ["DREZ_ARTEFACTS"]
# Chromium as root, in a sandbox, with no network to the outside.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1400,1700"]


class ServeInBrowser(unittest.TestCase):
    def setUp(self):
        self.profile = tempfile.TemporaryDirectory()
        options = webdriver.ChromeOptions()
        options.binary_location = os.environ["CHROMIUM"]
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile.name]:
            options.add_argument(flag)
        self.browser = webdriver.Chrome(service=Service(os.environ["CHROMEDRIVER"]),
                                        options=options)
        self.addCleanup(self.profile.cleanup)
        self.addCleanup(self.browser.quit)

    def by_id(self, element_id):
        return self.browser.find_element(By.ID, element_id)

    def wait_for(self, what, condition):
        try:
            # The page redraws on every change: an element read may be gone.
            WebDriverWait(self.browser, 20, 0.05,
                          (NoSuchElementException, StaleElementReferenceException)).until(
                              lambda _: condition())
        except Exception as error:
            self.fail(f"the page never showed {what}: {error}\nstatus: "
                      f"{self.by_id('status').text}")

    def click(self, element_id):
        # A button may be drawn anew between finding it and clicking it, and
        # then the click did not happen. (Text fields stay across redraws.)
        for attempt in range(5):
            try:
                self.by_id(element_id).click()
                return
            except StaleElementReferenceException:
                if attempt == 4:
                    raise

    def type_and_click(self, field, text, button):
        self.by_id(field).clear()
        self.by_id(field).send_keys(text)
        self.click(button)

    def lamps(self):
        return [int(self.by_id(f"lamp-31-{index}").get_attribute("data-state"))
                for index in range(100, 110)]

    def test_a_person_drives_the_studio_and_saves_the_session(self):
        with ServedStudio() as studio:
            self.browser.get(studio.url)
            floor = lambda: self.by_id("control-1-StA_Floor")
            self.wait_for("StA_Floor off",
                          lambda: floor().get_attribute("data-statesheet") == "QZ_Studio_OFF")

            self.type_and_click("slot-11-4", "1", "set-11-4")
            self.wait_for("slot 4 set", lambda: self.by_id("slot-11-4-text").text == '"1"')
            self.type_and_click("slot-11-1", "2", "set-11-1")
            self.wait_for("the transmission lamps", lambda: self.lamps() == TRANSMISSION)
            self.wait_for("StA_Floor in the transmission colour",
                          lambda: "sheet-red" in floor().get_attribute("class") and
                          floor().value_of_css_property("background-color") ==
                          "rgba(216, 38, 30, 1)")

            self.by_id("route-21-destination").clear()
            self.by_id("route-21-destination").send_keys("97")
            self.type_and_click("route-21-source", "3", "route-21-send")
            self.wait_for("CAM 3 on destination 97",
                          lambda: "CAM 3" in self.by_id("route-21-97").text)
            self.wait_for("the vls_name readout",
                          lambda: "text=CAM 3" in self.by_id("control-1-vls_name").text)

            self.type_and_click("request-text", "return=all", "request-send")
            self.wait_for("the reply", lambda: "myParam=" in self.by_id("request-reply").text)
            self.click("control-1-StA_Floor")
            self.wait_for("the control event in the trace",
                          lambda: 'control event StA_Floor "pressed"' in self.by_id("trace").text)

            os.makedirs(ARTEFACTS, exist_ok=True)
            self.browser.save_screenshot(os.path.join(ARTEFACTS, "serve_studio.png"))

            # Save as scenario: the page shows what the link downloads.
            self.assertTrue(self.by_id("save").get_attribute("href").endswith("/api/session"))
            session = self.by_id("session").text + "\n"
            self.assertEqual(session, studio.request("GET", "/api/session")[1])
            served = trace_of(line["text"] for line in studio.state()["trace"])
            self.assertEqual(studio.stop(), 0)

        saved = os.path.join(ARTEFACTS, "serve_session.scn")
        with open(saved, "w") as file:
            file.write(session)
        replayed, code = replayed_trace(saved)
        self.assertEqual(code, 0)
        self.assertEqual(replayed, served)

    def selected_call(self):
        return int(self.browser.find_element(By.TAG_NAME, "body").get_attribute("data-call") or 0)

    def press(self, key):
        # To the page as a person presses it: no field has the focus.
        ActionChains(self.browser).send_keys(key).perform()

    def test_a_capture_stepped_through_call_by_call(self):
        with tempfile.TemporaryDirectory() as folder:
            capture = demo_capture(folder)
            with ServedStudio("--capture", capture, script=None) as studio:
                on_air = on_air_call(calls_of(studio))["index"]
                # /?call=N opens at N: the call before the studio goes on air.
                self.browser.get(f"{studio.url}?call={on_air - 1}")
                floor = lambda: self.by_id("control-1-StA_Floor").get_attribute("data-statesheet")
                self.wait_for(f"call {on_air - 1}", lambda: self.selected_call() == on_air - 1)
                self.wait_for("StA_Floor in rehearsal", lambda: floor() == "QZ_Studio_REH")
                self.assertTrue(self.by_id("timeline-section").is_displayed())
                self.assertFalse(self.by_id("restart").is_displayed())
                self.press(Keys.ARROW_RIGHT)
                self.wait_for(f"call {on_air}", lambda: self.selected_call() == on_air)
                self.wait_for("StA_Floor on air", lambda: floor() == "QZ_Studio_TX")
                self.assertEqual(self.lamps(), TRANSMISSION)
                self.assertIn("selected", self.by_id(f"call-{on_air}").get_attribute("class"))
                commands = self.by_id("call-commands").text
                self.assertIn("TP 'statesheet=QZ_Studio_TX' '1' 'StA_Floor'", commands)
                self.assertIn("GS 31 105 1 0", commands)
                self.assertTrue(self.browser.current_url.endswith(f"/?call={on_air}"))
                self.press(Keys.ARROW_LEFT)
                self.wait_for("StA_Floor back in rehearsal", lambda: floor() == "QZ_Studio_REH")
                # A click on a control changes nothing: the capture is evidence.
                self.click("control-1-StA_Floor")
                self.assertEqual(studio.state()["call"], len(calls_of(studio)))

            tampered = tampered_capture(capture, folder)
            with ServedStudio("--capture", tampered) as studio:
                marked = next(call["index"] for call in calls_of(studio) if call["differs"])
                self.browser.get(studio.url)
                self.wait_for("call 1", lambda: self.selected_call() == 1)
                self.press("n")
                self.wait_for(f"the marked call {marked}", lambda: self.selected_call() == marked)
                self.assertIn("differs", self.by_id(f"call-{marked}").get_attribute("class"))
                self.assertIn("QZ_Studio_TX", self.by_id("call-differences").text)
                self.assertIn("1 calls", self.by_id("replay-summary").text)
                os.makedirs(ARTEFACTS, exist_ok=True)
                self.browser.save_screenshot(os.path.join(ARTEFACTS, "serve_capture.png"))


if __name__ == "__main__":
    unittest.main()
