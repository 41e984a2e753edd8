"""The settings file under Wine: /export and /import against the prefix's
registry, a bad line, and /import handed to the running program."""
import os
import tempfile

from harness import EXIT, IDS, ProgramTestCase, wait_for

# The title the setup stores ends in a space (the second instance finds the first by it).
UNIT = {"Port": "COM12", "TouchMode": 2, "PX0": 300, "PY8": 3800, "Mapping": 1, "Smoothing": 2,
        "Monitor": r"\\.\DISPLAY1", "DTime": 400, "Beep": 1, "Freq": 32767, "ZeltraTouch": "TactivoV1.12 "}


class SettingsFileTest(ProgramTestCase):
    SIMULATOR = None

    def path(self, name, text=None):
        path = os.path.join(tempfile.mkdtemp(prefix="zt-settings-"), name)
        if text is not None:
            with open(path, "w") as file:
                file.write(text)
        return path

    def command(self, *args):
        result = self.wine.run(os.environ["ZT_EXE"], *args)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def test_export_then_import_on_a_clean_prefix_gives_the_same_values(self):
        self.registry.reset(dict(UNIT, LastTouch=1796000000))  # the unit's own, no setting
        exported = self.path("unit.conf")
        self.assertEqual(self.command("/export", "Z:" + exported)[0], 0)
        with open(exported) as file:
            text = file.read()
        self.assertIn("another model needs its own", text)
        self.assertNotIn("LastTouch", text)
        self.registry.reset({})
        self.assertEqual(self.command("/import", "Z:" + exported)[0], 0)
        self.assertEqual(self.registry.values(), UNIT)

    def test_an_import_with_one_bad_line_names_it_and_changes_nothing(self):
        self.registry.reset(UNIT)
        bad = self.path("bad.conf", "# fleet\nBeep=0\nTouchMode=7\nFreq=900\n")
        code, output = self.command("/import", "Z:" + bad)
        self.assertEqual(code, EXIT.kExitBadSettings)
        self.assertIn("Z:%s:3: TouchMode: out of range" % bad, output)
        self.assertEqual(self.registry.values(), UNIT)
        # Each failure has a code of its own, for the scripts that run these.
        missing = "Z:" + self.path("missing.conf")
        for args, code in (((("/import", missing), EXIT.kExitFileFailed)),
                           (("/export", "Z:/proc/no/such/folder.conf"), EXIT.kExitFileFailed),
                           (("/status",), EXIT.kExitNotRunning),
                           (("/import",), EXIT.kExitBadCommandLine)):
            self.assertEqual(self.command(*args)[0], code, args)
        self.registry.reset(None, create=False)
        self.assertEqual(self.command("/export", missing)[0], EXIT.kExitKeyFailed)

    def test_a_second_instance_hands_its_file_to_the_running_program(self):
        self.registry.reset({"Port": "COM5", "TouchMode": 0})
        window = self.start_program() and self.main_window()
        port = self.driver.item(window, IDS.IDC_MAIN_PORT)
        self.assertEqual(self.driver.text(port), "COM5")
        linux = self.path("linux.conf", "Port=/dev/ttyUSB0\nPort=COM7\nTouchMode=1\n")
        code, output = self.command("/import", "Z:" + linux)
        self.assertEqual(code, 0, output)
        self.assertIn("Port: \"/dev/ttyUSB0\" is not one of this platform's", output)
        # The running program applied it at once: its port box and engine moved to COM7.
        self.assertTrue(wait_for(lambda: self.driver.text(port) == "COM7"))
        self.assertEqual(self.registry.values(), {"Port": "COM7", "TouchMode": 1})
        self.assertEqual(self.driver.value("findmain", "#32770", "TactivoV1.12 "), window)
