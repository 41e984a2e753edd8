"""The calibration run: the full-screen window with its nine targets touched
through the simulated controller on mirrored and quarter-turned panels, and
what a completed, cancelled, timed-out or unusable run leaves in the registry
and in the mapping of later touches."""
import re
import unittest

from harness import (IDOK, IDS, SCREEN, WM_COMMAND, WM_KEYDOWN, ProgramTestCase, Touchsim, near, pixel,
                     pointer_position, wait_for)

WIDTH, HEIGHT = SCREEN
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
GREEN, BLUE, BLACK, ORANGE = (0, 255, 0), (0, 0, 255), (0, 0, 0), (255, 160, 0)
KEEP, REDO, STANDARD, PRECISE, BM_GETCHECK = 2001, 2002, 2003, 2004, 0xF0
MIRROR_X, QUARTER_TURN = ("--mirror-x",), ("--swap", "--mirror-x")
PROBE_RAW = (3000, 1000)  # a test touch after a run, away from every target
NOT_SAVED = "The new calibration is used until ZeltraTouch ends, but it could not be saved."
PRIMARY = (0, 0, WIDTH, HEIGHT)  # a monitor: left, top, width, height


def target(index, monitor=PRIMARY):
    """The centre of target index in pixels: 0..8 the nine, 9..12 the check's."""
    x0, y0, width, height = monitor
    left, top = width * 205 // 4096, height * 205 // 4096
    right, bottom, middle_x, middle_y = width - left, height - top, width // 2, height // 2
    quarter, three = (width // 4, height // 4), (width * 3 // 4, height * 3 // 4)
    x, y = [(left, top), (right, top), (right, bottom), (left, bottom), (middle_x, top),
            (right, middle_y), (middle_x, bottom), (left, middle_y), (middle_x, middle_y), quarter,
            (three[0], quarter[1]), three, (quarter[0], three[1])][index]
    return x0 + x, y0 + y


def raw_of(point, monitor=PRIMARY):
    """The raw reading of a straight panel on the monitor at a pixel."""
    return (point[0] - monitor[0]) * 4096 // monitor[2], (point[1] - monitor[1]) * 4096 // monitor[3]


def pixel_of(raw, monitor=PRIMARY):
    return monitor[0] + raw[0] * monitor[2] // 4096, monitor[1] + raw[1] * monitor[3] // 4096


def mounted(raw, panel):
    """What a panel mounted as the simulator's options say reports at raw:
    the axes swapped first, then mirrored."""
    x, y = (raw[1], raw[0]) if "--swap" in panel else raw
    return (4095 - x, y) if "--mirror-x" in panel else (x, y)


class CalibrationCase(ProgramTestCase):
    SIMULATOR = None  # each test mounts the panel its own way
    MONITOR = PRIMARY  # where the calibration window opens

    def start(self, panel=(), stored_for=None, **values):
        """The program on panel, with a calibration for a panel mounted as
        stored_for already stored (none: the default)."""
        for index in range(9) if stored_for is not None else ():
            values["PX%d" % index], values["PY%d" % index] = mounted(raw_of(target(index)), stored_for)
        self.registry.reset(dict({"Port": "COM5"}, **values))
        self.panel = panel
        self.sim = Touchsim(self.wine, 5, panel)
        return self.start_with_engine() if values.get("StartUpMode") != 1 else self.start_program()

    def open_calibration(self, window=None):
        if window:
            self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_CALIBRATION))
        self.screen = wait_for(lambda: self.driver.value("fullscreen", "#32770", *self.MONITOR))
        self.assertTrue(self.screen, "the calibration window did not open")
        return self.screen

    def closed(self, timeout=10):
        """Once the window is destroyed the run has put its result into effect."""
        return wait_for(lambda: self.driver.value("exists", self.screen) == "0", timeout)

    def colour(self, index, name="poll"):
        x, y = target(index, self.MONITOR)
        return pixel(self.shot(name), x + 8, y + 8)  # inside the circle, clear of the cross-hair

    def wait_target(self, index, colour=GREEN):
        self.assertTrue(wait_for(lambda: self.colour(index) == colour), "target %d not %s" % (index, colour))

    def calibrate(self, touch, first=0, count=9, check=False):
        """Touches targets first .. first + count - 1, each once it is shown;
        without check, Escape at the check ends the run with the nine points."""
        for index in range(first, first + count):
            self.wait_target(index)
            x, y = raw_of(target(index, self.MONITOR), self.MONITOR)
            values = {4: (x, y, x + 3, y + 3), 2: (x, y), 0: ()}[touch.count("%")]
            self.sim.send(touch % values)
            if index < 8 or check and index < 12:
                self.wait_target(index + 1)
        if first + count == 9 and not check:  # a set the grid cannot map has no check
            self.assertTrue(wait_for(lambda: self.driver.value("exists", self.screen) == "0" or
                                     self.colour(9) == GREEN), "no check after nine targets")
            self.driver.post(self.screen, WM_KEYDOWN, VK_ESCAPE, 0)
            self.assertTrue(self.closed(), "the run did not end at Escape in the check")

    def press(self, control_id):
        """Touches a control of the calibration window in its middle, through
        the panel: the finger rests there until the pointer is on it."""
        left, top, right, bottom = self.driver.rect(wait_for(lambda: self.driver.item(self.screen, control_id)))
        middle = (left + right) // 2, (top + bottom) // 2
        raw = raw_of(middle, self.MONITOR)
        self.sim.send("report %d %d 2" % raw)
        self.assertTrue(wait_for(lambda: near(self.driver.cursor(), middle, 3)), "pointer not on %d" % control_id)
        self.sim.send("tap %d %d" % raw)

    def points(self):
        values = self.registry.values()
        return [(values.get("PX%d" % i), values.get("PY%d" % i)) for i in range(9)]

    def assert_lands(self, where, raw=PROBE_RAW):
        self.sim.send("tap %d %d" % raw)
        self.assertTrue(wait_for(lambda: near(pointer_position(self.display), where, 3)),
                        "pointer at %s, not %s" % (pointer_position(self.display), where))


class RunTest(CalibrationCase):

    def test_a_run_on_a_mirrored_panel_in_normal_mode(self):
        window = self.start(MIRROR_X)
        self.assert_lands(pixel_of((4095 - PROBE_RAW[0], PROBE_RAW[1])))  # mirrored before
        screen = self.open_calibration(window)
        self.assertEqual(self.driver.rect(screen), (0, 0, WIDTH, HEIGHT))
        self.assertEqual(self.driver.value("topmost", screen), "1")
        self.assertFalse(self.driver.enabled(window), "the main window stays disabled meanwhile")
        self.wait_target(0)
        x, y = target(0)
        shot = self.shot("target")
        self.assertEqual([pixel(shot, x, y), pixel(shot, x + 22, y)], [BLACK, BLACK])  # the cross-hair
        self.assertEqual(pixel(shot, x + 23, y), pixel(shot, x + 30, y + 30))  # ends 3 px past the circle
        self.assertIn(BLACK, [pixel(shot, x + dx, y + 10) for dx in range(20, 15, -1)])  # the outline
        # Enter and IDOK never end a run early.
        self.driver.post(screen, WM_KEYDOWN, VK_RETURN, 0)
        self.driver.post(screen, WM_COMMAND, IDOK, 0)
        self.sim.send("hold %d %d 1000" % raw_of(target(0)))
        self.wait_target(0, BLUE)  # while a touch is held
        self.wait_target(1)
        # A slight drift, as a resting finger makes; the moves are sampled.
        self.calibrate("drag %d %d %d %d 300", first=1, count=8)
        expected = [mounted(raw_of(target(i)), MIRROR_X) for i in range(9)]
        self.assertTrue(all(near(p, e, 10) for p, e in zip(self.points(), expected)), self.points())
        self.assertEqual(self.registry.query("First"), 0)
        self.assertTrue(self.driver.enabled(window))
        self.assert_lands(pixel_of(PROBE_RAW))

    def test_a_run_in_click_on_release_on_a_quarter_turned_panel_kept_by_touch(self):
        window = self.start(QUARTER_TURN, TouchMode=2)
        self.open_calibration(window)
        # A short slide onto the target: the last position before the lift counts.
        self.calibrate("drag %d %d %d %d 300", check=True)
        self.calibrate("tap %d %d", first=9, count=4, check=True)
        self.press(KEEP)
        self.assertTrue(self.closed())
        self.assertEqual(self.points(),
                         [mounted((x + 3, y + 3), QUARTER_TURN) for x, y in map(raw_of, map(target, range(9)))])
        self.assert_lands(pixel_of(PROBE_RAW))


class CheckTest(CalibrationCase):

    def test_held_targets_are_taken_whatever_hold_and_smoothing_say_and_find_waits_for_the_end(self):
        window = self.start(HoldRight=800, Smoothing=2)
        device_map = (r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", r"\Device\VCP11")
        self.wine.run("reg", "add", *device_map, "/d", "COM11", "/f")
        self.addCleanup(self.wine.run, "reg", "delete", *device_map, "/f")
        answering = Touchsim(self.wine, 11, ())
        self.addCleanup(answering.stop)
        self.open_calibration(window)
        self.driver.post(window, WM_COMMAND, IDS.IDC_MAIN_FIND, 0)  # it answers within a second
        self.calibrate("hold %d %d 1200", check=True)
        self.calibrate("hold %d %d 1200", first=9, count=4, check=True)
        self.assertEqual(self.registry.query("Port"), "COM5")
        self.press(KEEP)
        self.assertTrue(self.closed())
        self.assertTrue(all(near(p, raw_of(target(i)), 10) for i, p in enumerate(self.points())), self.points())
        self.assertTrue(wait_for(lambda: self.registry.query("Port") == "COM11", 10))

    def test_on_a_mirrored_panel_a_missed_check_target_is_asked_again_redo_and_keep_are_touched(self):
        # From the check on, touches are mapped through the new points: on
        # a mirrored panel the buttons are touched where they are.
        window = self.start(MIRROR_X)
        self.open_calibration(window)
        self.calibrate("tap %d %d", check=True)
        self.sim.send("tap %d %d" % raw_of(target(11)))  # a misclick, far from the first check target
        self.wait_target(9, ORANGE)
        self.sim.send("tap %d %d" % raw_of(target(9)))
        self.calibrate("tap %d %d", first=10, count=3, check=True)
        report = wait_for(lambda: self.driver.text(self.driver.item(self.screen, STANDARD)))
        largest = re.match(r"Standard: largest ([0-9.]+) px, average [0-9.]+ px$", report)
        self.assertTrue(largest and float(largest.group(1)) < 3, report)  # the misclick is not counted
        self.assertRegex(self.driver.text(self.driver.item(self.screen, PRECISE)), r"^Precise: largest ")
        self.shot("report")
        self.press(REDO)
        self.calibrate("tap %d %d", check=True)
        self.calibrate("tap %d %d", first=9, count=4, check=True)
        mapping = self.driver.send(wait_for(lambda: self.driver.item(self.screen, PRECISE)), BM_GETCHECK)
        self.press(KEEP)
        self.assertTrue(self.closed())
        expected = [mounted(raw_of(target(i)), MIRROR_X) for i in range(9)]
        self.assertTrue(all(near(p, e, 10) for p, e in zip(self.points(), expected)), self.points())
        self.assertEqual(self.registry.query("Mapping"), mapping)
        self.assert_lands(pixel_of(PROBE_RAW))

    def test_a_report_left_alone_ends_with_the_nine_points_and_says_when_they_cannot_be_saved(self):
        window = self.start(MIRROR_X)
        self.open_calibration(window)
        self.calibrate("tap %d %d", check=True)
        self.calibrate("tap %d %d", first=9, count=4, check=True)
        self.assertTrue(wait_for(lambda: self.driver.item(self.screen, KEEP)))
        self.registry.reset(create=False)  # the key goes away: nothing can be saved
        self.assertTrue(self.closed(timeout=45), "the report did not time out")
        box = wait_for(lambda: self.driver.find("ZeltraTouch"))
        self.assertTrue(box and self.driver.value("child", box, "Static", NOT_SAVED), "no message")
        self.assert_lands(pixel_of(PROBE_RAW))  # the nine points are in effect


class CancelTest(CalibrationCase):
    """Runs that end without a usable result change nothing."""

    def test_start_up_mode_1_calibrates_before_the_main_window_shows(self):
        self.start(StartUpMode=1, First=0)
        self.open_calibration()
        main = self.main_window(visible=False)
        self.assertTrue(wait_for(lambda: not self.driver.visible(main)))  # hidden 200 ms after the start
        self.driver.post(self.screen, WM_KEYDOWN, VK_ESCAPE, 0)
        self.assertTrue(self.closed())
        self.assertIsNone(self.registry.query("PX0"))


if __name__ == "__main__":
    unittest.main()
