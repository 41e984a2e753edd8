"""The program as a whole: start-up rules, the serial line it opens, the port
box and Apply, hiding into the tray and coming back, the About box, a single
instance, and the end of the program."""
import os
import pathlib
import tempfile
import termios
import unittest

from harness import (IDCANCEL, IDOK, IDS, TITLE, WM_CLOSE, WM_COMMAND, WM_SYSCOMMAND,
                     ProgramTestCase, wait_for)

WM_TRAY_NOTIFY, WM_LBUTTONDOWN = 0x80A3, 0x0201
WM_ENDSESSION, ENDSESSION_CLOSEAPP = 0x0016, 1
COMMANDS = (IDS.IDC_MAIN_SETTING, IDS.IDC_MAIN_CALIBRATION, IDS.IDC_MAIN_ADVANCED)


class ProgramCase(ProgramTestCase):
    def commands(self, window):
        return [self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS]

    def apply(self, window, port):
        box = self.driver.item(window, IDS.IDC_MAIN_PORT)
        self.driver.ask("settext", box, port)
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_APPLY))
        return box


class MainWindowTest(ProgramCase):

    def test_starts_the_engine_on_a_9600_8N2_line(self):
        window = self.start_with_engine()
        self.assertEqual(self.driver.text(window), TITLE)
        self.assertEqual(self.commands(window), [True, True, True])
        port = self.driver.item(window, IDS.IDC_MAIN_PORT)
        self.assertEqual(self.driver.text(port), "COM5")
        attributes = termios.tcgetattr(os.open(self.sim.path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK))
        self.assertEqual(attributes[4:6], [termios.B9600, termios.B9600])
        cflag = attributes[2]
        self.assertEqual((cflag & termios.CSIZE, bool(cflag & termios.CSTOPB), bool(cflag & termios.PARENB)),
                         (termios.CS8, True, False))
        self.shot("main")

    def test_ok_escape_and_close_hide_and_the_tray_icon_brings_it_back(self):
        window = self.start_with_engine()
        for hide in ((WM_COMMAND, IDS.IDC_MAIN_OK, 0), (WM_COMMAND, IDCANCEL, 0), (WM_CLOSE, 0, 0)):
            self.driver.post(window, *hide)
            self.assertTrue(wait_for(lambda: not self.driver.visible(window)), hide)
            icon = self.driver.find(None, "ZeltraTouchTaskbarIcon")
            self.assertTrue(icon and self.driver.find(None, "__winex11_standalone_tray"), "no tray icon")
            # Only mouse messages are passed on: this one must not close anything.
            self.driver.post(icon, WM_TRAY_NOTIFY, 0, WM_CLOSE)
            self.driver.post(icon, WM_TRAY_NOTIFY, 0, WM_LBUTTONDOWN)
            self.assertTrue(wait_for(lambda: self.driver.visible(window)), hide)
        self.assertEqual(self.commands(window), [True, True, True])

    def test_the_about_box_is_modal_over_the_main_window(self):
        window = self.start_with_engine()
        self.driver.post(window, WM_SYSCOMMAND, IDS.IDM_ABOUTBOX, 0)
        about = wait_for(lambda: self.driver.find("About  Tactivo v1.05"))
        self.assertTrue(about)
        self.assertEqual(self.driver.value("owner", about), window)
        self.assertFalse(self.driver.enabled(window))
        self.shot("about")
        self.driver.click(about, IDOK)
        self.assertTrue(wait_for(lambda: self.driver.enabled(window)))

    def test_the_port_box_holds_a_port_name_and_the_state_line_the_rest(self):
        window = self.start_with_engine()
        state = self.driver.item(window, IDS.IDC_MAIN_LINK_STATE)
        for _ in range(2):  # a second Apply while it is waited for stores the same port
            box = self.apply(window, "COM12")
            self.assertTrue(wait_for(lambda: self.driver.text(state).startswith("Waiting for COM12")))
            self.assertEqual(self.commands(window), [False, False, False])
            self.assertEqual((self.driver.text(box), self.registry.query("Port")), ("COM12", "COM12"))
        self.shot("waiting")
        for text in ("Can't Open", "C" * 1024):
            self.apply(window, text)
            self.assertTrue(wait_for(lambda: self.driver.text(state).startswith("Not a port name")))
            self.assertEqual(self.registry.query("Port"), "COM12")
        for port in ("com5", "COM5"):
            self.apply(window, port)
            self.assertTrue(wait_for(lambda: self.commands(window) == [True] * 3), port)
            self.assertEqual((self.driver.text(box), self.registry.query("Port")), (port, port))

    def test_idok_ends_and_a_second_start_brings_the_first_back(self):
        window = self.start_with_engine()
        self.driver.post(window, WM_COMMAND, IDS.IDC_MAIN_OK, 0)
        self.assertTrue(wait_for(lambda: not self.driver.visible(window)))
        second = self.start_program()
        self.assertTrue(wait_for(lambda: second.poll() is not None, 15), "a second instance kept running")
        self.assertTrue(wait_for(lambda: self.driver.visible(window)))
        self.driver.post(window, WM_COMMAND, IDOK, 0)
        self.assertTrue(wait_for(lambda: self.started[0].poll() is not None, 15))

    def test_after_a_logoff_ends_it_an_import_is_refused_and_a_restart_managers_close_ends_it(self):
        window = self.start_with_engine()
        self.driver.send(window, WM_ENDSESSION, 1, 0)
        settings = os.path.join(tempfile.mkdtemp(prefix="zt-import-"), "beep.conf")
        pathlib.Path(settings).write_text("Beep=1\n")
        # Refused: no engine starts again after the logoff's end.
        self.assertEqual(self.wine.run(os.environ["ZT_EXE"], "/import", "Z:" + settings.replace("/", "\\")).returncode, 6)
        self.driver.post(window, WM_ENDSESSION, 1, ENDSESSION_CLOSEAPP)
        self.assertTrue(wait_for(lambda: self.started[0].poll() is not None, 15))


class StartUpRulesTest(ProgramCase):
    REGISTRY = {"Port": "COM5", "First": 0, "ZeltraTouch": "Touch Panel"}

    def test_the_title_comes_from_the_key_and_first_0_hides_into_the_tray(self):
        self.start_program()
        window = self.main_window("Touch Panel", visible=False)
        self.assertTrue(wait_for(lambda: self.driver.find(None, "__winex11_standalone_tray")))
        self.assertTrue(wait_for(lambda: not self.driver.visible(window)))

    def test_without_a_key_there_is_no_engine_and_apply_writes_nothing(self):
        self.registry.reset(create=False)
        self.start_program()
        window = self.main_window("")
        self.assertEqual(self.commands(window), [False, False, False])
        self.apply(window, "COM5")
        self.assertEqual(self.commands(window), [False, False, False])
        self.assertIsNone(self.registry.query("Port"))

    def test_a_key_without_a_port_ends_silently(self):
        self.registry.reset({"First": 1})
        program = self.start_program()
        self.assertTrue(wait_for(lambda: program.poll() is not None, 15))
        self.assertFalse(self.driver.find(TITLE))


if __name__ == "__main__":
    unittest.main()
