"""The setup sheet: its two pages, every change reaching the running engine
and the registry at once, and nothing changing without a writable key."""
import unittest

from harness import Driver, ProgramTestCase, SCREEN, wait_for

SETTING = 1008
SHEET_OK, SHEET_CANCEL, SHEET_APPLY = 1, 2, 0x3021
SPEED, FREQUENCY, DURATION, BEEP, RIGHT_BUTTON, TEST_TARGET, CLICK_ZONE = (
    1006, 1007, 1008, 1009, 1010, 1019, 1020)
NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE = 1030, 1031, 1032
PSM_SETCURSEL = 0x465
TCM_GETCURSEL = 0x130B
BM_GETCHECK = 0xF0
TBM_GETPOS = 0x400
MOUSE_VALUES = ("DTime", "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration")
# The probe window that touches click into, away from the sheet.
PROBE = (20, 420, 220, 300)


def raw_at(x, y):
    """The raw point that lands on screen pixel (x, y) with the default calibration."""
    return (x * 4096 + SCREEN[0] // 2) // SCREEN[0], (y * 4096 + SCREEN[1] // 2) // SCREEN[1]


def parse_events(log):
    """The probe's log as (name, x, y) tuples in screen coordinates."""
    events = []
    for entry in filter(None, log.split(";")):
        name, x, y = entry.split()
        events.append((name, int(x) + PROBE[0], int(y) + PROBE[1]))
    return events


def behaviour(events, end):
    """How a touch that began elsewhere and ended at end was clicked."""
    downs = [e for e in events if e[0] == "LDOWN"]
    ups = [e for e in events if e[0] == "LUP"]
    if len(downs) != 1 or len(ups) != 1 or len(events) != 2:
        return "unexpected %s" % events
    at_end = lambda e: abs(e[1] - end[0]) <= 2 and abs(e[2] - end[1]) <= 2
    if at_end(downs[0]) and at_end(ups[0]):
        return "Click On Release"
    return "Normal" if at_end(ups[0]) else "Click On Touch"


class SetupSheetCase(ProgramTestCase):
    REGISTRY = {"Port": "COM5"}

    def setUp(self):
        super().setUp()
        self.start_program()
        self.window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.enabled(self.driver.item(self.window, SETTING))))

    def children(self, window):
        """(handle, id, class, text) of every descendant window."""
        return [tuple(entry.split(",", 3)) for entry in self.driver.ask("children", window)[1:] if entry]

    def page(self, sheet, title):
        pages = [c[0] for c in self.children(sheet) if c[2] == "#32770" and c[3] == title]
        return pages[0] if pages else None

    def find_sheet(self):
        for window in self.driver.ask("ownedall", self.window, "#32770")[1:]:
            if window and self.page(window, "Setting A"):
                return window
        return None

    def open_sheet(self):
        self.assertTrue(self.driver.click(self.window, SETTING))
        sheet = wait_for(self.find_sheet)
        self.assertTrue(sheet, "the setup sheet did not open")
        self.assertTrue(wait_for(lambda: self.driver.visible(sheet)))
        return sheet, self.page(sheet, "Setting A")

    def show_page(self, sheet, index, title):
        self.driver.post(sheet, PSM_SETCURSEL, index, 0)
        page = wait_for(lambda: self.page(sheet, title))
        self.assertTrue(page, "page %s did not appear" % title)
        self.assertTrue(wait_for(lambda: self.driver.visible(page)))
        return page

    def close_sheet(self, sheet, button):
        self.assertTrue(self.driver.click(sheet, button))
        self.assertTrue(wait_for(lambda: self.driver.value("exists", sheet) == "0"))

    def control(self, page, control_id):
        return self.driver.item(page, control_id)

    def caption(self, page, control_id):
        return self.driver.text(self.control(page, control_id))

    def checked(self, page, control_id):
        return int(self.driver.value("send", self.control(page, control_id), BM_GETCHECK, 0, 0))

    def position(self, page, slider):
        return int(self.driver.value("send", self.control(page, slider), TBM_GETPOS, 0, 0))

    def drag_to_end(self, page, slider, right):
        """Drags a slider's thumb past one end of its channel and lets go."""
        handle = self.control(page, slider)
        left, _, width, _ = self.driver.rect(handle)
        width -= left
        self.assertEqual(self.driver.ask("slide", handle, width + 50 if right else -50)[0], "OK")

    def stored(self, *names):
        return {name: self.registry.query(name) for name in names}

    def size(self, window):
        left, top, right, bottom = self.driver.rect(window)
        return right - left, bottom - top

    def touch(self, start, end):
        """A touch that begins at start, slides to end and lifts there;
        returns the probe's button events once the button has gone up. Each
        report waits until Wine has the pointer where the last one put it:
        Wine may otherwise deliver a button at an earlier position."""
        self.driver.value("events")
        for status, (x, y) in ((1, start), (2, end), (4, end)):
            self.sim.send("report %d %d %d" % (raw_at(x, y) + (status,)))
            self.assertTrue(wait_for(lambda: self._near(self.driver.cursor(), (x, y)), 5),
                            "the pointer did not reach %s" % ((x, y),))
        log = []
        wait_for(lambda: log.append(self.driver.value("events") or "") or "LUP" in "".join(log))
        return parse_events("".join(log))

    @staticmethod
    def _near(a, b):
        return abs(a[0] - b[0]) <= 2 and abs(a[1] - b[1]) <= 2

    def touch_behaviour(self, spot):
        """Touches the probe at a spot of its own, so no touch is a double tap."""
        start = (PROBE[0] + 30 + 40 * spot, PROBE[1] + 40)
        end = (start[0], start[1] + 120)
        return behaviour(self.touch(start, end), end)

    def ask_fresh_driver(self, *fields):
        """Asks a UI driver started now: running programs keep the desktop's
        double-click time that was in effect when they started."""
        fresh = Driver(self.wine)
        try:
            return fresh.ask(*fields)
        finally:
            fresh.stop()
            fresh.process.stdin.close()
            fresh.process.stdout.close()

    def fresh_double_click_time(self):
        return self.ask_fresh_driver("doubleclicktime")[1]

    def set_double_click_time(self, milliseconds):
        self.ask_fresh_driver("setdoubleclicktime", milliseconds)

    def open_probe(self):
        self.assertTrue(self.driver.value("probe", *PROBE))


class SheetTest(SetupSheetCase):

    def test_opens_on_setting_a_then_shows_setting_b(self):
        sheet, mouse_page = self.open_sheet()
        self.assertEqual(self.driver.value("owner", sheet), self.window)
        self.assertEqual(self.driver.text(sheet), "")
        tabs = [c[0] for c in self.children(sheet) if c[2] == "SysTabControl32"]
        self.assertEqual(len(tabs), 1)
        self.assertEqual(self.driver.value("send", tabs[0], TCM_GETCURSEL, 0, 0), "0")
        self.assertTrue(self.driver.visible(mouse_page))
        self.assertIsNone(self.page(sheet, "Setting B"), "Setting B was made before it was shown")
        self.assertFalse(self.driver.enabled(self.driver.item(sheet, SHEET_APPLY)))
        self.assertEqual(self.caption(mouse_page, CLICK_ZONE), "Click Zone2")
        self.assertEqual(self.caption(mouse_page, RIGHT_BUTTON), "Show/Hide")
        self.shot("setting-a")

        touch_page = self.show_page(sheet, 1, "Setting B")
        self.assertEqual(self.driver.value("send", tabs[0], TCM_GETCURSEL, 0, 0), "1")
        self.assertEqual([self.caption(touch_page, r) for r in (NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE)],
                         ["Normal", "Click On Touch", "Click On Release"])
        self.assertEqual([self.checked(touch_page, r) for r in (NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE)],
                         [1, 0, 0])
        self.assertFalse(self.driver.enabled(self.driver.item(sheet, SHEET_APPLY)))
        self.shot("setting-b")
        self.close_sheet(sheet, SHEET_OK)
        # Opening the sheet saves nothing by itself; OK saves the touch mode.
        self.assertEqual(self.stored("TouchMode", "DZoneX"), {"TouchMode": 0, "DZoneX": None})

    def test_touch_modes_are_saved_and_used_at_once_and_cancel_keeps_them(self):
        self.open_probe()
        sheet, _ = self.open_sheet()
        touch_page = self.show_page(sheet, 1, "Setting B")
        self.assertEqual(self.touch_behaviour(0), "Normal")
        for spot, (radio, mode, name) in enumerate(((CLICK_ON_TOUCH, 1, "Click On Touch"),
                                                    (NORMAL, 0, "Normal"),
                                                    (CLICK_ON_RELEASE, 2, "Click On Release")), 1):
            self.assertTrue(self.driver.click(touch_page, radio))
            self.assertTrue(wait_for(lambda: self.registry.query("TouchMode") == mode), name)
            self.assertEqual(self.checked(touch_page, radio), 1)
            self.assertEqual(self.touch_behaviour(spot), name)
        self.close_sheet(sheet, SHEET_CANCEL)
        self.assertEqual(self.registry.query("TouchMode"), 2)
        self.assertEqual(self.touch_behaviour(4), "Click On Release")

        # The next opening shows the mode in effect.
        sheet, _ = self.open_sheet()
        touch_page = self.show_page(sheet, 1, "Setting B")
        self.assertEqual([self.checked(touch_page, r) for r in (NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE)],
                         [0, 0, 1])
        self.close_sheet(sheet, SHEET_CANCEL)

    def test_speed_slider_sets_the_double_click_time_and_saves_all_mouse_values(self):
        sheet, page = self.open_sheet()
        initial = self.position(page, SPEED)
        self.assertEqual(str(initial), self.driver.value("doubleclicktime"))
        self.assertNotEqual(initial, 200)
        # The double-click time is the desktop's: put it back for later tests.
        self.addCleanup(self.set_double_click_time, initial)
        self.drag_to_end(page, SPEED, right=False)
        self.assertTrue(wait_for(lambda: self.registry.query("DTime") == 200))
        self.assertEqual(self.position(page, SPEED), 200)
        self.assertEqual(self.stored(*MOUSE_VALUES),
                         {"DTime": 200, "DZONE": 1, "DZoneX": 200, "DZoneY": 200, "Beep": 0,
                          "Freq": 600, "Duration": 600})
        self.assertEqual(self.fresh_double_click_time(), "200")
        self.close_sheet(sheet, SHEET_CANCEL)

    def test_frequency_and_duration_releases_save(self):
        sheet, page = self.open_sheet()
        self.assertEqual((self.position(page, FREQUENCY), self.position(page, DURATION)), (600, 600))
        speed = self.position(page, SPEED)
        self.drag_to_end(page, FREQUENCY, right=True)
        self.assertTrue(wait_for(lambda: self.registry.query("Freq") == 4000))
        self.assertEqual(self.stored("DTime", "Duration", "DZoneX"),
                         {"DTime": speed, "Duration": 600, "DZoneX": 200})
        self.drag_to_end(page, DURATION, right=False)
        self.assertTrue(wait_for(lambda: self.registry.query("Duration") == 10))
        self.assertEqual(self.registry.query("Freq"), 4000)
        self.close_sheet(sheet, SHEET_OK)

        # The next opening shows the engine's new tone.
        sheet, page = self.open_sheet()
        self.assertEqual((self.position(page, FREQUENCY), self.position(page, DURATION)), (4000, 10))
        self.close_sheet(sheet, SHEET_CANCEL)

    def test_beep_switch_is_saved_with_the_other_mouse_values(self):
        sheet, page = self.open_sheet()
        self.assertEqual(self.checked(page, BEEP), 0)
        self.assertTrue(self.driver.click(page, BEEP))
        self.assertTrue(wait_for(lambda: self.registry.query("Beep") == 1))
        self.assertEqual(self.stored("DTime", "DZONE", "Freq"),
                         {"DTime": self.position(page, SPEED), "DZONE": 1, "Freq": 600})
        self.assertTrue(self.driver.click(page, BEEP))
        self.assertTrue(wait_for(lambda: self.registry.query("Beep") == 0))
        self.close_sheet(sheet, SHEET_CANCEL)

    def test_test_target_counts_double_taps(self):
        sheet, page = self.open_sheet()
        target = self.control(page, TEST_TARGET)
        self.assertEqual(self.driver.text(target), "")
        left, top, right, bottom = self.driver.rect(target)
        pixel_centre = ((left + right) // 2, (top + bottom) // 2)
        centre = raw_at(*pixel_centre)
        for count in ("0", "1"):
            # The pointer goes there first, then a touch and a quick second one.
            self.sim.send("report %d %d 2" % centre)
            self.assertTrue(wait_for(lambda: self._near(self.driver.cursor(), pixel_centre), 5))
            self.sim.send("tap %d %d" % centre, "wait 50", "tap %d %d" % centre)
            self.assertTrue(wait_for(lambda: self.driver.text(target) == count),
                            "caption %r" % self.driver.text(target))
            self.sim.send("wait 600")
        self.close_sheet(sheet, SHEET_CANCEL)


class ClickZoneTest(SetupSheetCase):
    REGISTRY = {"Port": "COM5", "DZONE": 0}

    def test_zone_button_cycles_the_zones_and_saves_them(self):
        sheet, page = self.open_sheet()
        target = self.control(page, TEST_TARGET)
        self.assertEqual(self.caption(page, CLICK_ZONE), "Click Zone1")
        self.assertEqual(self.size(target), (25, 18))
        self.assertIsNone(self.registry.query("DZoneX"))
        for caption, zone, extent in (("Click Zone2", 1, 200), ("Click Zone3", 2, 300),
                                      ("Click Zone4", 3, 400), ("Click Zone1", 0, 100)):
            self.assertTrue(self.driver.click(page, CLICK_ZONE))
            self.assertTrue(wait_for(lambda: self.caption(page, CLICK_ZONE) == caption))
            self.assertTrue(wait_for(lambda: self.registry.query("DZONE") == zone), caption)
            self.assertEqual(self.stored("DZoneX", "DZoneY"), {"DZoneX": extent, "DZoneY": extent})
            self.assertEqual(self.size(target),
                             (extent * SCREEN[0] // 4096, extent * SCREEN[1] // 4096))
            if zone == 3:
                self.shot("zone-4")
        self.close_sheet(sheet, SHEET_CANCEL)


class StoredTouchModeOutsideTheRangeTest(SetupSheetCase):
    REGISTRY = {"Port": "COM5", "TouchMode": 5}

    def test_no_mode_is_checked_and_ok_keeps_the_stored_mode(self):
        sheet, _ = self.open_sheet()
        touch_page = self.show_page(sheet, 1, "Setting B")
        self.assertEqual([self.checked(touch_page, r) for r in (NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE)],
                         [0, 0, 0])
        self.show_page(sheet, 0, "Setting A")
        self.close_sheet(sheet, SHEET_OK)
        self.assertEqual(self.registry.query("TouchMode"), 5)


class RightButtonTest(SetupSheetCase):
    REGISTRY = {"Port": "COM5", "Right": 0}

    def indicator(self):
        for window in self.driver.ask("ownedall", self.window, "#32770")[1:]:
            if window and self.driver.item(window, 1029):
                return window
        return None

    def test_show_hide_shows_and_hides_the_indicator_and_stores_right(self):
        indicator = wait_for(self.indicator)
        self.assertTrue(indicator)
        self.assertFalse(self.driver.visible(indicator))
        sheet, page = self.open_sheet()
        self.assertEqual(self.checked(page, RIGHT_BUTTON), 0)
        self.assertTrue(self.driver.click(page, RIGHT_BUTTON))
        self.assertTrue(wait_for(lambda: self.driver.visible(indicator)))
        self.assertEqual(self.registry.query("Right"), 1)
        self.assertEqual(self.driver.text(self.driver.item(indicator, 1029)), "Left")
        self.assertTrue(self.driver.click(page, RIGHT_BUTTON))
        self.assertTrue(wait_for(lambda: not self.driver.visible(indicator)))
        self.assertEqual(self.registry.query("Right"), 0)
        self.close_sheet(sheet, SHEET_OK)


class NoWritableKeyTest(SetupSheetCase):
    REGISTRY = {"Port": "COM5", "Right": 0}

    def test_changes_that_cannot_be_saved_change_nothing(self):
        self.open_probe()
        sheet, _ = self.open_sheet()
        touch_page = self.show_page(sheet, 1, "Setting B")
        indicator = [w for w in self.driver.ask("ownedall", self.window, "#32770")[1:]
                     if w and w != sheet][0]
        # The key goes away while the sheet is open: no save can open it.
        self.registry.reset(create=False)
        self.assertIsNone(self.registry.query("Port"))

        self.assertTrue(self.driver.click(touch_page, CLICK_ON_TOUCH))
        mouse_page = self.show_page(sheet, 0, "Setting A")
        self.assertTrue(self.driver.click(mouse_page, RIGHT_BUTTON))
        self.assertTrue(self.driver.click(mouse_page, CLICK_ZONE))
        # The clicks are handled in order: once the zone button shows its
        # new caption, the others have been handled too.
        self.assertTrue(wait_for(lambda: self.caption(mouse_page, CLICK_ZONE) == "Click Zone3"))
        self.assertEqual([self.checked(touch_page, r) for r in (NORMAL, CLICK_ON_TOUCH, CLICK_ON_RELEASE)],
                         [1, 0, 0], "the page does not show the mode in effect")
        self.assertEqual(self.checked(mouse_page, RIGHT_BUTTON), 0)
        self.assertFalse(self.driver.visible(indicator))
        self.assertEqual(self.touch_behaviour(0), "Normal")

        self.close_sheet(sheet, SHEET_OK)
        self.assertIsNone(self.registry.query("TouchMode"))
        self.assertIsNone(self.registry.query("DZONE"))
        self.assertEqual(self.touch_behaviour(1), "Normal")

class SecondStartTest(SetupSheetCase):
    def test_second_start_brings_the_open_sheet_forward(self):
        sheet, _ = self.open_sheet()
        probe = self.driver.value("probe", 600, 500, 200, 150)
        self.driver.ask("foreground-set", probe)
        self.assertTrue(wait_for(lambda: self.driver.value("foreground") == probe),
                        "the probe window did not come to the foreground")
        first = self.program
        second = self.start_program()
        self.assertTrue(wait_for(lambda: second.poll() is not None, 15), "second instance kept running")
        self.assertTrue(wait_for(lambda: self.driver.value("foreground") == sheet),
                        "the sheet was not brought forward")
        self.assertIsNone(first.poll())


if __name__ == "__main__":
    unittest.main()
