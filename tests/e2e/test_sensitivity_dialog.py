"""The Advanced command: the controller's sensitivity parameters read from
the simulator's EEPROM, shown, and written back by Apply and Default; a
controller that does not answer gets a message box instead."""
import os
import re
import subprocess
import tempfile
import time
import unittest

from harness import ProgramTestCase, ROOT, Touchsim, wait_for

ADVANCED = 1010
PRESSURE, DOWNCOUNT, UPCOUNT, STABDELAY = 1023, 1024, 1027, 1030
LABELS = {PRESSURE: 1025, DOWNCOUNT: 1028, UPCOUNT: 1029, STABDELAY: 1031}
APPLY, DEFAULT, IDOK, IDCANCEL = 1026, 1032, 1, 2
WM_COMMAND, WM_CLOSE = 0x0111, 0x0010
TBM_GETPOS = 0x400
REQUEST = "55 79 00 00 00 00 00 00 00 00"


def write_command(pressure, down, up, delay):
    values = []
    for value in (pressure, down, up, delay):
        values += [value >> 8 & 0xFF, value & 0xFF]
    return "55 78 " + " ".join("%02X" % v for v in values)


class LoggedTouchsim(Touchsim):
    """The simulator with its EEPROM in a file and every byte it receives
    logged, so a test sees exactly what the program sent to the controller."""

    def __init__(self, wine, eeprom, extra=()):
        self.link = wine.com_link(5)
        self.log_path = eeprom + ".log"
        binary = os.environ.get("ZT_TOUCHSIM") or os.path.join(ROOT, "build", "native", "tools", "touchsim", "touchsim")
        self.log_file = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [binary, "--link", self.link, "--eeprom", eeprom, "--verbose"] + list(extra),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log_file, text=True)
        self.path = self.process.stdout.readline().strip()
        if not wait_for(lambda: os.path.islink(self.link), 10):
            raise RuntimeError("touchsim did not link " + self.link)

    def stop(self):
        super().stop()
        self.process.stdin.close()
        self.process.stdout.close()
        self.log_file.close()

    def log(self):
        with open(self.log_path) as file:
            return file.read()

    def received(self):
        """Every byte received, in hex, as one string."""
        chunks = re.findall(r"^touchsim: rx: ([0-9A-F ]+)$", self.log(), re.MULTILINE)
        return " ".join(chunks)

    def unanswered_requests(self):
        return self.log().count("parameter request left unanswered")


class SensitivityCase(ProgramTestCase):
    SIMULATOR = False
    EEPROM = "750 5 9 400"
    SIMULATOR_OPTIONS = ()

    def setUp(self):
        super().setUp()
        folder = tempfile.mkdtemp(prefix="zt-eeprom-")
        self.eeprom = os.path.join(folder, "eeprom.txt")
        with open(self.eeprom, "w") as file:
            file.write(self.EEPROM + "\n")
        self.sim = LoggedTouchsim(self.wine, self.eeprom, self.SIMULATOR_OPTIONS)
        self.start_program()
        self.window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.enabled(self.driver.item(self.window, ADVANCED))))

    def stored_eeprom(self):
        with open(self.eeprom) as file:
            return file.read().split()

    def open_dialog(self):
        self.assertTrue(self.driver.click(self.window, ADVANCED))
        dialog = self.driver.wait_window("Advanced")
        self.assertTrue(dialog, "the sensitivity dialog did not open")
        self.assertTrue(wait_for(lambda: self.driver.visible(dialog)))
        return dialog

    def labels(self, dialog):
        return [self.driver.text(self.driver.item(dialog, LABELS[s]))
                for s in (PRESSURE, DOWNCOUNT, UPCOUNT, STABDELAY)]

    def positions(self, dialog):
        return [int(self.driver.value("send", self.driver.item(dialog, s), TBM_GETPOS, 0, 0))
                for s in (PRESSURE, DOWNCOUNT, UPCOUNT, STABDELAY)]

    def slide(self, dialog, slider, right):
        handle = self.driver.item(dialog, slider)
        left, _, right_edge, _ = self.driver.rect(handle)
        x = right_edge - left + 50 if right else -50
        self.assertEqual(self.driver.ask("slide", handle, x)[0], "OK")

    def close(self, dialog, *message):
        self.driver.post(dialog, *message)
        self.assertTrue(wait_for(lambda: not self.driver.find("Advanced")))


class SensitivityDialogTest(SensitivityCase):

    def test_shows_the_values_the_controller_reports(self):
        dialog = self.open_dialog()
        self.assertEqual(self.driver.value("owner", dialog), self.window)
        self.assertEqual(self.labels(dialog),
                         ["Pressure: 750", "DownCount: 5", "UpCount: 9", "Stabilization Delay: 400"])
        self.assertEqual(self.positions(dialog), [750, 5, 9, 400])
        self.assertEqual(self.sim.received(), REQUEST)
        self.shot("advanced")
        self.close(dialog, WM_COMMAND, IDOK, 0)
        self.assertEqual(self.sim.received(), REQUEST)

    def test_released_sliders_are_relabelled_and_apply_sends_their_positions(self):
        dialog = self.open_dialog()
        self.slide(dialog, PRESSURE, right=False)
        self.slide(dialog, STABDELAY, right=True)
        self.assertTrue(wait_for(lambda: self.labels(dialog) ==
                                 ["Pressure: 600", "DownCount: 5", "UpCount: 9", "Stabilization Delay: 600"]))
        self.assertEqual(self.sim.received(), REQUEST, "a slider release sent something")
        self.assertTrue(self.driver.click(dialog, APPLY))
        self.assertTrue(wait_for(lambda: self.stored_eeprom() == ["600", "5", "9", "600"]))
        self.assertEqual(self.sim.received(), REQUEST + " " + write_command(600, 5, 9, 600))
        self.close(dialog, WM_COMMAND, IDOK, 0)

    def test_default_sends_the_default_set_and_moves_the_sliders_there(self):
        dialog = self.open_dialog()
        self.assertTrue(self.driver.click(dialog, DEFAULT))
        self.assertTrue(wait_for(lambda: self.stored_eeprom() == ["705", "3", "7", "360"]))
        self.assertEqual(self.sim.received(), REQUEST + " 55 78 02 C1 00 03 00 07 01 68")
        self.assertTrue(wait_for(lambda: self.positions(dialog) == [705, 3, 7, 360]))
        self.assertEqual(self.labels(dialog),
                         ["Pressure: 705", "DownCount: 3", "UpCount: 7", "Stabilization Delay: 360"])
        # Apply then sends the same set again.
        self.assertTrue(self.driver.click(dialog, APPLY))
        self.assertTrue(wait_for(lambda: self.sim.received().count("55 78") == 2))
        self.assertEqual(self.sim.received(), REQUEST + (" " + write_command(705, 3, 7, 360)) * 2)
        self.close(dialog, WM_CLOSE, 0, 0)

    def test_moved_sliders_closed_with_ok_or_escape_send_nothing(self):
        for closing in ((WM_COMMAND, IDOK, 0), (WM_COMMAND, IDCANCEL, 0), (WM_CLOSE, 0, 0)):
            dialog = self.open_dialog()
            self.assertEqual(self.labels(dialog)[0], "Pressure: 750")
            for slider in (PRESSURE, DOWNCOUNT, UPCOUNT, STABDELAY):
                self.slide(dialog, slider, right=True)
            self.assertTrue(wait_for(lambda: self.positions(dialog) == [900, 20, 20, 600]), closing)
            self.close(dialog, *closing)
            self.assertEqual(self.stored_eeprom(), ["750", "5", "9", "400"])
        self.assertEqual(self.sim.received(), " ".join([REQUEST] * 3))


class ReplyAboveTheRangeTest(SensitivityCase):
    EEPROM = "1000 3 7 360"

    def test_label_shows_the_reply_and_apply_sends_the_slider_end(self):
        dialog = self.open_dialog()
        self.assertEqual(self.labels(dialog)[0], "Pressure: 1000")
        self.assertEqual(self.positions(dialog)[0], 900)
        self.assertTrue(self.driver.click(dialog, APPLY))
        self.assertTrue(wait_for(lambda: self.stored_eeprom() == ["900", "3", "7", "360"]))
        self.close(dialog, WM_COMMAND, IDOK, 0)


class SilentControllerTest(SensitivityCase):
    SIMULATOR_OPTIONS = ("--silent",)

    def test_three_unanswered_requests_give_a_message_box_and_no_dialog(self):
        started = time.monotonic()
        self.assertTrue(self.driver.click(self.window, ADVANCED))
        box = self.driver.wait_window("ZeltraTouch", timeout=20)
        waited = time.monotonic() - started
        self.assertTrue(box, "no message box")
        # Three requests, each followed by 10 x 100 ms of polls and 500 ms.
        self.assertGreaterEqual(waited, 4.4)
        self.assertEqual(self.sim.unanswered_requests(), 3)
        self.assertEqual(self.sim.received(), " ".join([REQUEST] * 3))
        self.assertEqual(self.driver.value("owner", box), self.window)
        texts = [entry.split(",", 3)[3] for entry in self.driver.ask("children", box)[1:] if entry]
        self.assertIn("can't read eeprom data", texts)
        self.assertIn("OK", texts)
        self.shot("cant-read-eeprom")
        self.assertTrue(self.driver.click(box, IDOK))
        self.assertTrue(wait_for(lambda: not self.driver.find("ZeltraTouch")))
        self.assertFalse(self.driver.find("Advanced"))


class LateReplyTest(SensitivityCase):
    SIMULATOR_OPTIONS = ("--silent",)

    def test_reply_after_the_second_request_opens_the_dialog(self):
        self.assertTrue(self.driver.click(self.window, ADVANCED))
        self.assertTrue(wait_for(lambda: self.sim.unanswered_requests() == 1))
        # The second request (1.5 s after the first) is answered 250 ms late.
        self.sim.send("silent off", "reply-delay 250")
        dialog = self.driver.wait_window("Advanced", timeout=20)
        self.assertTrue(dialog, "the sensitivity dialog did not open")
        self.assertEqual(self.labels(dialog)[0], "Pressure: 750")
        self.assertEqual(self.sim.received(), " ".join([REQUEST] * 2))
        self.assertFalse(self.driver.find("ZeltraTouch"))
        self.close(dialog, WM_COMMAND, IDOK, 0)


if __name__ == "__main__":
    unittest.main()
