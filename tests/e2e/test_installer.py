"""The setup program, installed, started and uninstalled silently: the settings
key with its first values and access for ordinary users, the program and its
Start-menu entry, start at logon as an option, and nothing left afterwards."""
import os
import unittest

from harness import IDOK, TITLE, WM_COMMAND, ProgramTestCase, wait_for

INSTALL_DIR = r"C:\ZeltraTouchTest\ZeltraTouch"
START_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\ZeltraTouch"
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE, WRITE_DAC, WRITE_OWNER = 0x1, 0x2, 0x4, 0x10000, 0x40000, 0x80000


class InstallerTest(ProgramTestCase):
    REGISTRY = None
    SIMULATOR = None

    def install(self, *options):
        result = self.wine.run(os.environ["ZT_INSTALLER"], "/S", *options, "/D=" + INSTALL_DIR, timeout=120)
        self.assertEqual(result.returncode, 0)

    def installed(self, name, folder=INSTALL_DIR):
        path = os.path.join(self.wine.prefix, "drive_c", *folder[3:].split("\\"), name)
        return os.path.exists(path)

    def run_key(self):
        return self.wine.run("reg", "query", RUN_KEY, "/v", "ZeltraTouch").returncode == 0

    def uninstall(self):
        self.assertEqual(self.wine.run(INSTALL_DIR + r"\Uninstall.exe", "/S").returncode, 0)
        # The uninstaller finishes from a copy of itself; wait until it is done.
        self.assertTrue(wait_for(lambda: not self.installed("ZeltraTouch.exe") and
                                 self.registry.query("Port") is None, 60))

    def test_installs_starts_and_uninstalls_cleanly(self):
        self.install()
        self.assertTrue(self.installed("ZeltraTouch.exe") and self.installed("Uninstall.exe") and
                        self.installed("LICENSE.txt"))
        self.assertTrue(self.installed("ZeltraTouch.lnk", START_MENU))
        values = self.registry.values()
        self.assertEqual(values, {"Port": "COM1", "ZeltraTouch": TITLE, "First": 1, "Right": 0,
                                  "StartUpMode": 0, "TouchMode": 0, "DZONE": 1, "DZoneX": 200,
                                  "DZoneY": 200, "Beep": 0, "Freq": 600, "Duration": 600})
        users = int(self.driver.value("usersaccess", r"Software\Corvantic\ZeltraTouch"))
        self.assertEqual(users & (KEY_QUERY_VALUE | KEY_SET_VALUE), KEY_QUERY_VALUE | KEY_SET_VALUE)
        self.assertEqual(users & (DELETE | WRITE_DAC | WRITE_OWNER | KEY_CREATE_SUB_KEY), 0)
        self.assertFalse(self.run_key(), "start at logon is an option")

        program = self.wine.start(INSTALL_DIR + r"\ZeltraTouch.exe")
        window = self.main_window()
        self.driver.post(window, WM_COMMAND, IDOK, 0)
        self.assertTrue(wait_for(lambda: program.poll() is not None, 20))
        self.uninstall()
        self.assertFalse(self.installed("ZeltraTouch.lnk", START_MENU) or self.installed("LICENSE.txt"))

    def test_a_reinstall_keeps_the_settings_and_can_start_at_logon(self):
        self.registry.reset({"Port": "COM7", "TouchMode": 2})
        self.install("/AUTOSTART")
        self.assertEqual([self.registry.query(n) for n in ("Port", "TouchMode", "DZoneX")], ["COM7", 2, 200])
        self.assertTrue(self.run_key())
        self.uninstall()
        self.assertFalse(self.run_key())


if __name__ == "__main__":
    unittest.main()
