"""The setup sheet and the Advanced dialog: each change reaching the running
engine and the registry at once (or neither, without a writable key), and
the controller's sensitivity parameters read, shown and written back."""
import os
import re
import tempfile
import unittest

from harness import (IDCANCEL, IDOK, IDS, SCREEN, WM_CLOSE, WM_COMMAND, Driver, ProgramTestCase, Touchsim, near,
                     raw_at, wait_for)

SHEET_OK, SHEET_CANCEL, PSM_SETCURSEL, BM_GETCHECK, TBM_GETPOS = 1, 2, 0x465, 0xF0, 0x400
MODES = (IDS.IDC_TOUCH_NORMAL, IDS.IDC_TOUCH_CLICK_ON_TOUCH, IDS.IDC_TOUCH_CLICK_ON_RELEASE)
PROBE = (20, 420, 220, 300)  # where test touches click, away from the sheet


class SetupCase(ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.window = self.start_with_engine()

    def page(self, sheet, title):
        return self.driver.value("child", sheet, "#32770", title)

    def open_sheet(self, index=0):
        """The sheet and its page index, once shown."""
        self.assertTrue(self.driver.click(self.window, IDS.IDC_MAIN_SETTING))
        sheet = wait_for(lambda: next((w for w in self.driver.ask("owned", self.window, "#32770")[1:]
                                       if w and self.page(w, "Setting A")), None))
        self.assertTrue(sheet, "the setup sheet did not open")
        if index:  # the first page is shown at once; selecting it again would hide it for a moment
            self.driver.post(sheet, PSM_SETCURSEL, index, 0)
        page = wait_for(lambda: self.page(sheet, ("Setting A", "Setting B")[index]))
        self.assertTrue(page and wait_for(lambda: self.driver.visible(page)))
        return sheet, page

    def close(self, window, button):
        self.assertTrue(self.driver.click(window, button))
        self.assertTrue(wait_for(lambda: self.driver.value("exists", window) == "0"))

    def checked(self, page, *controls):
        return [self.driver.send(self.driver.item(page, c), BM_GETCHECK) for c in controls]

    def slide(self, window, slider, to_right):
        """Drags a slider's thumb past one end of its channel and lets go,
        once the slider of a dialog just opened is there (past an end is
        the same end however often)."""
        handle = wait_for(lambda: self.driver.item(window, slider))
        left, _, right, _ = self.driver.rect(handle)
        self.assertTrue(wait_for(lambda: self.driver.ask("slide", handle, right - left + 50 if to_right else -50)[0]
                                 == "OK"))

    def press_lands_at_the_lift(self):
        """A touch on the probe that moves down 120 pixels before its lift:
        is the button pressed where the finger lifts (Click On Release)?"""
        start, end = (PROBE[0] + 50, PROBE[1] + 40), (PROBE[0] + 50, PROBE[1] + 160)
        self.driver.value("events")
        for status, (x, y) in ((1, start), (2, end), (4, end)):
            self.sim.send("report %d %d %d" % (raw_at(x, y) + (status,)))
            self.assertTrue(wait_for(lambda: near(self.driver.cursor(), (x, y)), 5))
        down = re.search(r"LDOWN \d+ (\d+);", self.driver.events_until("LUP"))
        return bool(down) and abs(int(down.group(1)) + PROBE[1] - end[1]) <= 2


class SetupSheetTest(SetupCase):
    REGISTRY = {"Port": "COM5", "DZONE": 0}

    def test_touch_modes_take_effect_and_are_saved_at_once(self):
        self.assertTrue(self.driver.value("probe", *PROBE))
        sheet, page = self.open_sheet(1)
        self.assertEqual(self.checked(page, *MODES), [1, 0, 0])
        self.shot("setting-b")
        self.assertFalse(self.press_lands_at_the_lift())
        for mode in (1, 0, 2):
            self.assertTrue(self.driver.click(page, MODES[mode]))
            self.assertTrue(wait_for(lambda: self.registry.query("TouchMode") == mode), mode)
        self.assertTrue(self.press_lands_at_the_lift())
        self.assertTrue(self.driver.click(page, IDS.IDC_MAPPING_PRECISE))
        self.assertTrue(wait_for(lambda: self.registry.query("Mapping") == 1))
        self.close(sheet, SHEET_CANCEL)
        sheet, page = self.open_sheet(1)
        self.assertEqual(self.checked(page, *MODES, IDS.IDC_MAPPING_PRECISE), [0, 0, 1, 1])
        self.close(sheet, SHEET_OK)

    def test_the_mouse_page_saves_all_seven_values_with_each_change(self):
        sheet, page = self.open_sheet()
        target = self.driver.item(page, IDS.IDC_MOUSE_TEST_TARGET)
        zone = self.driver.item(page, IDS.IDC_MOUSE_CLICK_ZONE)
        self.assertEqual(self.driver.text(zone), "Click Zone1")
        self.shot("setting-a")
        for caption, number, extent in (("Click Zone2", 1, 200), ("Click Zone3", 2, 300),
                                        ("Click Zone4", 3, 400), ("Click Zone1", 0, 100)):
            self.assertTrue(self.driver.click(page, IDS.IDC_MOUSE_CLICK_ZONE))
            self.assertTrue(wait_for(lambda: self.registry.query("DZONE") == number), caption)
            self.assertEqual(self.driver.text(zone), caption)
            self.assertEqual((self.registry.query("DZoneX"), self.registry.query("DZoneY")), (extent, extent))
            left, top, right, bottom = self.driver.rect(target)
            self.assertEqual((right - left, bottom - top), (extent * SCREEN[0] // 4096, extent * SCREEN[1] // 4096))

        speed = self.driver.send(self.driver.item(page, IDS.IDC_MOUSE_SPEED), TBM_GETPOS)
        self.addCleanup(lambda: self.fresh_driver("setdoubleclicktime", speed))
        self.slide(page, IDS.IDC_MOUSE_SPEED, to_right=False)
        self.slide(page, IDS.IDC_MOUSE_FREQUENCY, to_right=True)
        self.assertTrue(self.driver.click(page, IDS.IDC_MOUSE_BEEP))
        self.assertTrue(wait_for(lambda: self.registry.query("Beep") == 1))
        values = self.registry.values()
        self.assertEqual([values.get(n) for n in ("DTime", "DZONE", "DZoneX", "DZoneY", "Freq", "Duration")],
                         [200, 0, 100, 100, 4000, 600])
        self.assertEqual(self.fresh_driver("doubleclicktime"), ["OK", "200"])  # the desktop's
        self.close(sheet, SHEET_OK)

    def fresh_driver(self, *fields):
        """Asks a driver started now: a running program keeps the double-click
        time that was in effect when it started."""
        driver = Driver(self.wine)
        try:
            return driver.ask(*fields)
        finally:
            driver.stop()


class RightButtonTest(SetupCase):
    REGISTRY = {"Port": "COM5", "Right": 0}

    def test_show_hide_switches_the_indicator_unless_the_key_cannot_be_written(self):
        indicator = wait_for(lambda: self.driver.value("owned", self.window, "#32770"))
        self.assertFalse(self.driver.visible(indicator))
        sheet, page = self.open_sheet()
        for right in (1, 0):
            self.assertTrue(self.driver.click(page, IDS.IDC_MOUSE_RIGHT_BUTTON))
            self.assertTrue(wait_for(lambda: self.driver.visible(indicator) == bool(right)))
            self.assertEqual(self.registry.query("Right"), right)
        # The key goes away while the sheet is open: no change can be saved,
        # and none takes effect.
        self.registry.reset(create=False)
        self.assertTrue(self.driver.click(page, IDS.IDC_MOUSE_RIGHT_BUTTON))
        self.assertTrue(self.driver.click(page, IDS.IDC_MOUSE_CLICK_ZONE))
        self.assertTrue(wait_for(lambda: self.driver.text(self.driver.item(page, IDS.IDC_MOUSE_CLICK_ZONE)) == "Click Zone3"))
        self.assertEqual(self.checked(page, IDS.IDC_MOUSE_RIGHT_BUTTON), [0])
        self.assertFalse(self.driver.visible(indicator))
        self.close(sheet, SHEET_OK)
        self.assertIsNone(self.registry.query("DZONE"))


class AdvancedTest(SetupCase):
    SLIDERS = (IDS.IDC_ADV_PRESSURE, IDS.IDC_ADV_DOWNCOUNT, IDS.IDC_ADV_UPCOUNT, IDS.IDC_ADV_STABDELAY)
    LABELS = (IDS.IDC_ADV_PRESSURE_LABEL, IDS.IDC_ADV_DOWNCOUNT_LABEL, IDS.IDC_ADV_UPCOUNT_LABEL,
              IDS.IDC_ADV_STABDELAY_LABEL)
    REQUEST = "55 79 00 00 00 00 00 00 00 00"

    def make_simulator(self):
        self.eeprom = os.path.join(tempfile.mkdtemp(prefix="zt-eeprom-"), "eeprom.txt")
        with open(self.eeprom, "w") as file:
            file.write("1000 5 9 400\n")  # a pressure above its slider's range
        return Touchsim(self.wine, 5, eeprom=self.eeprom)

    def stored(self):
        with open(self.eeprom) as file:
            return file.read().split()

    def open_dialog(self):
        self.assertTrue(self.driver.click(self.window, IDS.IDC_MAIN_ADVANCED))
        dialog = wait_for(lambda: self.driver.find("Advanced"))
        self.assertTrue(dialog and self.driver.value("owner", dialog) == self.window)
        return dialog

    def shown(self, dialog):
        return ([self.driver.text(self.driver.item(dialog, label)) for label in self.LABELS],
                [self.driver.send(self.driver.item(dialog, slider), TBM_GETPOS) for slider in self.SLIDERS])

    def test_reads_shows_and_writes_the_controllers_parameters(self):
        dialog = self.open_dialog()
        expected = (["Pressure: 1000", "DownCount: 5", "UpCount: 9", "Stabilization Delay: 400"], [900, 5, 9, 400])
        self.assertTrue(wait_for(lambda: self.shown(dialog) == expected), self.shown(dialog))  # found before filled
        self.shot("advanced")
        self.slide(dialog, IDS.IDC_ADV_STABDELAY, to_right=True)
        self.assertTrue(wait_for(lambda: self.shown(dialog)[0][3] == "Stabilization Delay: 600"))
        self.assertEqual(self.sim.received(), self.REQUEST, "a slider release sent something")
        self.assertTrue(self.driver.click(dialog, IDS.IDC_ADV_APPLY))
        self.assertTrue(wait_for(lambda: self.stored() == ["900", "5", "9", "600"]))
        self.assertTrue(self.driver.click(dialog, IDS.IDC_ADV_DEFAULT))
        self.assertTrue(wait_for(lambda: self.stored() == ["705", "3", "7", "360"]))
        self.assertEqual(self.shown(dialog)[1], [705, 3, 7, 360])
        self.assertEqual(self.sim.received(), " ".join(
            [self.REQUEST, "55 78 03 84 00 05 00 09 02 58", "55 78 02 C1 00 03 00 07 01 68"]))
        # Moved sliders closed with OK, Escape or the close box send nothing.
        for closing in ((WM_COMMAND, IDOK, 0), (WM_COMMAND, IDCANCEL, 0), (WM_CLOSE, 0, 0)):
            self.slide(dialog, IDS.IDC_ADV_PRESSURE, to_right=False)
            self.driver.post(dialog, *closing)
            self.assertTrue(wait_for(lambda: not self.driver.find("Advanced")))
            self.assertEqual(self.stored(), ["705", "3", "7", "360"])
            dialog = self.open_dialog() if closing[0] != WM_CLOSE else None

    def test_a_silent_controller_gets_a_message_box(self):
        self.sim.send("silent on")
        self.assertTrue(self.driver.click(self.window, IDS.IDC_MAIN_ADVANCED))
        box = wait_for(lambda: self.driver.find("ZeltraTouch"), 15)
        self.assertTrue(box, "no message box")
        self.assertTrue(self.driver.value("child", box, "Static", "can't read eeprom data"))
        self.assertEqual(self.sim.received(), " ".join([self.REQUEST] * 3))
        self.assertIsNone(self.driver.find("Advanced"))
        self.driver.post(box, WM_COMMAND, IDOK, 0)


if __name__ == "__main__":
    unittest.main()
