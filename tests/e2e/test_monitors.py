"""Two monitors side by side (a 1024 x 768 primary and an 800 x 600 second
one to its right): touches land on the chosen one, fall back to the primary
one when it is not there, calibrate there, and the setup sheet switches."""
import os
import unittest

from harness import IDS, WM_COMMAND, pointer_position, wait_for
from test_calibration import MIRROR_X, PROBE_RAW, CalibrationCase, mounted, pixel_of, raw_of, target
from test_setup import SetupCase

SECOND = (1024, 0, 800, 600)
CB_GETCOUNT, CB_SETCURSEL, CBN_SELCHANGE, WM_DISPLAYCHANGE = 0x146, 0x14E, 1, 0x7E


class MonitorCase:
    DESKTOP = ((1824, 768), "0,0,1024,768;1024,0,800,600")

    def lands(self, raw, where):
        self.sim.send("report %d %d 2" % raw)
        return wait_for(lambda: pointer_position(self.display) == where, 5) or pointer_position(self.display)


class ChosenMonitorTest(MonitorCase, SetupCase):
    REGISTRY = {"Port": "COM5", "Monitor": r"\\.\DISPLAY2"}

    def test_touch_output_frames_on_the_second_monitor_are_what_the_system_takes(self):
        checked = self.wine.run(os.environ["ZT_TOUCH_INFO"])
        self.assertEqual(checked.returncode, 0, checked.stdout.decode())
        self.assertIn(b"at 1823,0 area 1819,0-1823,4", checked.stdout)

    def test_raw_corners_and_centre_land_on_the_second_monitor(self):
        for raw, where in (((0, 0), (1024, 0)), ((4095, 4095), (1823, 599)), ((2048, 2048), (1424, 300))):
            self.assertIs(self.lands(raw, where), True, raw)

    def test_the_sheet_lists_both_monitors_and_switches_at_once(self):
        sheet, page = self.open_sheet(1)
        monitors = self.driver.item(page, IDS.IDC_TOUCH_MONITOR)
        self.assertEqual((self.driver.send(monitors, CB_GETCOUNT), self.driver.text(monitors)), (2, "2: 800 x 600"))
        self.driver.send(monitors, CB_SETCURSEL, 0)  # shown, not chosen: a display change lists them anew
        self.driver.post(sheet, WM_DISPLAYCHANGE, 24, 1824 | 768 << 16)
        self.assertTrue(wait_for(lambda: self.driver.text(monitors) == "2: 800 x 600"), self.driver.text(monitors))
        self.assertEqual(self.driver.send(monitors, CB_GETCOUNT), 2)
        self.assertTrue(self.driver.click(page, IDS.IDC_TOUCH_IDENTIFY))
        self.assertTrue(wait_for(lambda: self.driver.find(None, "ZeltraTouchMonitorNumber")))
        self.shot("monitors")
        self.assertTrue(wait_for(lambda: not self.driver.find(None, "ZeltraTouchMonitorNumber")), "still shown")
        self.driver.send(monitors, CB_SETCURSEL, 0)
        self.driver.post(page, WM_COMMAND, IDS.IDC_TOUCH_MONITOR | CBN_SELCHANGE << 16, monitors)
        self.assertTrue(wait_for(lambda: self.registry.query("Monitor") == r"\\.\DISPLAY1"))
        self.assertIs(self.lands((4095, 4095), (1023, 767)), True)


class MissingMonitorTest(MonitorCase, SetupCase):
    REGISTRY = {"Port": "COM5", "Monitor": r"\\.\DISPLAY7"}

    def test_a_monitor_that_is_not_there_gives_the_primary_one(self):
        self.assertIs(self.lands((4095, 4095), (1023, 767)), True)
        state = self.driver.text(self.driver.item(self.window, IDS.IDC_MAIN_LINK_STATE))
        self.assertEqual(state, r"Connected; \\.\DISPLAY7 gone, using the primary monitor")


class SecondMonitorCalibrationTest(MonitorCase, CalibrationCase):
    MONITOR = SECOND

    def test_a_run_on_the_second_monitor(self):
        window = self.start(MIRROR_X, Monitor=r"\\.\DISPLAY2")
        screen = self.open_calibration(window)
        self.assertEqual(self.driver.rect(screen), (1024, 0, 1824, 600))
        self.calibrate("tap %d %d")
        self.assertEqual(self.points(), [mounted(raw_of(target(i, SECOND), SECOND), MIRROR_X) for i in range(9)])
        self.assert_lands(pixel_of(PROBE_RAW, SECOND))


if __name__ == "__main__":
    unittest.main()
