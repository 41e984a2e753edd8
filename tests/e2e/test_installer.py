"""The setup program, installed, started and uninstalled silently: the settings
key with its first values and access for ordinary users, the program and its
Start-menu entry, start at logon as an option, and nothing left afterwards."""
import os
import pathlib
import re
import shutil
import tempfile
import unittest

from harness import EXIT, TITLE, ProgramTestCase, wait_for

INSTALL_DIR = r"C:\ZeltraTouchTest\ZeltraTouch"
START_MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\ZeltraTouch"
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
EVENT_SOURCE = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZeltraTouch"
METRICS_DIR = r"C:\ProgramData\ZeltraTouch\metrics"
WINE_PROGRAMS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE, WRITE_DAC, WRITE_OWNER = 0x1, 0x2, 0x4, 0x10000, 0x40000, 0x80000


class InstallerTest(ProgramTestCase):
    REGISTRY = None
    SIMULATOR = None

    def install(self, *options, code=0, folder=None, trace=os.devnull):
        # Its output is dropped: the program it starts would hold a pipe open.
        # Wine's icacls changes no access list, and Wine has no takeown: its
        # icacls stub stands in, succeeding. Wine's trace says what was run.
        system = os.path.join(self.wine.prefix, "drive_c", "windows", "system32")
        shutil.copy(os.path.join(WINE_PROGRAMS, "icacls.exe"), os.path.join(system, "takeown.exe"))
        with open(trace, "w") as errors:
            setup = self.wine.start(os.environ["ZT_INSTALLER"], "/S", *options, "/D=" + INSTALL_DIR, cwd=folder,
                                    trace=errors, debug="fixme+icacls,+process")
            self.assertEqual(setup.wait(120), code)

    @staticmethod
    def commands(trace):
        """What the setup ran through nsExec, in order: each program's file
        name and its arguments."""
        with open(trace, errors="replace") as lines:
            runs = re.findall(r'app \(null\) cmdline L"\\"[^"]*\\ns\w+\.tmp\\" (.*)"$', lines.read(), re.M)
        return [re.sub(r'^"[^"]*\\([^"\\]*)"', r"\1", run.replace('\\"', '"').replace("\\\\", "\\")) for run in runs]

    def installed(self, name, folder=INSTALL_DIR):
        path = os.path.join(self.wine.prefix, "drive_c", *folder[3:].split("\\"), name)
        return os.path.exists(path)

    def run_key(self):
        return self.wine.run("reg", "query", RUN_KEY, "/v", "ZeltraTouch").returncode == 0

    def uninstall(self, *options):
        self.assertEqual(self.wine.run(INSTALL_DIR + r"\Uninstall.exe", "/S", *options).returncode, 0)
        # The uninstaller finishes from a copy of itself; wait until it is done.
        self.assertTrue(wait_for(lambda: not self.installed("Uninstall.exe"), 60))

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

        self.uninstall("/REMOVESETTINGS")
        self.assertFalse(self.installed("ZeltraTouch.lnk", START_MENU) or self.installed("LICENSE.txt") or
                         self.installed("", METRICS_DIR))
        self.assertIsNone(self.registry.query("Port"))

    def test_a_silent_install_takes_a_settings_file_and_a_port_and_keeps_them(self):
        folder = tempfile.mkdtemp(prefix="zt presets-")  # a space, as in "C:\\fleet dir"
        windows_folder = "Z:" + folder.replace("/", "\\")
        metrics = windows_folder + r"\textfile_inputs\zeltratouch.prom"
        for name, text in (("bad.conf", "TouchMode=9\n"),
                           ("unit.conf", "Port=COM9\nTouchMode=2\nPX0=300\nMetrics=%s\n" % metrics)):
            with open(os.path.join(folder, name), "w") as file:
                file.write(text)
        self.install("/PORT=LPT1", code=EXIT.kExitBadPort)
        # One argument with a space (quoted whole on the command line), then a
        # name relative to the folder a script starts the setup from.
        self.install(r"/SETTINGS=%s\bad.conf" % windows_folder, code=EXIT.kExitBadSettings)
        self.install(r"/SETTINGS=%s\missing.conf" % windows_folder, code=EXIT.kExitFileFailed)
        # A file of the program that cannot be written, once ZeltraTouch.exe is.
        license = os.path.join(self.wine.prefix, "drive_c", "ZeltraTouchTest", "ZeltraTouch", "LICENSE.txt")
        os.makedirs(license)
        self.install(code=EXIT.kExitProgramFileFailed)
        os.rmdir(license)
        self.assertFalse(self.installed("ZeltraTouch.exe") or self.installed("", METRICS_DIR) or self.registry.values())
        trace = os.path.join(folder, "setup.err")
        self.install("/SETTINGS=unit.conf", "/PORT=COM12", folder=folder, trace=trace)
        self.assertEqual([self.registry.query(n) for n in ("Port", "TouchMode", "PX0", "Freq")], ["COM12", 2, 300, 600])
        # Our own metrics folder, owned by Administrators, where Users add files
        # and replace them (nothing below); none for the folder the file names.
        self.assertTrue(self.installed("", METRICS_DIR))
        # Both folders taken over and locked, then the emptied metrics folder
        # opened; a running program asked to end before any is ended by force;
        # the start in the console user's session.
        lock = '/inheritance:r /grant:r *S-1-5-18:(OI)(CI)(F) *S-1-5-32-544:(OI)(CI)(F) *S-1-5-32-545:(OI)(CI)(RX) /L'
        take = [each % path for path in (METRICS_DIR.rsplit("\\", 1)[0], METRICS_DIR)
                for each in ('takeown.exe /F "%s" /A', 'icacls.exe "%s" /reset /L', 'icacls.exe "%s" ' + lock)]
        self.assertEqual(self.commands(trace), ["ZeltraTouch.exe /quit", "taskkill.exe /F /IM ZeltraTouch.exe"] + take + [
            'icacls.exe "%s" /grant *S-1-5-32-545:(WD) *S-1-5-32-545:(OI)(IO)(NP)(M) *S-1-3-4:(OI)(IO)(NP)(M) /L'
            % METRICS_DIR, "ZeltraTouch.exe /startforuser"])
        source = self.wine.run("reg", "query", EVENT_SOURCE, "/v", "EventMessageFile").stdout.decode()
        self.assertIn(INSTALL_DIR + r"\ZeltraTouch.exe", source)
        # A metrics file left behind would report the unit's last state for ever.
        kept = os.path.join(self.wine.prefix, "drive_c", "ProgramData", "ZeltraTouch", "metrics")
        pathlib.Path(kept, "zeltratouch.prom").write_text("zeltratouch_link_up 1\n")
        self.uninstall()
        self.assertEqual(os.listdir(kept), [])
        self.assertEqual(self.registry.query("TouchMode"), 2)
        self.assertNotEqual(self.wine.run("reg", "query", EVENT_SOURCE).returncode, 0)

    def test_the_start_for_the_logged_on_user_starts_one_instance(self):
        # What the setup runs as SYSTEM. Wine lists no sessions, calls the
        # console's session 1 and gives any caller its user's token.
        self.registry.reset({"Port": "COM5"})
        for expected in ("started in session 1", "runs in session 1 already"):
            with tempfile.TemporaryFile("w+") as output:
                self.assertEqual(self.wine.start(os.environ["ZT_EXE"], "/startforuser", output=output).wait(60),
                                 EXIT.kExitDone)
                output.seek(0)
                self.assertIn(expected, output.read())
            self.main_window()

    def test_a_reinstall_keeps_the_settings_and_can_start_at_logon(self):
        self.registry.reset({"Port": "COM7", "TouchMode": 2})
        # Our metrics folder's parent made first by a user, as a link to another
        # program's folder: never taken over, and the setup stops.
        elsewhere = tempfile.mkdtemp(prefix="zt-elsewhere-")
        link = os.path.join(self.wine.prefix, "drive_c", "ProgramData", "ZeltraTouch")
        shutil.rmtree(link, ignore_errors=True)
        os.symlink(elsewhere, link)
        self.addCleanup(lambda: os.path.islink(link) and os.unlink(link))
        trace = tempfile.mktemp(prefix="zt-setup-trace-")
        self.install("/AUTOSTART", code=EXIT.kExitFolderNotOurs, trace=trace)
        self.assertEqual(self.commands(trace), ["ZeltraTouch.exe /quit", "taskkill.exe /F /IM ZeltraTouch.exe"])
        self.assertFalse(os.listdir(elsewhere) or self.installed("ZeltraTouch.exe"))
        os.unlink(link)
        self.install("/AUTOSTART")
        self.assertEqual([self.registry.query(n) for n in ("Port", "TouchMode", "DZoneX")], ["COM7", 2, 200])
        self.assertTrue(self.run_key())

        # Again, with a port to import, while the program (an older build, marked
        # at its end) runs and holds its file: ended, replaced, started again.
        self.main_window()
        exe = pathlib.Path(self.wine.prefix, "drive_c", "ZeltraTouchTest", "ZeltraTouch", "ZeltraTouch.exe")
        with exe.open("ab") as program:
            program.write(b"OLDER-BUILD")
        self.install("/PORT=COM8")
        self.assertFalse(exe.read_bytes().endswith(b"OLDER-BUILD"))
        self.assertEqual(self.registry.query("Port"), "COM8")
        self.main_window()
        self.uninstall()
        self.assertFalse(self.run_key())


if __name__ == "__main__":
    unittest.main()
