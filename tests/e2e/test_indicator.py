"""The floating Left/Right indicator: placement, toggling by touch, and the
return to "Left" after an emulated right click."""
import unittest

from harness import ProgramTestCase, SCREEN, wait_for

SM_CXFULLSCREEN, SM_CYFULLSCREEN = 16, 17
INDICATOR_TEXT = 1029


def raw_at(x, y):
    """The raw point that lands on screen pixel (x, y) with the default calibration."""
    return (x * 4096 + SCREEN[0] // 2) // SCREEN[0], (y * 4096 + SCREEN[1] // 2) // SCREEN[1]


class IndicatorCase(ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.start_program()

    def indicator(self):
        window = self.main_window()
        indicator = wait_for(lambda: self.driver.value("owned", window, "#32770"))
        self.assertTrue(indicator, "no indicator window")
        return indicator

    def shown_text(self, indicator):
        return self.driver.text(self.driver.item(indicator, INDICATOR_TEXT))

    def touch(self, x, y):
        """A tap at (x, y). The finger first rests there (a report that only
        moves the pointer) until Wine has the pointer there: Wine may deliver
        a press at the pointer's position from before the move that came
        with it. With "DTime" 0 no touch is ever a double tap."""
        raw = raw_at(x, y)
        self.sim.send("report %d %d 2" % raw)
        cursor = wait_for(lambda: self._near(self.driver.cursor(), (x, y)), 5)
        self.assertTrue(cursor, "the pointer did not reach %s" % ((x, y),))
        self.sim.send("tap %d %d" % raw)

    @staticmethod
    def _near(a, b):
        return abs(a[0] - b[0]) <= 1 and abs(a[1] - b[1]) <= 1


class RightEnabledTest(IndicatorCase):
    REGISTRY = {"Port": "COM5", "Right": 1, "DTime": 0}

    def test_sits_at_the_bottom_right_on_top_showing_left(self):
        indicator = self.indicator()
        self.assertTrue(wait_for(lambda: self.driver.visible(indicator)))
        self.assertEqual(self.shown_text(indicator), "Left")
        self.assertEqual(self.driver.value("topmost", indicator), "1")
        left, top, right, bottom = self.driver.rect(indicator)
        cx_full = int(self.driver.value("metrics", SM_CXFULLSCREEN))
        cy_full = int(self.driver.value("metrics", SM_CYFULLSCREEN))
        self.assertEqual(left, cx_full - (right - left) - 30)
        self.assertEqual(top, cy_full - (bottom - top) - 10)
        self.shot("indicator")

    def test_touches_toggle_it_and_a_right_click_resets_it(self):
        indicator = self.indicator()
        self.assertTrue(wait_for(lambda: self.driver.visible(indicator)))
        left, top, right, bottom = self.driver.client_rect(indicator)
        centre = ((left + right) // 2, (top + bottom) // 2)

        # Touches a few pixels apart: never a double tap (the zone is tiny).
        self.touch(*centre)
        self.assertTrue(wait_for(lambda: self.shown_text(indicator) == "Right"))
        self.touch(centre[0] + 3, centre[1])
        self.assertTrue(wait_for(lambda: self.shown_text(indicator) == "Left"))

        # Right selected, then a touch elsewhere is a right click there.
        self.touch(centre[0] - 3, centre[1])
        self.assertTrue(wait_for(lambda: self.shown_text(indicator) == "Right"))
        self.driver.value("probe", 100, 100, 300, 200)
        self.driver.value("events")
        self.touch(200, 200)
        log = []
        self.assertTrue(wait_for(lambda: log.append(self.driver.value("events") or "") or "RUP" in "".join(log)),
                        "the probe saw no right click: %s" % "".join(log))
        self.assertIn("RDOWN", "".join(log))
        self.assertTrue(wait_for(lambda: self.shown_text(indicator) == "Left"))
        # The next touch is a left click again.
        self.touch(250, 250)
        self.assertTrue(wait_for(lambda: log.append(self.driver.value("events") or "") or "LUP" in "".join(log)))


class RightDisabledTest(IndicatorCase):
    REGISTRY = {"Port": "COM5", "Right": 0}

    def test_is_created_hidden(self):
        indicator = self.indicator()
        self.assertFalse(self.driver.visible(indicator))
        self.assertEqual(self.shown_text(indicator), "Left")


if __name__ == "__main__":
    unittest.main()
