"""What the end-to-end tests stand on: a Wine prefix, a virtual X display,
the controller simulator on a pseudo-terminal mapped as a COM port, the
program itself, a UI driver that reaches its windows as a user's tools
would, the prefix's registry, and screenshots."""
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PREPARE_PREFIX = os.path.join(ROOT, "tests", "win32", "prepare-prefix.sh")
SETTINGS_KEY = r"HKLM\Software\Corvantic\ZeltraTouch"
SCREEN = (1024, 768)


def wait_for(condition, timeout=10.0, interval=0.05):
    """Polls condition until it returns a true value or timeout passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


class Display:
    """An Xvfb server on the first free display number from 90."""

    def __init__(self):
        for number in range(90, 140):
            if not os.path.exists("/tmp/.X%d-lock" % number):
                break
        self.name = ":%d" % number
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = "/tmp/.X11-unix/X%d" % number
        if not wait_for(lambda: os.path.exists(socket), 10):
            raise RuntimeError("Xvfb did not start on " + self.name)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Wine:
    """The shared prefix, with a persistent server, on the given display."""

    def __init__(self, display):
        self.prefix = os.environ.get("ZT_E2E_PREFIX") or os.path.join(tempfile.gettempdir(), "zt-e2e-prefix")
        subprocess.run([PREPARE_PREFIX, self.prefix], check=True)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=display.name)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.kill()
        subprocess.run(["wineserver", "-p60"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start(self, *args):
        """Starts a Windows program; its output is dropped, since Wine's
        service processes would otherwise keep a pipe open."""
        return subprocess.Popen(["wine"] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *args, timeout=60):
        return subprocess.run(["wine"] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False)

    def kill(self):
        """Ends every process of the prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False, timeout=30)

    def com_link(self, number):
        return os.path.join(self.prefix, "dosdevices", "com%d" % number)


class Registry:
    """The settings key in the prefix's real registry, through wine reg."""

    def __init__(self, wine):
        self.wine = wine

    def reset(self, values=None, create=True):
        """Deletes the key, then (when create) makes it with the given values:
        an int becomes a REG_DWORD, a str a REG_SZ."""
        lines = ["REGEDIT4", "", "[-%s]" % SETTINGS_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"), ""]
        if create:
            lines.append("[%s]" % SETTINGS_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"))
            for name, value in (values or {}).items():
                if isinstance(value, int):
                    lines.append('"%s"=dword:%08x' % (name, value & 0xFFFFFFFF))
                else:
                    escaped = value.replace("\\", "\\\\").replace('"', '\\"')
                    lines.append('"%s"="%s"' % (name, escaped))
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as file:
            file.write("\r\n".join(lines) + "\r\n")
            path = file.name
        try:
            self.wine.run("regedit", "/S", path)
        finally:
            os.unlink(path)

    def query(self, name):
        """The value as int or str, or None when absent."""
        result = self.wine.run("reg", "query", SETTINGS_KEY, "/v", name)
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name:
                kind = parts[1]
                data = parts[2] if len(parts) > 2 else ""
                return int(data, 16) if kind == "REG_DWORD" else data
        return None


class Touchsim:
    """The controller simulator on a pseudo-terminal linked as COM<n>."""

    def __init__(self, wine, com_number=5, extra=()):
        self.link = wine.com_link(com_number)
        binary = os.environ.get("ZT_TOUCHSIM") or os.path.join(ROOT, "build", "native", "tools", "touchsim", "touchsim")
        self.process = subprocess.Popen(
            [binary, "--link", self.link] + list(extra),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.path = self.process.stdout.readline().strip()
        if not wait_for(lambda: os.path.islink(self.link), 10):
            raise RuntimeError("touchsim did not link " + self.link)

    def send(self, *commands):
        for command in commands:
            self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        close_pipes(self.process)


class Driver:
    """The UI driver (uidriver.exe) running inside the prefix."""

    def __init__(self, wine):
        self.process = subprocess.Popen(
            ["wine", os.environ["ZT_UIDRIVER"]], env=wine.env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def ask(self, *fields):
        self.process.stdin.write("\t".join(str(f) for f in fields) + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().rstrip("\r\n").split("\t")
        return answer

    def value(self, *fields):
        answer = self.ask(*fields)
        if answer[0] != "OK":
            return None
        return answer[1] if len(answer) > 1 else ""

    def find(self, title, cls="#32770"):
        """A top-level window by class and exact title (None: any title)."""
        return self.value("find", cls) if title is None else self.value("find", cls, title)

    def find_main(self, title, cls="#32770"):
        """Like find, but only a window that no other window owns."""
        return self.value("findmain", cls, title)

    def tray(self, timeout=10):
        """Wine's stand-in for the notification area, once an icon is in it."""
        return self.wait_window(None, cls="__winex11_standalone_tray", timeout=timeout)

    def wait_window(self, title, cls="#32770", timeout=10):
        return wait_for(lambda: self.find(title, cls), timeout)

    def item(self, window, control_id):
        return self.value("item", window, control_id)

    def text(self, window):
        return self.value("text", window)

    def enabled(self, window):
        return self.value("enabled", window) == "1"

    def visible(self, window):
        return self.value("visible", window) == "1"

    def click(self, window, control_id):
        """Clicks a push button as a user would: only an enabled, visible one."""
        button = self.item(window, control_id)
        if not (button and self.enabled(button) and self.visible(button)):
            return False
        return self.ask("click", button)[0] == "OK"

    def post(self, window, message, wparam=0, lparam=0):
        return self.ask("post", window, message, wparam, lparam)[0] == "OK"

    def rect(self, window, kind="rect"):
        answer = self.ask(kind, window)
        return tuple(int(v) for v in answer[1:5]) if answer[0] == "OK" else None

    def client_rect(self, window):
        """The client area in screen coordinates."""
        return self.rect(window, "client")

    def cursor(self):
        answer = self.ask("cursor")
        return int(answer[1]), int(answer[2])

    def stop(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.flush()
            self.process.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        close_pipes(self.process)


def close_pipes(process):
    for pipe in (process.stdin, process.stdout, process.stderr):
        if pipe:
            try:
                pipe.close()
            except OSError:
                pass


def screenshot(display, name):
    """Saves the whole display as <artifacts>/<name>.png and returns the path."""
    folder = os.environ.get("ZT_E2E_ARTIFACTS") or os.path.join(tempfile.gettempdir(), "zt-e2e-artifacts")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name + ".png")
    subprocess.run(["import", "-display", display.name, "-window", "root", path], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path


def pixel(path, x, y):
    """The colour at (x, y) of a PNG, as an (r, g, b) tuple."""
    channels = ",".join("%%[fx:int(255*p{%d,%d}.%s)]" % (x, y, c) for c in "rgb")
    out = subprocess.run(["convert", path, "-format", channels, "info:"],
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    return tuple(int(v) for v in out.split(","))


def move_pointer(display, x, y, driver=None):
    """Puts the X pointer at (x, y) and, given the driver, waits until Wine
    has seen it there. Under Wine, the press of an injected click may be
    delivered at the pointer's position from before the move that came with
    it, so tests that click near where the pointer already is start it there."""
    subprocess.run(["xdotool", "mousemove", str(x), str(y)],
                   env=dict(os.environ, DISPLAY=display.name), check=True)
    wait_for(lambda: pointer_position(display) == (x, y), 5)
    if driver:
        wait_for(lambda: driver.cursor() == (x, y), 5)


def pointer_position(display):
    out = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display.name),
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    fields = dict(part.split(":") for part in out.split() if ":" in part)
    return int(fields["x"]), int(fields["y"])


class ProgramTestCase(unittest.TestCase):
    """One display and prefix per test module; the program, the simulator and
    the driver per test. Subclasses set REGISTRY (the settings key's values,
    or None for no key) and may override COM (the simulator's port number)."""

    # COM1..COM4 may be Wine's own links to the machine's serial devices,
    # so the simulator sits on COM5.
    REGISTRY = {"Port": "COM5"}
    COM = 5
    SIMULATOR = True

    @classmethod
    def setUpClass(cls):
        if not os.environ.get("ZT_EXE"):
            raise unittest.SkipTest("ZT_EXE is not set: run through ctest")
        cls.display = Display()
        cls.wine = Wine(cls.display)

    @classmethod
    def tearDownClass(cls):
        cls.wine.kill()
        cls.display.stop()

    def setUp(self):
        self.registry = Registry(self.wine)
        self.registry.reset(self.REGISTRY, create=self.REGISTRY is not None)
        self.sim = Touchsim(self.wine, self.COM) if self.SIMULATOR else None
        self.driver = Driver(self.wine)
        self.program = None

    def tearDown(self):
        self.driver.stop()
        self.wine.kill()
        started = [p for p in getattr(self, "started", []) if p]
        for program in started:
            try:
                program.wait(10)
            except subprocess.TimeoutExpired:
                program.kill()
        if self.sim:
            self.sim.stop()
        subprocess.run(["wineserver", "-p60"], env=self.wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start_program(self):
        self.program = self.wine.start(os.environ["ZT_EXE"])
        self.started = getattr(self, "started", []) + [self.program]
        return self.program

    def main_window(self, title="TactivoV1.12 ", visible=True, timeout=10):
        """The program's main window; by default once it has been shown, when
        its initialisation is over and its modal loop runs."""
        window = wait_for(lambda: self.driver.find_main(title), timeout)
        self.assertTrue(window, "the main window did not appear")
        if visible:
            self.assertTrue(wait_for(lambda: self.driver.visible(window), timeout),
                            "the main window was not shown")
        return window

    def shot(self, name):
        return screenshot(self.display, self.id().split(".")[-1] + "-" + name)
