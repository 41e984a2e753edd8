"""The health figures under Wine: the metrics file the program keeps (read by
node_exporter's textfile collector and promtool), ZeltraTouch.exe /status,
and the events the program reports (as Wine's ReportEventA traces them),
a metrics folder that cannot be written among them."""
import json
import os
import re
import subprocess
import tempfile
import time

from harness import IDS, ProgramTestCase, Touchsim, promtool_check, scrape_textfile, wait_for


class HealthTest(ProgramTestCase):
    SIMULATOR = ()

    def test_the_metrics_file_and_status_follow_a_touch_and_a_lost_port(self):
        folder = tempfile.mkdtemp(prefix="zt-textfile-")
        metrics = os.path.join(folder, "zeltratouch.prom")
        self.registry.reset({"Port": "COM5", "Metrics": "Z:" + metrics.replace("/", "\\")})
        self.start_with_engine()

        def read():
            with open(metrics) as written:
                return written.read()

        self.tap(300, 300)
        first = wait_for(lambda: self.registry.query("LastTouch"))  # the first touch: stored at once
        self.assertTrue(wait_for(lambda: time.time() >= first + 1.2))
        self.tap(400, 400)  # a later second, left to the last write as the program ends
        self.sim.send("corrupt 100 100 2")
        self.assertTrue(wait_for(lambda: os.path.exists(metrics) and "checksum_errors_total 1\n" in read()))
        self.sim.stop()
        self.sim = None
        self.assertTrue(wait_for(lambda: "zeltratouch_link_losses_total 1\n" in read()), read())
        self.assertEqual(promtool_check(metrics), "")
        scraped = scrape_textfile(folder)
        figures = self.status()
        self.assertEqual(figures["link"], "retrying")
        for series, field in (("link_up", "link_up"), ("link_losses_total", "link_losses"),
                              ("touches_total", "touches"), ("checksum_errors_total", "checksum_errors"),
                              ("last_touch_timestamp_seconds", "last_touch")):
            self.assertEqual(scraped.get("zeltratouch_" + series), figures[field], series)
        self.assertEqual((figures["touches"], figures["link_up"]), (2, False))
        self.assertEqual(scraped.get("node_textfile_scrape_error"), 0)
        # /quit returns once the program has ended, its last write made.
        self.assertEqual(self.wine.run(os.environ["ZT_EXE"], "/quit").returncode, 0)
        self.assertTrue(wait_for(lambda: self.started[0].poll() is not None, 5))
        self.assertIn('link_state{state="retrying"} 0\n', read())
        self.assertEqual(self.wine.run(os.environ["ZT_EXE"], "/quit").returncode, 7)  # none runs
        self.assertEqual(self.registry.query("LastTouch"), figures["last_touch"])  # for the next start

    def test_a_lost_and_regained_link_and_a_folder_that_cannot_be_written_reach_the_event_log(self):
        # A folder even root may not write (immutable), as a collector's folder is to a user.
        denied = tempfile.mkdtemp(prefix="zt-denied-")
        subprocess.run(["chattr", "+i", denied], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", denied], check=False)
        self.registry.reset({"Port": "COM5", "Metrics": "Z:%s\\zt.prom" % denied.replace("/", "\\"), "LastTouch": 1796000000})
        trace = os.path.join(tempfile.mkdtemp(prefix="zt-events-"), "wine.err")
        with open(trace, "w") as errors:
            self.started.append(self.wine.start(os.environ["ZT_EXE"], trace=errors, debug="fixme+advapi"))
        state = self.driver.item(self.main_window(), IDS.IDC_MAIN_LINK_STATE)
        self.assertTrue(wait_for(lambda: self.driver.text(state) == "Connected"))
        self.sim.stop()
        self.assertTrue(wait_for(lambda: "retrying" in self.driver.text(state)))
        self.sim = Touchsim(self.wine, 5)
        self.assertTrue(wait_for(lambda: self.driver.text(state) == "Connected", 15))

        def events(ids):
            with open(trace) as errors:
                found = re.findall(r"ReportEventA \(\w+,(0x\w+),0x0000,(0x\w+),", errors.read())
            return [event for event in found if int(event[1], 16) in ids]
        # A warning (type 2) that the link is lost, then information (4) that it is back.
        self.assertTrue(wait_for(lambda: events({1, 2}) == [("0x0002", "0x00000001"), ("0x0004", "0x00000002")]),
                        events({1, 2}))
        # The metrics file: once as it cannot be written, though tried every second, once as it is again.
        self.assertTrue(wait_for(lambda: events({7, 8}) == [("0x0002", "0x00000007")]), events({7, 8}))
        subprocess.run(["chattr", "-i", denied], check=True)
        self.assertTrue(wait_for(lambda: events({7, 8}) == [("0x0002", "0x00000007"), ("0x0004", "0x00000008")]),
                        events({7, 8}))
        # The last touch stored before the start is read; a logoff ends the
        # program as IDOK does: the link is written down.
        self.assertEqual(self.status()["last_touch"], 1796000000)
        self.wine.run("wineboot", "--end-session", "--force", "--kill")  # returns once the program ended
        with open(os.path.join(denied, "zt.prom")) as written:
            self.assertIn("zeltratouch_link_up 0\n", written.read())

    def status(self):
        return json.loads(self.wine.run(os.environ["ZT_EXE"], "/status").stdout.decode())
