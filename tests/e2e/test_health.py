"""The health figures under Wine: the metrics file the program keeps (read by
node_exporter's textfile collector and promtool) and ZeltraTouch.exe
/status."""
import json
import os
import tempfile

from harness import ProgramTestCase, promtool_check, scrape_textfile, wait_for


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
        self.sim.send("corrupt 100 100 2")
        self.assertTrue(wait_for(lambda: os.path.exists(metrics) and "checksum_errors_total 1\n" in read()))
        self.sim.stop()
        self.sim = None
        self.assertTrue(wait_for(lambda: "zeltratouch_link_losses_total 1\n" in read()), read())
        self.assertEqual(promtool_check(metrics), "")
        scraped = scrape_textfile(folder)
        status = self.wine.run(os.environ["ZT_EXE"], "/status")
        self.assertEqual(status.returncode, 0)
        figures = json.loads(status.stdout.decode())
        self.assertEqual(figures["link"], "retrying")
        for series, field in (("link_up", "link_up"), ("link_losses_total", "link_losses"),
                              ("touches_total", "touches"), ("checksum_errors_total", "checksum_errors"),
                              ("last_touch_timestamp_seconds", "last_touch")):
            self.assertEqual(scraped.get("zeltratouch_" + series), figures[field], series)
        self.assertEqual((figures["touches"], figures["link_up"]), (1, False))
        self.assertEqual(scraped.get("node_textfile_scrape_error"), 0)
