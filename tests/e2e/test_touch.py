"""Touches from the simulated controller move the pointer and click into
another program's window."""
import unittest

from harness import ProgramTestCase, SCREEN, pointer_position, wait_for


def screen_pixel(raw):
    """Where a raw point lands with the default calibration (about 1:1)."""
    return raw[0] * SCREEN[0] // 4096, raw[1] * SCREEN[1] // 4096


class TouchTest(ProgramTestCase):
    REGISTRY = {"Port": "COM5", "First": 1}

    def setUp(self):
        super().setUp()
        self.start_program()
        self.window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.enabled(self.driver.item(self.window, 1006))))

    def test_a_tap_moves_the_pointer_and_clicks_the_window_under_it(self):
        probe = self.driver.value("probe", 600, 400, 300, 300)
        self.assertTrue(probe)
        x, y = screen_pixel((3000, 2600))
        # The finger rests there first: Wine may deliver a press at the
        # pointer's position from before the move that came with it.
        self.sim.send("report 3000 2600 2")
        self.assertTrue(wait_for(lambda: self._near(self.driver.cursor(), (x, y), 2), 10))
        self.driver.value("events")
        self.sim.send("tap 3000 2600")
        log = []
        self.assertTrue(wait_for(lambda: log.append(self.driver.value("events") or "") or "LUP" in "".join(log), 10),
                        "the probe window saw no click: %s" % "".join(log))
        self.assertIn("LDOWN", "".join(log))
        px, py = pointer_position(self.display)
        self.assertLessEqual(abs(px - x), 2)
        self.assertLessEqual(abs(py - y), 2)

    def test_a_drag_follows_the_finger(self):
        self.sim.send("drag 500 500 3500 3000 300")
        end = screen_pixel((3500, 3000))
        reached = wait_for(lambda: self._near(pointer_position(self.display), end, 2), 10)
        self.assertTrue(reached, "pointer at %s, expected about %s" % (pointer_position(self.display), end))

    @staticmethod
    def _near(a, b, tolerance):
        return abs(a[0] - b[0]) <= tolerance and abs(a[1] - b[1]) <= tolerance


if __name__ == "__main__":
    unittest.main()
