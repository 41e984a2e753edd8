"""The calibration run: the full-screen window with its nine targets, touched
through the simulated controller, and what a completed, cancelled, timed-out
or unusable run leaves in the registry and in the mapping of later touches.
Complete runs in every touch mode are in test_calibration_modes."""
import unittest

from harness import (ProgramTestCase, SCREEN, SETTINGS_KEY, Touchsim, pixel, pointer_position,
                     wait_for)

WIDTH, HEIGHT = SCREEN
WM_COMMAND = 0x0111
WM_KEYDOWN = 0x0100
VK_RETURN = 0x0D
VK_ESCAPE = 0x1B
IDOK = 1
MAIN_OK, CALIBRATION = 1000, 1006
NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE = 0, 1, 2
GREEN, BLUE = (0, 255, 0), (0, 0, 255)
MIRROR_X, SWAP, QUARTER_TURN = ("--mirror-x",), ("--swap",), ("--swap", "--mirror-x")
# A point inside the target's circle, clear of its cross-hair.
FILL_OFFSET = 8
# Where a test touch goes after a run, away from every target and window.
PROBE_RAW = (3000, 1000)


def margin(size):
    return size * 205 // 4096


def target(index):
    """The centre of target index in pixels."""
    left, right = margin(WIDTH), WIDTH - margin(WIDTH)
    top, bottom = margin(HEIGHT), HEIGHT - margin(HEIGHT)
    middle_x, middle_y = WIDTH // 2, HEIGHT // 2
    return [(left, top), (right, top), (right, bottom), (left, bottom), (middle_x, top),
            (right, middle_y), (middle_x, bottom), (left, middle_y), (middle_x, middle_y)][index]


def raw_at(point):
    """The raw reading of a panel mounted straight at a screen pixel."""
    return point[0] * 4096 // WIDTH, point[1] * 4096 // HEIGHT


def pixel_of(raw):
    """The pixel a raw point of a straight panel maps to."""
    return raw[0] * WIDTH // 4096, raw[1] * HEIGHT // 4096


def reported(raw, panel):
    """What a panel mounted as the simulator's options say reports for a
    touch at raw: the axes swapped first, then mirrored."""
    x, y = raw
    if "--swap" in panel:
        x, y = y, x
    if "--mirror-x" in panel:
        x = 4095 - x
    return x, y


def near(a, b, tolerance=3):
    return abs(a[0] - b[0]) <= tolerance and abs(a[1] - b[1]) <= tolerance


class CalibrationCase(ProgramTestCase):
    SIMULATOR = False

    def start(self, panel=(), mode=NORMAL, **values):
        """The program with an engine on a panel mounted as panel says."""
        self.registry.reset(dict({"Port": "COM5", "First": 1, "TouchMode": mode}, **values))
        self.panel = panel
        self.sim = Touchsim(self.wine, self.COM, extra=list(panel))
        self.start_program()

    def open_main(self):
        window = self.main_window()
        calibration = self.driver.item(window, CALIBRATION)
        self.assertTrue(wait_for(lambda: self.driver.enabled(calibration)))
        return window

    def open_calibration(self, window):
        self.assertTrue(self.driver.click(window, CALIBRATION))
        return self.calibration_window()

    def calibration_window(self, timeout=10):
        screen = wait_for(lambda: self.driver.value("fullscreen", "#32770"), timeout)
        self.assertTrue(screen, "the calibration window did not open")
        self.assertEqual(self.driver.value("topmost", screen), "1")
        self.screen = screen
        return screen

    def calibration_closed(self, timeout=10):
        """True once the window is destroyed: the run has then returned and
        put the new or the previous calibration into effect (a window only
        hidden may still be ending its modal loop)."""
        screen = getattr(self, "screen", None) or self.driver.value("fullscreen", "#32770")
        if screen is None:
            return True
        return wait_for(lambda: self.driver.value("exists", screen) == "0", timeout)

    def colour_at(self, index, name="poll"):
        x, y = target(index)
        return pixel(self.shot(name), x + FILL_OFFSET, y + FILL_OFFSET)

    def wait_target(self, index, colour=GREEN, timeout=10):
        """Waits until target index is drawn in colour."""
        shown = wait_for(lambda: self.colour_at(index) == colour, timeout)
        self.assertTrue(shown, "target %d is not drawn %s" % (index, colour))

    def tap(self, index, dx=0, dy=0):
        """A tap on target index, dx and dy raw units off its centre."""
        x, y = raw_at(target(index))
        self.sim.send("tap %d %d" % (x + dx, y + dy))

    def touch_in(self, mode):
        """A steady touch on a target, as each touch mode samples it: a
        slight drift in Normal, where the moves are sampled; a tap in Click
        On Touch; a short slide onto the target in Click On Release, where
        the last position before the lift is the one sampled."""
        def touch(index):
            x, y = raw_at(target(index))
            if mode == NORMAL:
                self.sim.send("drag %d %d %d %d 300" % (x, y, x + 3, y + 3))
            elif mode == CLICK_ON_TOUCH:
                self.sim.send("tap %d %d" % (x, y))
            else:
                self.sim.send("drag %d %d %d %d 300" % (x - 40, y - 40, x, y))
        return touch

    def calibrate(self, touch=None, first=0, count=9):
        """Touches targets first .. first + count - 1, each once it is shown;
        after the ninth, waits until the window has closed."""
        touch = touch or self.tap
        for index in range(first, first + count):
            self.wait_target(index)
            touch(index)
            if index + 1 < 9:
                self.wait_target(index + 1)
        if first + count == 9:
            self.assertTrue(self.calibration_closed(), "the run did not end after nine targets")

    def settings(self):
        """Every value of the settings key, read back in one go."""
        result = self.wine.run("reg", "query", SETTINGS_KEY)
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = int(parts[2], 16) if parts[1] == "REG_DWORD" else parts[2]
        return values

    def stored_points(self):
        values = self.settings()
        return [(values.get("PX%d" % i), values.get("PY%d" % i)) for i in range(9)]

    def expected_points(self):
        return [reported(raw_at(target(i)), self.panel) for i in range(9)]

    def assert_lands(self, raw, where):
        """A tap at raw (on a straight panel) puts the pointer at where."""
        self.sim.send("tap %d %d" % raw)
        landed = wait_for(lambda: near(pointer_position(self.display), where), 10)
        self.assertTrue(landed, "pointer at %s, expected %s" % (pointer_position(self.display),
                                                                 where))

    def assert_lands_right(self):
        self.assert_lands(PROBE_RAW, pixel_of(PROBE_RAW))


class RunTest(CalibrationCase):

    def test_window_covers_the_screen_and_draws_the_target(self):
        self.start(MIRROR_X)
        window = self.open_main()
        # Before calibrating, the mirrored panel sends touches to the wrong side.
        self.assert_lands(PROBE_RAW, pixel_of((4095 - PROBE_RAW[0], PROBE_RAW[1])))
        screen = self.open_calibration(window)
        self.assertEqual(self.driver.rect(screen), (0, 0, WIDTH, HEIGHT))
        self.assertFalse(self.driver.enabled(window), "the main window is disabled meanwhile")
        self.wait_target(0)
        x, y = target(0)
        shot = self.shot("target-green")
        background = pixel(shot, x + 30, y + 30)
        self.assertEqual(pixel(shot, x, y), (0, 0, 0), "the cross-hair crosses the centre")
        self.assertEqual(pixel(shot, x + 22, y), (0, 0, 0), "the cross-hair passes the circle")
        self.assertEqual(pixel(shot, x + 23, y), background, "and ends 3 pixels beyond it")
        # Along a row below the centre: the black outline, then the fill.
        row = [pixel(shot, x + dx, y + 10) for dx in range(20, 11, -1)]
        self.assertIn((0, 0, 0), row[:5], "the circle has a black outline")
        self.assertEqual(row[-1], GREEN)
        # While a touch is held the target is blue.
        self.sim.send("hold %d %d 1000" % raw_at(target(0)))
        self.wait_target(0, BLUE)
        self.shot("target-blue")
        self.wait_target(1)
        self.shot("step-1")

    def test_an_unsteady_touch_keeps_the_target(self):
        self.start()
        screen = self.open_calibration(self.open_main())
        self.wait_target(0)
        x, y = raw_at(target(0))
        # Held past its evaluation while sliding 240 raw units (60 pixels).
        self.sim.send("drag %d %d %d %d 2500" % (x, y, x + 240, y))
        end = pixel_of((x + 240, y))
        self.assertTrue(wait_for(lambda: near(pointer_position(self.display), end), 10))
        self.wait_target(0)
        self.assertNotEqual(self.colour_at(1), GREEN)
        self.tap(0, 4, 4)
        self.wait_target(1)
        self.assertEqual(self.driver.value("exists", screen), "1")
        self.calibrate(first=1, count=8)
        self.assertEqual(self.stored_points()[0], (x + 4, y + 4))

    def test_a_touch_made_again_is_judged_from_its_own_button_down(self):
        self.start()
        self.open_calibration(self.open_main())
        self.wait_target(0)
        x, y = raw_at(target(0))
        # Two taps 40 raw units apart, the second well within 1.5 s of the
        # first: judged together they would be unsteady.
        self.sim.send("tap %d %d" % (x, y), "wait 700", "tap %d %d" % (x + 40, y))
        self.wait_target(1)
        self.calibrate(first=1, count=8)
        self.assertEqual(self.stored_points()[0], (x + 40, y))

    def test_enter_does_not_end_the_run(self):
        self.start()
        screen = self.open_calibration(self.open_main())
        self.wait_target(0)
        self.driver.post(screen, WM_KEYDOWN, VK_RETURN, 0)
        self.driver.post(screen, WM_COMMAND, IDOK, 0)
        # Handled after the posted Enter and IDOK: the window is still there.
        self.tap(0)
        self.wait_target(1)
        self.assertEqual(self.driver.value("exists", screen), "1")
        self.assertIsNone(self.settings().get("PX0"))
        self.calibrate(first=1, count=8)
        self.assertEqual(self.stored_points(), self.expected_points())


class CancelTest(CalibrationCase):
    """Runs that end without a usable result change nothing."""

    def start_calibrated(self, panel=MIRROR_X, stored_for=MIRROR_X):
        """The program on panel, with a calibration for a panel mounted as
        stored_for already stored."""
        stored = {}
        for index in range(9):
            point = reported(raw_at(target(index)), stored_for)
            stored["PX%d" % index], stored["PY%d" % index] = point
        self.start(panel, **stored)
        return self.settings()

    def test_escape_after_three_targets_restores_the_previous_calibration(self):
        before = self.start_calibrated()
        window = self.open_main()
        self.assert_lands_right()
        screen = self.open_calibration(window)
        self.calibrate(count=3)
        self.driver.post(screen, WM_KEYDOWN, VK_ESCAPE, 0)
        self.assertTrue(self.calibration_closed())
        self.assertEqual(self.settings(), before)
        self.assertTrue(self.driver.enabled(window))
        self.assert_lands_right()

    def test_a_set_with_no_mapping_is_dropped(self):
        # A panel turned by a quarter: every touch is steady and accepted,
        # but the grid has no mapping for such points.
        before = self.start_calibrated(QUARTER_TURN, stored_for=MIRROR_X)
        self.open_calibration(self.open_main())
        self.calibrate()
        self.assertEqual(self.settings(), before)
        # The mirrored calibration is back in force: it turns the quarter
        # turn into a swap, where the unusable set would send every touch
        # to the corner.
        self.assert_lands(PROBE_RAW, pixel_of((PROBE_RAW[1], PROBE_RAW[0])))

    def test_thirty_idle_seconds_cancel(self):
        before = self.start_calibrated()
        self.open_calibration(self.open_main())
        self.wait_target(0)
        self.shot("countdown")
        self.assertTrue(self.calibration_closed(timeout=45), "no timeout")
        self.assertEqual(self.settings(), before)
        self.assert_lands_right()


class StartUpTest(CalibrationCase):

    def test_start_up_mode_shows_the_calibration_before_the_main_window(self):
        self.start(StartUpMode=1, First=0)
        screen = self.calibration_window()
        main = self.main_window(visible=False)
        self.assertFalse(self.driver.visible(main))
        # The hide at start fires inside the run and puts the icon in the tray.
        self.assertTrue(self.driver.tray())
        self.wait_target(0)
        self.tap(0)
        self.wait_target(1)
        self.driver.post(screen, WM_KEYDOWN, VK_ESCAPE, 0)
        self.assertTrue(self.calibration_closed())
        self.assertTrue(wait_for(lambda: self.driver.visible(main)))
        self.assertIsNone(self.settings().get("PX0"))

    def test_without_an_engine_the_command_does_nothing(self):
        self.start(StartUpMode=1, Port="COM12")
        window = self.main_window()
        self.assertFalse(self.driver.enabled(self.driver.item(window, CALIBRATION)))
        self.driver.post(window, WM_COMMAND, CALIBRATION, 0)
        # Handled after the command: once hidden, the command has been seen.
        self.driver.post(window, WM_COMMAND, MAIN_OK, 0)
        self.assertTrue(wait_for(lambda: not self.driver.visible(window)))
        self.assertIsNone(self.driver.value("fullscreen", "#32770"))
        self.assertIsNone(self.settings().get("PX0"))


if __name__ == "__main__":
    unittest.main()
