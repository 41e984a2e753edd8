"""The main window: start-up rules, port handling, hiding into the tray and
coming back, the About box and the end of the program."""
import unittest

from harness import ProgramTestCase, wait_for

TITLE = "TactivoV1.12 "
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_CLOSE = 0x0010
IDOK = 1
IDCANCEL = 2
OK, PORT, CALIBRATION, SETTING, APPLY, ADVANCED = 1000, 1005, 1006, 1008, 1009, 1010
COMMANDS = (SETTING, CALIBRATION, ADVANCED)


class MainWindowCase(ProgramTestCase):
    def commands_enabled(self, window):
        return [self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS]


class MainWindowTest(MainWindowCase):

    def test_starts_the_engine_and_shows_the_port(self):
        self.start_program()
        window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.visible(window)))
        self.assertEqual(self.driver.text(window), TITLE)
        self.assertEqual(self.commands_enabled(window), [True, True, True])
        self.assertEqual(self.driver.text(self.driver.item(window, PORT)), "COM5")
        self.shot("main")

    def test_about_box_opens_from_the_system_menu_command(self):
        self.start_program()
        window = self.main_window()
        self.driver.post(window, WM_SYSCOMMAND, 16, 0)
        about = self.driver.wait_window("About  Tactivo v1.05")
        self.assertTrue(about)
        self.shot("about")
        self.driver.click(about, IDOK)
        self.assertTrue(wait_for(lambda: not self.driver.find("About  Tactivo v1.05")))

    def test_ok_escape_and_close_only_hide_and_the_tray_brings_it_back(self):
        self.start_program()
        window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.visible(window)))
        for hide in ((WM_COMMAND, OK, 0), (WM_COMMAND, IDCANCEL, 0), (WM_CLOSE, 0, 0)):
            self.driver.post(window, *hide)
            self.assertTrue(wait_for(lambda: not self.driver.visible(window)), hide)
            self.assertTrue(self.driver.tray(), "no tray icon after hiding")
            # A press on the tray icon asks the main window to show itself.
            self.driver.post(window, 0x0400 + 10, 0, 0)
            self.assertTrue(wait_for(lambda: self.driver.visible(window)), hide)
        self.assertEqual(self.commands_enabled(window), [True, True, True])

    def test_idok_ends_the_program(self):
        program = self.start_program()
        window = self.main_window()
        self.driver.post(window, WM_COMMAND, IDOK, 0)
        self.assertTrue(wait_for(lambda: program.poll() is not None, 15))
        self.assertFalse(self.driver.find(TITLE))

    def test_apply_of_a_missing_port_shows_cant_open_and_disables_the_commands(self):
        self.start_program()
        window = self.main_window()
        port = self.driver.item(window, PORT)
        self.driver.ask("settext", port, "COM12")
        self.assertTrue(self.driver.click(window, APPLY))
        self.assertTrue(wait_for(lambda: self.driver.text(port) == "Can't Open"))
        self.assertEqual(self.commands_enabled(window), [False, False, False])
        self.assertEqual(self.registry.query("Port"), "COM12")
        self.shot("cant-open")
        # Applying again stores "Can't Open" itself and fails the same way.
        self.assertTrue(self.driver.click(window, APPLY))
        self.assertTrue(wait_for(lambda: self.registry.query("Port") == "Can't Open"))
        self.assertEqual(self.driver.text(port), "Can't Open")

    def test_apply_of_the_simulator_port_starts_the_engine_again(self):
        self.start_program()
        window = self.main_window()
        port = self.driver.item(window, PORT)
        self.driver.ask("settext", port, "COM9")
        self.driver.click(window, APPLY)
        self.assertTrue(wait_for(lambda: self.driver.text(port) == "Can't Open"))
        self.driver.ask("settext", port, "com5")
        self.driver.click(window, APPLY)
        self.assertTrue(wait_for(lambda: self.commands_enabled(window) == [True, True, True]))
        self.assertEqual(self.registry.query("Port"), "com5")

    def test_second_start_brings_the_hidden_first_instance_back(self):
        self.start_program()
        window = self.main_window()
        self.driver.post(window, WM_COMMAND, OK, 0)
        self.assertTrue(wait_for(lambda: not self.driver.visible(window)))
        second = self.start_program()
        self.assertTrue(wait_for(lambda: second.poll() is not None, 15), "second instance kept running")
        self.assertTrue(wait_for(lambda: self.driver.visible(window)))
        self.assertEqual(self.driver.find_main(TITLE), window)


class FirstZeroTest(ProgramTestCase):
    REGISTRY = {"Port": "COM5", "First": 0}

    def test_hides_into_the_tray_shortly_after_start(self):
        self.start_program()
        window = self.main_window(visible=False)
        self.assertTrue(self.driver.tray())
        self.assertTrue(wait_for(lambda: not self.driver.visible(window)))


class NoKeyTest(MainWindowCase):
    REGISTRY = None

    def test_runs_with_an_empty_caption_and_no_engine(self):
        self.start_program()
        window = self.main_window(title="")
        self.assertTrue(wait_for(lambda: self.driver.visible(window)))
        self.assertEqual(self.commands_enabled(window), [False, False, False])
        self.assertEqual(self.driver.text(self.driver.item(window, PORT)), "")
        # Apply writes nothing and reports nothing.
        self.driver.ask("settext", self.driver.item(window, PORT), "COM1")
        self.driver.click(window, APPLY)
        self.assertEqual(self.commands_enabled(window), [False, False, False])
        self.assertIsNone(self.registry.query("Port"))


class NoPortTest(ProgramTestCase):
    REGISTRY = {"First": 1}

    def test_ends_silently(self):
        program = self.start_program()
        self.assertTrue(wait_for(lambda: program.poll() is not None, 15))
        self.assertFalse(self.driver.find(TITLE))


class TitleTest(ProgramTestCase):
    REGISTRY = {"Port": "COM5", "ZeltraTouch": "Touch Panel"}

    def test_caption_comes_from_the_registry(self):
        self.start_program()
        self.main_window(title="Touch Panel")


if __name__ == "__main__":
    unittest.main()
