"""What the end-to-end tests stand on: a Wine prefix, a virtual X display, the
controller simulator on a pseudo-terminal mapped as a COM port, the program
itself, a UI driver that reaches its windows as a user's tools would, the
prefix's registry, and screenshots."""
import fcntl
import os
import re
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SETTINGS_KEY = r"HKLM\Software\Corvantic\ZeltraTouch"
SCREEN = (1024, 768)
TITLE = "TactivoV1.12 "
WM_COMMAND, WM_CLOSE, WM_KEYDOWN, WM_SYSCOMMAND = 0x0111, 0x0010, 0x0100, 0x0112
IDOK, IDCANCEL = 1, 2
BM_CLICK = 0x00F5


def _numbers(path, pattern):
    """The numbers a header of ours names: (name, value) pairs found by pattern."""
    with open(os.path.join(ROOT, path)) as header:
        return type("Numbers", (), {name: int(value, 0) for name, value in re.findall(pattern, header.read(), re.M)})


# The control, template and command ids; the exit codes of the program and its setup.
IDS = _numbers("resources/resource.h", r"^#define (\w+) (0x[0-9A-Fa-f]+|\d+)")
EXIT = _numbers("src/app/exit_codes.h", r"constexpr int (kExit\w+) = (\d+);")


def wait_for(condition, timeout=10.0, interval=0.05):
    """Polls condition until it returns a true value or timeout passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


def raw_at(x, y):
    """The raw point that lands on screen pixel (x, y) with the default calibration."""
    return (x * 4096 + SCREEN[0] // 2) // SCREEN[0], (y * 4096 + SCREEN[1] // 2) // SCREEN[1]


def near(a, b, tolerance=2):
    return abs(a[0] - b[0]) <= tolerance and abs(a[1] - b[1]) <= tolerance


def run_quietly(args, env, **kwargs):
    return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=False, **kwargs)


class Display:
    """An Xvfb server on the first free display number from 90."""

    def __init__(self, size=SCREEN):
        number = next(n for n in range(90, 140) if not os.path.exists("/tmp/.X%d-lock" % n))
        self.name = ":%d" % number
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "%dx%dx24" % size, "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % number)):
            raise RuntimeError("Xvfb did not start on " + self.name)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Wine:
    """The tests' prefix, made once (with unmanaged windows: without a window
    manager every hide would otherwise stall for two seconds), with a
    persistent server, on the given display; with monitors ("x,y,w,h;..."),
    Wine sees those monitors on it instead of one."""

    def __init__(self, display, monitors=None):
        self.prefix = os.environ.get("ZT_E2E_PREFIX") or os.path.join(tempfile.gettempdir(), "zt-e2e-prefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=display.name,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        with open(self.prefix + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.exists(os.path.join(self.prefix, ".zt-ready")):
                quiet = dict(self.env)
                quiet.pop("DISPLAY")
                run_quietly(["wine", "wineboot", "-i"], quiet)
                run_quietly(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                             "/d", "N", "/f"], quiet)
                run_quietly(["wineserver", "-w"], quiet)
                open(os.path.join(self.prefix, ".zt-ready"), "w").close()
        if monitors:
            heads = os.environ.get("ZT_MONITOR_HEADS") or os.path.join(ROOT, "build", "native", "tools", "monitor_heads")
            self.env.update(LD_LIBRARY_PATH=heads, ZT_MONITORS=monitors)
        # Wine takes the monitors from Xinerama only with its XRandR use off;
        # the desktop process reads it when it starts, so the server restarts.
        run_quietly(["wine", "reg", "add" if monitors else "delete", r"HKCU\Software\Wine\X11 Driver", "/v",
                     "UseXRandR", "/f"] + (["/d", "N"] if monitors else []), self.env)
        self.kill()
        run_quietly(["wineserver", "-p60"], self.env)

    def start(self, *args, cwd=None, output=subprocess.DEVNULL, trace=subprocess.DEVNULL, debug="-all"):
        """Starts a Windows program (in the folder cwd, when given); its output
        goes to a file or nowhere, since Wine's service processes would
        otherwise keep a pipe open, and Wine's debug channels (debug) to trace."""
        return subprocess.Popen(["wine"] + list(args), env=dict(self.env, WINEDEBUG=debug), stdin=subprocess.DEVNULL,
                                stdout=output, stderr=trace, cwd=cwd)

    def run(self, *args, timeout=60):
        return run_quietly(["wine"] + list(args), self.env, timeout=timeout)

    def kill(self):
        """Ends every process of the prefix."""
        run_quietly(["wineserver", "-k"], self.env)
        run_quietly(["wineserver", "-w"], self.env, timeout=30)


class Registry:
    """The settings key in the prefix's real registry, through Wine's tools."""

    def __init__(self, wine):
        self.wine = wine

    def reset(self, values=None, create=True):
        """Deletes the key, then (when create) makes it with the given values:
        an int becomes a REG_DWORD, a str a REG_SZ."""
        key = SETTINGS_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE")
        lines = ["REGEDIT4", "", "[-%s]" % key, ""] + (["[%s]" % key] if create else [])
        for name, value in (values or {}).items():
            if isinstance(value, int):
                lines.append('"%s"=dword:%08x' % (name, value & 0xFFFFFFFF))
            else:
                lines.append('"%s"="%s"' % (name, value.replace("\\", "\\\\").replace('"', '\\"')))
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as file:
            file.write("\r\n".join(lines) + "\r\n")
        self.wine.run("regedit", "/S", file.name)
        os.unlink(file.name)

    def values(self):
        """Every value of the key: REG_DWORD as int, others as str."""
        values = {}
        for line in self.wine.run("reg", "query", SETTINGS_KEY).stdout.decode("utf-8", "replace").splitlines():
            parts = line.rstrip("\r\n").lstrip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                data = parts[2] if len(parts) > 2 else ""
                values[parts[0]] = int(data, 16) if parts[1] == "REG_DWORD" else data
        return values

    def query(self, name):
        return self.values().get(name)


class Touchsim:
    """The controller simulator on a pseudo-terminal linked as COM<n>; with an
    EEPROM file, every byte it receives is logged too."""

    def __init__(self, wine, com_number=5, extra=(), eeprom=None):
        self.link = os.path.join(wine.prefix, "dosdevices", "com%d" % com_number)
        binary = os.environ.get("ZT_TOUCHSIM") or os.path.join(ROOT, "build", "native", "tools", "touchsim", "touchsim")
        args = [binary, "--link", self.link] + list(extra)
        self.log_path = eeprom + ".log" if eeprom else os.devnull
        if eeprom:
            args += ["--eeprom", eeprom, "--verbose"]
        self.log_file = open(self.log_path, "w")
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=self.log_file, text=True)
        self.path = self.process.stdout.readline().strip()
        if not wait_for(lambda: os.path.islink(self.link)):
            raise RuntimeError("touchsim did not link " + self.link)

    def send(self, *commands):
        self.process.stdin.write("".join(command + "\n" for command in commands))
        self.process.stdin.flush()

    def received(self):
        """Every byte received, in hex, as one string."""
        with open(self.log_path) as log:
            return " ".join(re.findall(r"^touchsim: rx: ([0-9A-F ]+)$", log.read(), re.M))

    def stop(self):
        self.process.terminate()  # SIGTERM: the simulator removes its link
        self.process.communicate(timeout=10)
        self.log_file.close()


class Driver:
    """The UI driver (uidriver.exe) running inside the prefix: one command a
    line, answered "OK" with tab-separated results, or "ERR"."""

    def __init__(self, wine):
        self.process = subprocess.Popen(
            ["wine", os.environ["ZT_UIDRIVER"]], env=wine.env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def ask(self, *fields):
        self.process.stdin.write("\t".join(str(f) for f in fields) + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().rstrip("\r\n").split("\t")

    def value(self, *fields):
        answer = self.ask(*fields)
        return (answer[1] if len(answer) > 1 else "") if answer[0] == "OK" else None

    def __getattr__(self, verb):
        """driver.text(window), driver.item(window, id), ...: the command's
        value; driver.enabled(window) and driver.visible(window) as bools."""
        if verb in ("enabled", "visible"):
            return lambda window: self.value(verb, window) == "1"
        return lambda *fields: self.value(verb, *fields)

    def find(self, title, cls="#32770"):
        return self.value("find", cls, title or "")

    def send(self, window, message, wparam=0, lparam=0):
        return int(self.value("send", window, message, wparam, lparam))

    def click(self, window, control_id):
        """Clicks a push button as a user would: only an enabled, visible one."""
        button = self.item(window, control_id)
        return bool(button and self.enabled(button) and self.visible(button)) and self.post(button, BM_CLICK)

    def post(self, window, message, wparam=0, lparam=0):
        return self.ask("post", window, message, wparam, lparam)[0] == "OK"

    def rect(self, window, kind="window"):
        answer = self.ask("rect", window, kind)
        return tuple(int(v) for v in answer[1:5]) if answer[0] == "OK" else None

    def cursor(self):
        return tuple(int(v) for v in self.ask("cursor")[1:3])

    def events_until(self, name, timeout=10):
        """The probe window's log, collected until an entry of name is in it."""
        log = []
        wait_for(lambda: log.append(self.value("events") or "") or name in "".join(log), timeout)
        return "".join(log)

    def stop(self):
        try:
            self.process.communicate("quit\n", timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.communicate()


def pointer_position(display):
    """Where the X pointer is."""
    out = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display.name),
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    fields = dict(part.split(":") for part in out.split() if ":" in part)
    return int(fields["x"]), int(fields["y"])


def pixel(path, x, y):
    """The colour at (x, y) of a PNG, as an (r, g, b) tuple."""
    channels = ",".join("%%[fx:int(255*p{%d,%d}.%s)]" % (x, y, c) for c in "rgb")
    out = subprocess.run(["convert", path, "-format", channels, "info:"], stdout=subprocess.PIPE, check=True)
    return tuple(int(v) for v in out.stdout.decode().split(","))


class ProgramTestCase(unittest.TestCase):
    """One display and prefix per test module; the program, the simulator and
    the driver per test. REGISTRY holds the settings key's values (None: no
    key); SIMULATOR the simulator's options (None: the test starts it)."""

    REGISTRY = {"Port": "COM5"}
    SIMULATOR = ()
    DESKTOP = (SCREEN, None)  # the X screen's size and the monitors on it (None: one)

    @classmethod
    def setUpClass(cls):
        if not os.environ.get("ZT_EXE"):
            raise unittest.SkipTest("ZT_EXE is not set: run through ctest")
        cls.display = Display(cls.DESKTOP[0])
        cls.wine = Wine(cls.display, cls.DESKTOP[1])

    @classmethod
    def tearDownClass(cls):
        cls.wine.kill()
        cls.display.stop()

    def setUp(self):
        self.registry = Registry(self.wine)
        self.registry.reset(self.REGISTRY, create=self.REGISTRY is not None)
        self.sim = self.make_simulator()
        self.driver = Driver(self.wine)
        self.started = []

    def tearDown(self):
        self.driver.stop()
        self.wine.kill()
        for program in self.started:
            program.wait(10)
        if self.sim:
            self.sim.stop()

    def make_simulator(self):
        # COM1..COM4 may be Wine's own links to the machine's serial ports.
        return Touchsim(self.wine, 5, self.SIMULATOR) if self.SIMULATOR is not None else None

    def start_program(self):
        self.started.append(self.wine.start(os.environ["ZT_EXE"]))
        return self.started[-1]

    def main_window(self, title=TITLE, visible=True):
        """The program's main window (the dialog with the title that no other
        window owns); by default once it is shown, when its modal loop runs."""
        window = wait_for(lambda: self.driver.value("findmain", "#32770", title))
        self.assertTrue(window, "the main window did not appear")
        if visible:
            self.assertTrue(wait_for(lambda: self.driver.visible(window)), "the main window was not shown")
        return window

    def start_with_engine(self):
        """The program, once its main window shows the commands enabled."""
        self.start_program()
        window = self.main_window()
        self.assertTrue(wait_for(lambda: self.driver.enabled(self.driver.item(window, IDS.IDC_MAIN_SETTING))))
        return window

    def rest_at(self, x, y):
        """The finger rests on pixel (x, y) until Wine has the pointer there:
        Wine may deliver a press at the pointer's position from before the
        move that came with it."""
        self.sim.send("report %d %d 2" % raw_at(x, y))
        self.assertTrue(wait_for(lambda: near(self.driver.cursor(), (x, y), 1), 5), "pointer not at %d,%d" % (x, y))

    def tap(self, x, y):
        self.rest_at(x, y)
        self.sim.send("tap %d %d" % raw_at(x, y))

    def shot(self, name):
        """Saves the whole display as <artifacts>/<test>-<name>.png."""
        folder = os.environ.get("ZT_E2E_ARTIFACTS") or os.path.join(tempfile.gettempdir(), "zt-e2e-artifacts")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "%s-%s.png" % (self.id().split(".")[-1], name))
        subprocess.run(["import", "-display", self.display.name, "-window", "root", path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path


def scrape_textfile(folder):
    """The series node_exporter's textfile collector makes of folder's *.prom
    files, scraped once from it on the loopback address: {series: value}."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        address = "127.0.0.1:%d" % probe.getsockname()[1]
    exporter = subprocess.Popen(["prometheus-node-exporter", "--web.listen-address=" + address,
                                 "--collector.disable-defaults", "--collector.textfile",
                                 "--collector.textfile.directory=" + folder],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        def scrape():
            try:
                with urllib.request.urlopen("http://%s/metrics" % address, timeout=5) as answer:
                    return answer.read().decode()
            except OSError:
                return None
        text = wait_for(scrape) or ""
    finally:
        exporter.terminate()
        exporter.wait(10)
    samples = (line.rsplit(" ", 1) for line in text.splitlines() if line and not line.startswith("#"))
    return {series: float(value) for series, value in samples}


def promtool_check(path):
    """promtool check metrics on the file: its complaints, empty when none."""
    with open(path) as metrics:
        check = subprocess.run(["promtool", "check", "metrics"], stdin=metrics, capture_output=True, text=True)
    return "" if check.returncode == 0 else check.stdout + check.stderr
