"""zeltratouchd for real: on a virtual X display with XTest and two XRandR
monitors, reading the simulated controller on a pseudo-terminal, answering
its control socket and the zeltratouch command."""
import contextlib
import ctypes
import fcntl
import json
import os
import re
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import promtool_check, scrape_textfile, wait_for  # noqa: E402  (the Windows end-to-end tests' own helpers)
from test_calibration import raw_of, target  # noqa: E402

WIDTH, HEIGHT = 1600, 600
RIGHT = (800, 0, 800, 600)  # the second monitor: left, top, width, height
GREEN = (0, 255, 0)
DEFAULT_POINTS = [(205, 205), (3891, 205), (3891, 3891), (205, 3891), (2048, 205), (3891, 2048), (2048, 3891),
                  (205, 2048), (2048, 2048)]


class DaemonCase(unittest.TestCase):
    """A virtual X display with two monitors side by side, and the helpers
    that start the daemon and the simulator and ask them."""

    def setUp(self):
        self.folder = tempfile.mkdtemp()
        number = next(n for n in range(150, 200) if not os.path.exists("/tmp/.X%d-lock" % n))
        self.env = dict(os.environ, DISPLAY=":%d" % number, ASAN_OPTIONS="detect_leaks=0")
        self.start(["Xvfb", self.env["DISPLAY"], "-screen", "0", "%dx%dx24" % (WIDTH, HEIGHT), "-nolisten", "tcp",
                    "-noreset"])
        self.assertTrue(wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0))
        for name, left in (("LEFT", 0), ("RIGHT", 800)):
            subprocess.run(["xrandr", "--setmonitor", name, "800/200x600/150+%d+0" % left, "none"], env=self.env,
                           check=True)
        self.link = os.path.join(self.folder, "ttyTOUCH")
        self.control = os.path.join(self.folder, "control")
        self.config = os.path.join(self.folder, "zeltratouch.conf")
        self.state = os.path.join(self.folder, "state", "zeltratouch.conf")
        os.mkdir(os.path.dirname(self.state))

    def start(self, args, **kwargs):
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, **kwargs)
        self.addCleanup(lambda: process.poll() is not None or (process.terminate(), process.wait(10)))
        return process

    def start_daemon(self, port, *lines, program=None, env=None, wrapper=()):
        with open(self.config, "a") as config:
            config.write("# a test\n%sControl=%s\nTouchMode=0\n%s" % (
                "" if port is None else "Port=%s\n" % port, self.control, "".join(lines)))
        self.daemon = self.start([*wrapper, program or os.environ["ZT_DAEMON"], "--config", self.config, "--state",
                                  self.state, "--output", "xtest"], stderr=subprocess.PIPE, text=True, env=env or self.env)
        self.log = self.collect(self.daemon.stderr)
        self.assertTrue(wait_for(lambda: os.path.exists(self.control)))

    def simulator(self, link, *options):
        log = subprocess.PIPE if "-v" in options else subprocess.DEVNULL
        sim = subprocess.Popen([os.environ["ZT_TOUCHSIM"], "--link", link] + list(options), stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=log, text=True)
        self.addCleanup(lambda: sim.poll() is not None or (sim.kill(), sim.wait()))
        sim.path = sim.stdout.readline().strip()
        sim.log = self.collect(sim.stderr) if log == subprocess.PIPE else []
        return sim

    @staticmethod
    def collect(stream):
        """The lines of stream as they come."""
        lines = []
        threading.Thread(target=lambda: lines.extend(iter(stream.readline, "")), daemon=True).start()
        return lines

    def send(self, sim, line):
        sim.stdin.write(line + "\n")
        sim.stdin.flush()

    def ask(self, request):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as peer:
            peer.connect(self.control)
            peer.sendall(request.encode() + b"\n")
            return peer.makefile().readline().strip()

    def command(self, *args, program=None, **kwargs):
        return subprocess.run([program or os.environ["ZT_COMMAND"], "--socket", self.control] + list(args), env=self.env,
                              capture_output=True, text=True, timeout=60, **kwargs)

    def config_values(self):
        """The settings the daemon stored (its state file), but for its record of the last touch."""
        with contextlib.suppress(FileNotFoundError), open(self.state) as state:
            return dict(line.strip().split("=", 1) for line in state if "=" in line and "LastTouch=" not in line)
        return {}

    def pointer(self, env=None):
        out = subprocess.run(["xdotool", "getmouselocation"], env=env or self.env, capture_output=True,
                             text=True).stdout
        return tuple(int(part.split(":")[1]) for part in out.split()[:2]) if out else None

    def left_button_down(self):
        """Whether the X pointer's first button is down (XQueryPointer)."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        display = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        windows = [ctypes.c_ulong() for _ in range(2)]
        places = [ctypes.c_int() for _ in range(4)]
        mask = ctypes.c_uint()
        x11.XQueryPointer(ctypes.c_void_p(display), ctypes.c_ulong(x11.XDefaultRootWindow(display)),
                          *map(ctypes.byref, windows + places + [mask]))
        x11.XCloseDisplay(ctypes.c_void_p(display))
        return mask.value & 0x100 != 0  # Button1Mask

    def near(self, where, tolerance=1, env=None):
        at = self.pointer(env)
        return at is not None and abs(at[0] - where[0]) <= tolerance and abs(at[1] - where[1]) <= tolerance

    def colour(self, point):
        out = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % point, "-depth", "8", "txt:-"],
                             env=self.env, capture_output=True, text=True).stdout
        found = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1]) if out else None
        return tuple(int(v) for v in found.groups()) if found else None


class DaemonTest(DaemonCase):
    def test_touches_move_the_pointer_and_the_link_heals(self):
        sim = self.simulator(self.link)
        self.start_daemon(self.link, "Monitor=LEFT\n")
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        self.assertEqual(self.ask("status"), "OK Connected on " + self.link)
        self.send(sim, "report 2048 1024 2")
        self.assertTrue(wait_for(lambda: self.near((400, 150))), self.pointer())
        self.assertEqual(self.ask("bogus"), "ERR unknown request: bogus")
        status = self.command("status")
        self.assertEqual((status.returncode, status.stdout), (0, "Connected on %s\n" % self.link))
        self.assertRegex(self.command("params").stdout, r"^pressure=\d+ downcount=\d+ upcount=\d+ delay=\d+\n$")
        changed = self.command("params", "--set", "pressure=900,delay=5")
        self.assertRegex(changed.stdout, r"^pressure=900 downcount=\d+ upcount=\d+ delay=5\n$")
        refused = self.command("params", "--set", "pressure=70000")
        self.assertEqual((refused.returncode, refused.stdout), (1, ""))
        self.assertEqual(self.command("find").stdout, "Connected on %s\n" % self.link)  # nothing to look for
        self.send(sim, "report 1024 3072 1")  # a finger down (away from the last: no double tap)...
        self.assertTrue(wait_for(self.left_button_down))
        self.send(sim, "quit")  # ...when the adapter goes away: released
        self.assertTrue(wait_for(lambda: "retrying" in self.ask("status")), self.ask("status"))
        self.assertTrue(wait_for(lambda: not self.left_button_down()))
        sim = self.simulator(self.link)  # ...and comes back
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        self.send(sim, "report 1024 2048 2")
        self.assertTrue(wait_for(lambda: self.near((200, 300))), self.pointer())
        # The monitor moves and shrinks, and so does the screen (which is
        # what tells the change on Xvfb): touches follow.
        subprocess.run(["xrandr", "--delmonitor", "LEFT"], env=self.env, check=True)
        subprocess.run(["xrandr", "--setmonitor", "LEFT", "400/100x300/75+100+200", "none"], env=self.env, check=True)
        subprocess.run(["xrandr", "--output", "screen", "--off", "--fb", "1500x600"], env=self.env, check=True)
        moved = "zeltratouchd: The monitors changed: touches go to LEFT at 400x300+100+200\n"
        self.assertTrue(wait_for(lambda: moved in self.log), self.log)
        self.send(sim, "report 2048 2048 1")
        self.assertTrue(wait_for(lambda: self.near((300, 350)) and self.left_button_down()), self.pointer())
        with open(self.config, "a") as config:  # another monitor and mode, taken at SIGHUP mid-drag
            config.write("Monitor=RIGHT\nTouchMode=2\n")
        self.daemon.send_signal(signal.SIGHUP)
        self.assertTrue(wait_for(lambda: "zeltratouchd: SIGHUP: OK reloaded\n" in self.log), self.log)
        self.assertTrue(self.left_button_down())  # the drag goes on: the mode is the next touch's
        self.assertTrue(self.ask("status").startswith("OK Connected"), self.ask("status"))
        self.send(sim, "report 2048 2048 2")
        self.assertTrue(wait_for(lambda: self.near((1200, 300))), self.pointer())
        self.send(sim, "report 2048 2048 4")
        self.assertTrue(wait_for(lambda: not self.left_button_down()))
        self.daemon.terminate()
        self.assertEqual(self.daemon.wait(10), 0)
        log = "".join(self.log)
        for line in ("Output: XTest on the display :", "Started: touches go to LEFT at 800x600+0+0", "Connected on",
                     "No touch screen on", "stopped"):
            self.assertIn(line, log)

    def test_the_health_reaches_node_exporter_and_agrees_with_status_json(self):
        metrics = os.path.join(self.folder, "textfile", "zeltratouch.prom")
        os.mkdir(os.path.dirname(metrics))
        sim = self.simulator(self.link)
        self.start_daemon(self.link, "Metrics=%s\n" % metrics)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))

        def read():
            with contextlib.suppress(FileNotFoundError), open(metrics) as written:
                return written.read()
            return ""
        self.send(sim, "tap 1000 1000")
        first = wait_for(lambda: json.loads(self.command("status", "--json").stdout)["last_touch"])
        self.assertTrue(wait_for(lambda: time.time() >= first + 1.2))  # stored within a second
        self.send(sim, "tap 1000 1000")  # a later second, left to the last write as the daemon ends
        self.send(sim, "corrupt 1000 1000 2")  # a failing cable
        self.assertTrue(wait_for(lambda: "zeltratouch_checksum_errors_total 1\n" in read()), read())
        self.send(sim, "quit")  # the port goes away
        self.assertTrue(wait_for(lambda: "zeltratouch_link_losses_total 1\n" in read()), read())
        self.assertEqual(promtool_check(metrics), "")
        scraped = scrape_textfile(os.path.dirname(metrics))
        self.assertEqual(scraped.get("node_textfile_scrape_error"), 0, scraped)
        status = json.loads(self.command("status", "--json").stdout)
        for series, field, value in (("link_up", "link_up", 0), ('link_state{state="retrying"}', None, 1),
                                     ("link_losses_total", "link_losses", 1), ("touches_total", "touches", 2),
                                     ("checksum_errors_total", "checksum_errors", 1),
                                     ('output{output="mouse"}', None, 1), ("link_changes_total", "link_changes", 2),
                                     ("last_touch_timestamp_seconds", "last_touch", status["last_touch"])):
            self.assertEqual(scraped.get("zeltratouch_" + series), value, series)
            self.assertEqual(status.get(field, value), value, field)
        self.assertEqual((status["link"], status["output"]), ("retrying", "mouse"))
        self.assertGreater(status["last_touch"], time.time() - 60)
        self.daemon.terminate()  # its last write: no link state at 1 any more
        self.assertEqual(self.daemon.wait(10), 0)
        self.assertIn('zeltratouch_link_state{state="retrying"} 0\n', read())
        self.start_daemon(self.link)  # a restart (a nightly reboot) keeps the last touch, as no setting
        self.assertEqual(json.loads(self.command("status", "--json").stdout)["last_touch"], status["last_touch"])
        self.assertNotIn("LastTouch", self.command("export").stdout)

    def test_find_takes_the_port_that_answers_under_its_stable_name(self):
        silent = self.simulator(os.path.join(self.folder, "ttyA"), "--silent")
        answering = self.simulator(os.path.join(self.folder, "ttyB"))
        os.mkdir(os.path.join(self.folder, "by-id"))
        stable = os.path.join(self.folder, "by-id", "usb-Touch_Adapter-if00-port0")
        os.symlink(answering.path, stable)
        missing = os.path.join(self.folder, "ttyGONE")
        self.start_daemon(missing, "FindPorts=%s/by-id/* %s/tty*\n" % (self.folder, self.folder))
        self.assertTrue(wait_for(lambda: "Waiting for " + missing in self.ask("status")), self.ask("status"))
        shutil.rmtree(os.path.dirname(self.state))  # found all the same, but not stored
        found = self.command("find")
        self.assertEqual((found.returncode, found.stdout), (0, "found on %s, but it cannot be stored in %s: used "
                                                               "until a reload\n" % (stable, self.state)), found.stderr)
        self.assertTrue(wait_for(lambda: self.ask("status") == "OK Connected on " + stable), self.ask("status"))
        self.send(answering, "quit")  # its stable name now leads nowhere
        self.assertTrue(wait_for(lambda: "retrying" in self.ask("status")), self.ask("status"))
        nothing = self.command("find")
        self.assertEqual((nothing.returncode, nothing.stderr),
                         (1, "zeltratouch: no touch screen on %s/ttyA\n" % self.folder))
        # A stop while find waits for the silent port ends both.
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as finding:
            finding.connect(self.control)
            finding.sendall(b"find\n")
            self.assertTrue(wait_for(lambda: self.ask("reload") == "ERR busy: looking for the touch screen"))
            self.daemon.terminate()
            self.assertEqual(self.daemon.wait(10), 0)
            self.assertIn(finding.makefile().readline(), ("ERR stopping\n", ""))

    def test_a_slow_request_holds_nobody_up(self):
        sim = self.simulator(self.link, "--reply-delay", "700", "-v")
        self.start_daemon(self.link)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        params = subprocess.Popen([os.environ["ZT_COMMAND"], "--socket", self.control, "params"], env=self.env,
                                  stdout=subprocess.PIPE, text=True)
        heard = len(sim.log)
        self.assertTrue(wait_for(lambda: any("rx: 55" in line for line in sim.log[heard:])))  # asked
        busy = "ERR busy: reading the controller's parameters"
        self.assertEqual(self.ask("reload"), busy)
        self.assertEqual(self.ask("status"), "OK Connected on " + self.link)  # answered meanwhile
        self.assertEqual(self.ask("find"), busy)
        self.daemon.send_signal(signal.SIGHUP)  # taken once the request has ended
        self.assertTrue(wait_for(lambda: "zeltratouchd: SIGHUP: %s; reloading when it ends\n" % busy[4:] in self.log))
        self.assertRegex(params.communicate(timeout=30)[0], r"^pressure=\d+ ")
        self.assertTrue(wait_for(lambda: "zeltratouchd: SIGHUP: OK reloaded\n" in self.log), self.log)

    def test_without_a_port_line_it_runs_and_says_where_each_value_comes_from(self):
        os.mkdir(os.path.join(self.folder, "conf.d"))
        dropin = os.path.join(self.folder, "conf.d", "50-site.conf")
        with open(dropin, "w") as site:
            site.write("TouchMode=2\nDTime=0500\n")
        self.start_daemon(None)
        self.assertEqual(self.ask("status"), "OK No port chosen: \"zeltratouch find\" looks for the touch screen")
        shown = self.command("config")
        self.assertEqual(shown.stdout, "Control=%s  (%s)\nDTime=500  (%s)\nTouchMode=2  (%s)\n" % (
            self.control, self.config, dropin, dropin), shown.stderr)
        # The values in force as a settings file; one from Windows brought here
        # whole or not at all, its port and monitor left to the local ones.
        self.assertIn("\nDTime=500\nTouchMode=2\n", self.command("export").stdout)
        unit = os.path.join(self.folder, "unit.conf")
        taken = {}
        for beep in ("2", "1"):
            with open(unit, "w") as exported:
                exported.write("Port=COM5\r\nMonitor=\\\\.\\DISPLAY1\r\nDTime=600\r\nBeep=%s\r\n" % beep)
            taken[beep] = self.command("import", unit)
        self.assertEqual((taken["2"].returncode, taken["2"].stdout), (2, ""))
        self.assertIn(unit + ":4: Beep: out of range", taken["2"].stderr)
        self.assertEqual(taken["1"].returncode, 0, taken["1"].stderr)
        self.assertTrue(taken["1"].stdout.endswith("\nDTime=600\nBeep=1\n"), taken["1"].stdout)
        self.assertIn(unit + ":1: Port: \"COM5\" is not one of this platform's; the local Port is kept",
                      taken["1"].stderr)
        # A port another program holds: the daemon says why it waits, once;
        # find passes over that device, under any name.
        sim = self.simulator(os.path.join(self.folder, "ttyQ"))
        held = open(sim.path, "rb", buffering=0)
        self.addCleanup(held.close)
        fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        alias = os.path.join(self.folder, "usb-Touch-if00")
        os.symlink(sim.path, alias)
        with open(self.config, "a") as config:
            config.write("Port=%s\nFindPorts=%s/ttyQ*\n" % (alias, self.folder))
        self.assertEqual(self.ask("reload"), "OK reloaded")
        locked = "zeltratouchd: cannot open %s: in use by another program (locked)\n" % alias
        self.assertTrue(wait_for(lambda: locked in self.log), self.log)
        self.assertEqual(self.ask("find"), "ERR no serial port to look on: %s/ttyQ*" % self.folder)
        # A control path that is no socket is left alone.
        other = os.path.join(self.folder, "other.conf")
        with open(other, "w") as config:
            config.write("Control=%s\n" % self.config)
        second = subprocess.run([os.environ["ZT_DAEMON"], "--config", other, "--state", other, "--output", "xtest"],
                                env=self.env, capture_output=True, text=True, timeout=30)
        self.assertEqual(second.returncode, 1)
        self.assertIn("cannot make the control socket %s: File exists" % self.config, second.stderr)
        self.assertTrue(os.path.isfile(self.config))
        for program in (os.environ["ZT_DAEMON"], os.environ["ZT_COMMAND"]):
            name = os.path.basename(program)
            shown, version = (subprocess.run([program, o], capture_output=True, text=True) for o in ("--help", "--version"))
            self.assertEqual((shown.returncode, shown.stdout[:7 + len(name)]), (0, "usage: " + name))
            self.assertRegex(version.stdout, "^%s \\d+\\.\\d+\\.\\d+\n$" % name)
        unreachable = subprocess.run([os.environ["ZT_COMMAND"], "--socket", self.folder + "/none", "status"],
                                     capture_output=True, text=True, timeout=30)
        self.assertIn("systemctl status zeltratouchd", unreachable.stderr)
        self.assertEqual(self.log.count(locked), 1, self.log)  # tried again each second meanwhile

    def test_a_display_that_comes_late_goes_and_comes_back_is_followed(self):
        number = next(n for n in range(200, 250) if not os.path.exists("/tmp/.X%d-lock" % n))
        env = dict(self.env, DISPLAY=":%d" % number)
        sim = self.simulator(self.link)
        self.start_daemon(self.link, env=env)
        waiting = "zeltratouchd: waiting for the X display :%d: no X server on :%d yet\n" % (number, number)
        self.assertTrue(wait_for(lambda: waiting in self.log), self.log)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        for times, (raw, where) in enumerate(((("1024 1024"), (200, 150)), (("3072 1024"), (600, 150))), 1):
            xvfb = self.start(["Xvfb", env["DISPLAY"], "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"],
                              stderr=subprocess.DEVNULL)
            opened = "zeltratouchd: The X display :%d is open\n" % number
            self.assertTrue(wait_for(lambda: self.log.count(opened) == times), self.log)
            self.send(sim, "report %s 2" % raw)
            self.assertTrue(wait_for(lambda: self.near(where, 1, env)), self.pointer(env))
            xvfb.terminate()
            xvfb.wait(10)
            gone = "zeltratouchd: The X display :%d went away; waiting for it\n" % number
            self.assertTrue(wait_for(lambda: self.log.count(gone) == times), self.log)
            self.send(sim, "report 2048 2048 2")  # nowhere to go: nothing happens to the daemon
            self.assertTrue(self.ask("status").startswith("OK Connected"))
        self.daemon.terminate()
        self.assertEqual(self.daemon.wait(10), 0)

    def test_an_x_server_that_never_answers_holds_up_neither_start_nor_stop(self):
        number = next(n for n in range(200, 250) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        mute = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        mute.bind("/tmp/.X11-unix/X%d" % number)
        self.addCleanup(os.unlink, "/tmp/.X11-unix/X%d" % number)
        mute.listen()  # takes connections, never a word
        self.simulator(self.link)
        self.start_daemon(self.link, env=dict(self.env, DISPLAY=":%d" % number))
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        self.daemon.terminate()
        self.assertEqual(self.daemon.wait(10), 0)

    def test_a_display_that_refuses_it_is_tried_less_and_less_often(self):
        number = next(n for n in range(200, 250) if not os.path.exists("/tmp/.X%d-lock" % n))
        authority = os.path.join(self.folder, "authority")
        subprocess.run(["xauth", "-f", authority, "add", ":%d" % number, ".", os.urandom(16).hex()], check=True)
        self.start(["Xvfb", ":%d" % number, "-auth", authority, "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        self.start_daemon(self.link, env=dict(self.env, DISPLAY=":%d" % number))
        refused = "Authorization required, but no authorization protocol specified\n"  # Xlib's, each try
        self.assertTrue(wait_for(lambda: refused in self.log), self.log)
        start = time.monotonic()  # then tries 1, 2 and 4 s apart, not each second:
        self.assertTrue(wait_for(lambda: self.log.count(refused) >= 4, 20) and time.monotonic() - start > 5, self.log)

    def test_a_calibration_ends_at_its_limit_however_busy_its_client(self):
        sim = self.simulator(self.link)
        self.start_daemon(self.link, env=dict(self.env, ZT_CALIBRATION_LIMIT_MS="3000"))
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        with self.session() as (peer, lines):  # touches all along
            self.send(sim, "tap 1000 2000")
            ended, start = "ERR the calibration took too long and was ended\n", time.monotonic()
            while (line := lines.readline()) != ended and time.monotonic() < start + 20:
                if line == "up\n":
                    self.send(sim, "tap 1000 2000")
            self.assertEqual(line, ended)
        self.assertTrue(wait_for(lambda: "zeltratouchd: a calibration ended: it was still running after 3 s\n" in self.log))
        self.assertTrue(wait_for(lambda: self.ask("reload") == "OK reloaded")  # no longer busy
                        and wait_for(lambda: self.ask("status").startswith("OK Connected")))
        with self.session() as (peer, lines):
            peer.sendall(b"monitor LEFT\nmonitor RIGHT\n")
            self.assertIn("ERR one monitor line only, before the outcome\n", list(iter(lines.readline, "")))

    def test_as_its_own_user_an_unreadable_file_and_a_refused_thread_are_said(self):
        os.chmod(self.folder, 0o755)
        os.chmod(os.path.dirname(self.state), 0o777)
        os.chmod(self.simulator(self.link).path, 0o666)
        os.mkdir(os.path.join(self.folder, "conf.d"))
        secret = os.path.join(self.folder, "conf.d", "50-root.conf")  # as root's umask 077 leaves it
        os.close(os.open(secret, os.O_CREAT, 0o600))
        self.control = os.path.join(os.path.dirname(self.state), "control")
        nobody = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
        self.start_daemon(self.link, wrapper=nobody)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        self.assertIn("zeltratouchd: cannot read %s: Permission denied; its values are not used\n" % secret, self.log)
        prlimit = nobody + ["prlimit", "--pid", str(self.daemon.pid)]
        subprocess.run(prlimit + ["--nproc=1:"], check=True)  # no thread more for its user
        self.assertEqual(self.ask("params"), "ERR cannot start a worker thread: Resource temporarily unavailable")
        subprocess.run(prlimit + ["--nproc=%d:" % resource.getrlimit(resource.RLIMIT_NPROC)[1]], check=True)
        self.assertEqual(self.ask("reload"), "OK reloaded")

    @contextlib.contextmanager
    def session(self):
        """A calibration session with the daemon: its peer, its lines and the
        calibration in force it answers with (mapping, points)."""
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as peer:
            peer.settimeout(30)  # a line that never comes fails the test, not hangs it
            peer.connect(self.control)
            peer.sendall(b"calibrate\n")
            lines = peer.makefile()
            answer = lines.readline().split(" ")
            self.assertEqual((answer[0], answer[-1], len(answer)), ("OK", "monitor=\n", 21), answer)
            numbers = [int(word) for word in answer[1:20]]
            self.in_force = (numbers[0], list(zip(numbers[1::2], numbers[2::2])))
            yield peer, lines

    def outcome(self, mapping, store_points, store_mapping, points=None):
        """A session that ends with this outcome; no points: those in force."""
        with self.session() as (peer, lines):
            flat = " ".join("%d %d" % point for point in points or self.in_force[1])
            peer.sendall(("end %d %d %d %s\n" % (store_points, store_mapping, mapping, flat)).encode())
            return lines.readline()

    def test_a_calibration_session_moves_no_pointer_and_changes_only_what_it_stores(self):
        sim = self.simulator(self.link)
        self.start_daemon(self.link)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        with self.session() as (peer, lines):
            self.send(sim, "tap 1000 2000")
            self.assertEqual([lines.readline() for _ in range(3)], ["move 1000 2000\n", "down 1000 2000\n", "up\n"])
            peer.sendall(b"end 0 1 1 5\n")  # an outcome that is not one
            self.assertEqual(lines.readline(), "ERR not a calibration outcome: end 0 1 1 5\n")
        self.assertFalse(self.near((1000 * 800 // 4096, 2000 * 600 // 4096), 3), self.pointer())
        with self.session():  # a client that goes
            pass
        self.assertTrue(wait_for(lambda: self.ask("reload") == "OK reloaded"))
        self.assertEqual(self.config_values(), {})  # nothing stored
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        # A calibration that cannot be stored is used all the same, and says so.
        shutil.rmtree(os.path.dirname(self.state))
        mirrored = [(4095 - x, y) for x, y in DEFAULT_POINTS]
        self.assertEqual(self.outcome(0, 1, 0, mirrored),
                         "ERR the calibration is in use, but cannot be written to %s\n" % self.state)
        self.send(sim, "report 3071 2048 2")  # a quarter across, mirrored
        self.assertTrue(wait_for(lambda: self.near((200, 300), 3)), self.pointer())
        self.assertEqual(self.outcome(0, 0, 0), "OK nothing changed\n")  # a run cancelled: the points in force
        self.send(sim, "report 1024 2048 2")  # three quarters across, still mirrored
        self.assertTrue(wait_for(lambda: self.near((600, 300), 3)), self.pointer())
        with self.session() as (peer, lines):  # a stop during a calibration ends it
            self.daemon.terminate()
            self.assertEqual(lines.readline(), "")
        self.assertEqual(self.daemon.wait(10), 0)

    def test_a_daemon_that_spans_the_whole_screen_is_calibrated_over_it(self):
        # A daemon without a display (uinput alone): a stand-in that answers so.
        ended = threading.Event()
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as listener:
            listener.bind(self.control)
            listener.listen()

            def answer(peer):
                with peer:
                    peer.makefile().readline()
                    peer.sendall(("OK 0 %s screen\n" % " ".join("%d %d" % p for p in DEFAULT_POINTS)).encode())
                    ended.wait(30)

            def serve():
                with contextlib.suppress(OSError):  # the listener closed
                    while True:
                        threading.Thread(target=answer, args=(listener.accept()[0],), daemon=True).start()

            threading.Thread(target=serve, daemon=True).start()
            self.addCleanup(ended.set)
            refused = self.command("calibrate", "--monitor", "RIGHT")
            self.assertEqual((refused.returncode, refused.stderr),
                             (1, "zeltratouch: the daemon has no X display and maps touches over the whole screen; "
                                 "give it DISPLAY to calibrate on one monitor\n"))
            run = subprocess.Popen([os.environ["ZT_COMMAND"], "--socket", self.control, "calibrate"], env=self.env,
                                   stderr=subprocess.PIPE, text=True)
            whole = (0, 0, WIDTH, HEIGHT)
            self.assertTrue(wait_for(lambda: self.colour(tuple(v + 8 for v in target(0, whole))) == GREEN))
            ended.set()  # the daemon goes
            self.assertEqual((run.wait(30), run.stderr.read()), (1, "zeltratouch: the daemon ended the calibration\n"))

    @unittest.skipIf(os.path.exists("/dev/uinput"), "uinput is there")
    def test_without_a_way_to_move_the_pointer_it_says_so(self):
        env = dict(self.env)
        del env["DISPLAY"]  # and no /dev/uinput here
        with open(self.config, "w") as config:
            config.write("Port=%s\n" % self.link)
        for output, status, line in (("", 1, "neither uinput (/dev/uinput: No such file or directory) nor an X "
                                              "display (DISPLAY) with XTest to move the pointer"),
                                     ("uinput", 1, "cannot make the uinput pointer (/dev/uinput): No such file"),
                                     ("mouse", 2, "usage: zeltratouchd")):
            ended = subprocess.run([os.environ["ZT_DAEMON"], "--config", self.config] + (["--output", output] * bool(output)),
                                   env=env, capture_output=True, text=True, timeout=30)
            self.assertEqual(ended.returncode, status)
            self.assertIn(line, ended.stderr)

    def test_a_calibration_on_the_second_monitor_of_a_mirrored_panel_is_kept_by_touch(self):
        sim = self.simulator(self.link, "--mirror-x")
        self.start_daemon(self.link)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        run = subprocess.Popen([os.environ["ZT_COMMAND"], "--socket", self.control, "calibrate", "--monitor", "RIGHT"],
                               env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda: run.poll() is not None or (run.kill(), run.wait()))
        for index in range(13):
            x, y = target(index, RIGHT)
            self.assertTrue(wait_for(lambda: self.colour((x + 8, y + 8)) == GREEN), "target %d not shown" % index)
            if index == 0:
                self.assertEqual(self.ask("reload"), "ERR busy: a calibration is running")
            self.send(sim, "tap %d %d" % raw_of((x, y), RIGHT))
            if index < 12:
                self.assertTrue(wait_for(lambda: self.colour(target(index + 1, RIGHT)) != self.colour((x + 8, y + 8))))
        # The report's Keep, touched through the new points where it shows.
        self.assertTrue(wait_for(lambda: self.colour((800 + 115, 330)) == (0, 0, 0)), "no report")
        keep = (800 + 115 + 85, 330 + 35)
        self.send(sim, "tap %d %d" % raw_of(keep, RIGHT))
        out, err = run.communicate(timeout=30)
        self.assertEqual((run.returncode, out), (0, "calibration kept and stored\n"), err)
        values = self.config_values()
        self.assertEqual(values["Monitor"], "RIGHT")
        for index in range(9):
            x, y = raw_of(target(index, RIGHT), RIGHT)
            self.assertLessEqual(abs(int(values["PX%d" % index]) - (4095 - x)), 10, values)
        self.send(sim, "tap 3000 1000")  # mirrored on the panel, where it is on the monitor
        self.assertTrue(wait_for(lambda: self.near((800 + 3000 * 800 // 4096, 1000 * 600 // 4096), 3)),
                        self.pointer())


if __name__ == "__main__":
    unittest.main()
