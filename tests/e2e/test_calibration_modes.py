"""Complete calibration runs in every touch mode, on a mirrored and on a
swapped panel presented by the simulated controller."""
import unittest

from test_calibration import (CLICK_ON_RELEASE, CLICK_ON_TOUCH, MIRROR_X, NORMAL, SWAP,
                              CalibrationCase, near)


class FullRunTest(CalibrationCase):
    """A completed run in every touch mode, on a mirrored and on a swapped
    panel: the measured points are stored and put into effect at once."""

    def run_in(self, mode, panel):
        self.start(panel, mode)
        window = self.open_main()
        self.open_calibration(window)
        self.calibrate(self.touch_in(mode))

        self.assertEqual(self.settings().get("First"), 0)
        for index, (stored, wanted) in enumerate(zip(self.stored_points(), self.expected_points())):
            if mode == NORMAL:
                # The drift of the touch moves the point by its mean
                # difference, which a steady touch keeps within 10 raw units.
                self.assertTrue(near(stored, wanted, 10),
                                "point %d: %s, touched at %s" % (index, stored, wanted))
            else:
                self.assertEqual(stored, wanted, "point %d" % index)
        self.assert_lands_right()

    def test_normal_mode_on_a_mirrored_panel(self):
        self.run_in(NORMAL, MIRROR_X)

    def test_normal_mode_on_a_swapped_panel(self):
        self.run_in(NORMAL, SWAP)

    def test_click_on_touch_on_a_mirrored_panel(self):
        self.run_in(CLICK_ON_TOUCH, MIRROR_X)

    def test_click_on_touch_on_a_swapped_panel(self):
        self.run_in(CLICK_ON_TOUCH, SWAP)

    def test_click_on_release_on_a_mirrored_panel(self):
        self.run_in(CLICK_ON_RELEASE, MIRROR_X)

    def test_click_on_release_on_a_swapped_panel(self):
        self.run_in(CLICK_ON_RELEASE, SWAP)


if __name__ == "__main__":
    unittest.main()
