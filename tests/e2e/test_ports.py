"""The ports users have: COM10 and above, a port that appears after the start
and is waited for, the machine's ports in the list and Find among them, and no
button left held when Apply or the end of the program stops the engine."""
import unittest

from harness import IDOK, IDS, WM_COMMAND, ProgramTestCase, Touchsim, raw_at, wait_for

SERIALCOMM = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"
CB_GETCOUNT, CB_SHOWDROPDOWN = 0x0146, 0x014F
COMMANDS = (IDS.IDC_MAIN_SETTING, IDS.IDC_MAIN_CALIBRATION, IDS.IDC_MAIN_ADVANCED)


class PortsTest(ProgramTestCase):
    REGISTRY = {"Port": "COM12", "DTime": 0}
    SIMULATOR = None  # each test links its own

    def setUp(self):
        super().setUp()
        # The device map as the machine's serial drivers would fill it.
        self.wine.run("reg", "delete", SERIALCOMM, "/va", "/f")
        for index, port in enumerate(("COM11", "COM6", "COM8")):
            self.wine.run("reg", "add", SERIALCOMM, "/v", r"\Device\VCP%d" % index, "/d", port, "/f")

    def simulator(self, number, *extra):
        sim = Touchsim(self.wine, number, extra)
        self.addCleanup(sim.stop)
        return sim

    def state(self, window):
        return self.driver.text(self.driver.item(window, IDS.IDC_MAIN_LINK_STATE))

    def connected(self, window):
        return all(self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS) and self.state(window) == "Connected"

    def test_com12_is_waited_for_until_it_appears_touches_click_and_stops_release_the_button(self):
        # Another program's object under a name the engine once used for an
        # event of its own: the engine names nothing, so it starts all the same.
        self.assertIsNotNone(self.driver.value("mutex", "CloseEvent"))
        self.start_program()
        window = self.main_window()
        self.assertTrue(wait_for(lambda: self.state(window) == "Waiting for COM12 \u2014 retrying"), self.state(window))
        self.assertFalse(any(self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS))
        self.assertEqual(self.driver.text(self.driver.item(window, IDS.IDC_MAIN_PORT)), "COM12")
        self.sim = self.simulator(12)
        self.assertTrue(wait_for(lambda: self.connected(window), 10), self.state(window))
        self.driver.value("probe", 100, 100, 300, 200)
        self.driver.value("events")
        self.tap(200, 170)
        self.assertIn("LUP", self.driver.events_until("LUP"))
        # The list: the device map's ports and the stored one, read again
        # each time it drops down.
        box = self.driver.item(window, IDS.IDC_MAIN_PORT)
        self.assertEqual(self.driver.send(box, CB_GETCOUNT), 4)
        self.wine.run("reg", "add", SERIALCOMM, "/v", r"\Device\VCP9", "/d", "COM2", "/f")
        self.driver.send(box, CB_SHOWDROPDOWN, 1)
        self.driver.send(box, CB_SHOWDROPDOWN, 0)
        self.assertEqual(self.driver.send(box, CB_GETCOUNT), 5)
        # A finger down when Apply or the end of the program stops the engine.
        for stop, x in (("apply", 150), ("end", 250)):  # apart: no double click
            self.driver.value("events")
            self.rest_at(x, 150)
            self.sim.send("report %d %d 1" % raw_at(x, 150))
            self.assertIn("LDOWN", self.driver.events_until("LDOWN"), stop)
            if stop == "apply":
                self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_APPLY))
            else:
                self.driver.post(window, WM_COMMAND, IDOK, 0)
            self.assertIn("LUP", self.driver.events_until("LUP"), stop)
            self.assertTrue(wait_for(lambda: stop == "end" or self.connected(window)))
        self.assertTrue(wait_for(lambda: self.started[0].poll() is not None, 15))

    def test_find_takes_the_port_that_answers_or_changes_nothing(self):
        self.simulator(6, "--silent")
        answering = self.simulator(11)
        self.start_program()
        window = self.main_window()
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_FIND))
        self.assertTrue(wait_for(lambda: self.registry.query("Port") == "COM11", 15))
        self.assertTrue(wait_for(lambda: self.connected(window), 10), self.state(window))
        self.assertEqual(self.driver.text(self.driver.item(window, IDS.IDC_MAIN_PORT)), "COM11")
        self.assertEqual(self.driver.text(self.driver.item(window, IDS.IDC_MAIN_FIND)), "Find")
        # The engine's own port is not asked; the others stay silent.
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_FIND))
        looking = "Looking for the touch screen on COM6, COM8\u2026"
        self.assertTrue(wait_for(lambda: self.state(window) == looking), self.state(window))
        self.assertEqual(self.driver.text(self.driver.item(window, IDS.IDC_MAIN_FIND)), "Stop")
        # A text that is no port name is refused without stopping Find; Find
        # that finds nothing leaves the live link's state on the line.
        port_box = self.driver.item(window, IDS.IDC_MAIN_PORT)
        self.driver.ask("settext", port_box, "Can't Open")
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_APPLY))
        self.assertTrue(wait_for(lambda: self.state(window) == "Not a port name: Can't Open"), self.state(window))
        self.assertEqual(self.driver.text(self.driver.item(window, IDS.IDC_MAIN_FIND)), "Stop")
        self.assertTrue(wait_for(lambda: self.driver.text(self.driver.item(window, IDS.IDC_MAIN_FIND)) == "Find", 15))
        self.assertEqual(self.state(window), "Connected")
        self.assertEqual(self.registry.query("Port"), "COM11")
        self.assertTrue(all(self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS))
        # The engine's port comes while Find looks: the line ends saying so.
        answering.stop()
        self.driver.ask("settext", self.driver.item(window, IDS.IDC_MAIN_PORT), "\\\\.\\com12")
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_APPLY))
        self.assertTrue(wait_for(lambda: self.state(window).startswith("Waiting for")), self.state(window))
        self.simulator(12)
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_FIND))
        self.assertTrue(wait_for(lambda: self.state(window).startswith("Looking")), self.state(window))
        self.assertNotIn("12", self.state(window))  # the engine's port, however written, is not asked
        self.assertTrue(wait_for(lambda: self.driver.text(self.driver.item(window, IDS.IDC_MAIN_FIND)) == "Find", 15))
        self.assertTrue(wait_for(lambda: self.connected(window), 10), self.state(window))
        # A port that cannot be saved changes nothing, and says so.
        self.registry.reset(create=False)
        self.driver.ask("settext", port_box, "COM8")
        self.assertTrue(self.driver.click(window, IDS.IDC_MAIN_APPLY))
        self.assertTrue(wait_for(lambda: self.state(window) == r"Could not save the port COM8; still on \\.\com12"),
                        self.state(window))
        self.assertEqual(self.driver.text(port_box), r"\\.\com12")
        self.assertTrue(all(self.driver.enabled(self.driver.item(window, c)) for c in COMMANDS))


if __name__ == "__main__":
    unittest.main()
