"""The demo: ZeltraTouch.exe under Wine, driven by the simulated controller.

Starts a virtual display (or uses the one in ZT_DEMO_DISPLAY, e.g. ":0", to
watch it live), the program on COM5 with the simulator on the other end of
the line, and a drawing window; then the simulated finger draws a star,
selects the right button on the indicator, right-clicks, and finally taps
the program's OK button, which hides it into the tray. Screenshots of each
step are written to ZT_DEMO_OUTPUT (default build/demo)."""
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import IDS, TITLE, Display, Driver, Registry, Touchsim, Wine, near, raw_at, wait_for  # noqa: E402


class ExistingDisplay:
    def __init__(self, name):
        self.name = name

    def stop(self):
        pass


def screenshot(display, name):
    path = os.path.join(os.environ["ZT_DEMO_OUTPUT"], name + ".png")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["import", "-display", display.name, "-window", "root", path], check=True)
    return path


def pointer_position(display):
    out = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display.name),
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    fields = dict(part.split(":") for part in out.split() if ":" in part)
    return int(fields["x"]), int(fields["y"])


def move_pointer(display, driver, x, y):
    """Puts the pointer at (x, y) and waits until Wine has seen it there."""
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], env=dict(os.environ, DISPLAY=display.name),
                   check=True)
    wait_for(lambda: driver.cursor() == (x, y), 5)


def star_path(centre, radius, points=5):
    path = []
    for i in range(points * 2 + 1):
        angle = math.pi / 2 + i * math.pi / points
        r = radius if i % 2 == 0 else radius * 0.4
        path.append((int(centre[0] + r * math.cos(angle)), int(centre[1] - r * math.sin(angle))))
    return path


def step(text):
    print("demo: " + text, flush=True)


def main():
    output = os.environ.setdefault("ZT_DEMO_OUTPUT", os.path.join(os.getcwd(), "build", "demo"))
    os.environ.setdefault("ZT_E2E_PREFIX", os.path.join(os.path.dirname(output), "demo-prefix"))
    display = ExistingDisplay(os.environ["ZT_DEMO_DISPLAY"]) if os.environ.get("ZT_DEMO_DISPLAY") else Display()
    step("display %s, Wine prefix %s" % (display.name, os.environ["ZT_E2E_PREFIX"]))
    wine = Wine(display)
    sim = driver = None
    try:
        Registry(wine).reset({"Port": "COM5", "First": 1, "Right": 1})
        sim = Touchsim(wine, 5)
        step("controller simulator on %s, linked as COM5" % sim.path)
        wine.start(os.environ["ZT_EXE"])
        driver = Driver(wine)
        main_window = wait_for(lambda: driver.value("findmain", "#32770", TITLE), 20)
        if not main_window or not wait_for(lambda: driver.visible(main_window), 20):
            step("the main window did not appear")
            return 1
        step("ZeltraTouch is running; Calibration enabled: %s" %
             driver.enabled(driver.item(main_window, IDS.IDC_MAIN_CALIBRATION)))
        print("  " + screenshot(display, "1-started"))

        wine.start(os.environ["ZT_CANVAS"], "40", "40", "560", "420")
        wait_for(lambda: driver.find("ZtCanvas", "ZtCanvas"), 10)
        path = star_path((320, 250), 170)
        raw = " ".join("%d %d" % raw_at(x, y) for x, y in path)
        step("the finger draws a star on a drawing window")
        # Wine may deliver the press at the pointer's previous position:
        # start the stroke where the pointer already is.
        move_pointer(display, driver, *path[0])
        sim.send("drag %s 2000" % raw)
        end = path[-1]  # where the star began: wait until the finger has left and come back
        wait_for(lambda: not near(pointer_position(display), end, 3), 15)
        wait_for(lambda: near(pointer_position(display), end, 3), 15)
        time.sleep(0.5)  # the lift follows the last move
        print("  pointer at %s (aimed at %s)" % (pointer_position(display), end))
        print("  " + screenshot(display, "2-star"))

        indicator = driver.value("owned", main_window, "#32770")
        left, top, right, bottom = driver.rect(indicator, "client")
        step("a touch on the indicator selects the right button")
        sim.send("tap %d %d" % raw_at((left + right) // 2, (top + bottom) // 2))
        wait_for(lambda: driver.text(driver.item(indicator, IDS.IDC_INDICATOR_TEXT)) == "Right", 10)
        print("  indicator shows %r" % driver.text(driver.item(indicator, IDS.IDC_INDICATOR_TEXT)))
        print("  " + screenshot(display, "3-right-selected"))
        driver.value("probe", 620, 420, 300, 200)
        driver.value("events")
        sim.send("tap %d %d" % raw_at(700, 500))
        clicked = wait_for(lambda: "RUP" in (driver.value("events") or ""), 10)
        wait_for(lambda: driver.text(driver.item(indicator, IDS.IDC_INDICATOR_TEXT)) == "Left", 10)
        print("  right click seen by the window under the finger: %s; indicator back to %r" %
              (bool(clicked), driver.text(driver.item(indicator, IDS.IDC_INDICATOR_TEXT))))

        ok_left, ok_top, ok_right, ok_bottom = driver.rect(driver.item(main_window, IDS.IDC_MAIN_OK))
        step("a touch on OK hides the program into the tray")
        time.sleep(0.6)  # let the double-tap interval pass, as a user would
        sim.send("tap %d %d" % raw_at((ok_left + ok_right) // 2, (ok_top + ok_bottom) // 2))
        hidden = wait_for(lambda: not driver.visible(main_window), 10)
        print("  main window hidden: %s" % bool(hidden))
        print("  " + screenshot(display, "4-in-tray"))
        step("done; screenshots in %s" % output)
        return 0
    finally:
        if driver:
            driver.stop()
        wine.kill()
        if sim:
            sim.stop()
        display.stop()


if __name__ == "__main__":
    sys.exit(main())
