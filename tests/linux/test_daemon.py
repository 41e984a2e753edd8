"""zeltratouchd for real: on a virtual X display with XTest, reading the
simulated controller on a pseudo-terminal, answering its control socket;
the port going away and coming back."""
import os
import socket
import subprocess
import tempfile
import time
import unittest


def wait_for(condition, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    return condition()


class DaemonTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        number = next(n for n in range(150, 200) if not os.path.exists("/tmp/.X%d-lock" % n))
        self.env = dict(os.environ, DISPLAY=":%d" % number, ASAN_OPTIONS="detect_leaks=0")
        self.start(["Xvfb", self.env["DISPLAY"], "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"])
        self.assertTrue(wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0))
        self.link = os.path.join(self.folder, "ttyTOUCH")
        self.sim = self.simulator()
        self.control = os.path.join(self.folder, "control")
        with open(os.path.join(self.folder, "zeltratouch.conf"), "w") as config:
            config.write("# a test\nPort=%s\nControl=%s\nTouchMode=0\n" % (self.link, self.control))
        self.daemon = self.start([os.environ["ZT_DAEMON"], "--config", os.path.join(self.folder, "zeltratouch.conf"),
                                  "--output", "xtest"], stderr=subprocess.PIPE)

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, **kwargs)
        self.addCleanup(lambda: process.poll() is not None or (process.terminate(), process.wait(10)))
        return process

    def simulator(self):
        sim = subprocess.Popen([os.environ["ZT_TOUCHSIM"], "--link", self.link], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(lambda: sim.poll() is not None or (sim.kill(), sim.wait()))
        sim.stdout.readline()
        return sim

    def ask(self, request):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as peer:
            peer.connect(self.control)
            peer.sendall(request.encode() + b"\n")
            return peer.makefile().readline().strip()

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation"], env=self.env, capture_output=True, text=True).stdout
        return tuple(int(part.split(":")[1]) for part in out.split()[:2]) if out else None

    def near(self, where):
        at = self.pointer()
        return at is not None and abs(at[0] - where[0]) <= 1 and abs(at[1] - where[1]) <= 1

    def test_touches_move_the_pointer_and_the_link_heals(self):
        self.assertTrue(wait_for(lambda: os.path.exists(self.control) and self.ask("status").startswith("OK Connected")))
        self.assertEqual(self.ask("status"), "OK Connected on " + self.link)
        self.sim.stdin.write("report 2048 1024 2\n")
        self.sim.stdin.flush()
        self.assertTrue(wait_for(lambda: self.near((512, 192))), self.pointer())
        self.assertEqual(self.ask("bogus"), "ERR unknown request: bogus")
        # The command: status, the controller's parameters read and written.
        command = [os.environ["ZT_COMMAND"], "--socket", self.control]
        run = lambda *args: subprocess.run(command + list(args), capture_output=True, text=True, timeout=30)
        self.assertEqual((run("status").returncode, run("status").stdout), (0, "Connected on %s\n" % self.link))
        self.assertRegex(run("params").stdout, r"^pressure=\d+ downcount=\d+ upcount=\d+ delay=\d+\n$")
        changed = run("params", "--set", "pressure=900,delay=5")
        self.assertRegex(changed.stdout, r"^pressure=900 downcount=\d+ upcount=\d+ delay=5\n$")
        refused = run("params", "--set", "pressure=70000")
        self.assertEqual((refused.returncode, refused.stdout), (1, ""))
        self.assertEqual(run("find").returncode, 2)
        self.sim.stdin.write("quit\n")  # the adapter goes away...
        self.sim.stdin.flush()
        self.assertTrue(wait_for(lambda: "retrying" in self.ask("status")), self.ask("status"))
        self.sim = self.simulator()  # ...and comes back
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        self.sim.stdin.write("report 1024 2048 2\n")
        self.sim.stdin.flush()
        self.assertTrue(wait_for(lambda: self.near((256, 384))), self.pointer())
        self.daemon.terminate()
        self.assertEqual(self.daemon.wait(10), 0)
        log = self.daemon.stderr.read().decode()
        for line in ("Connected on", "No touch screen on", "stopped"):
            self.assertIn(line, log)


if __name__ == "__main__":
    unittest.main()
