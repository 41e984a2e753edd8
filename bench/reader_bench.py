#!/usr/bin/env python3
"""Measures the real ZeltraTouch.exe under Wine + Xvfb with a controller on a
pseudo-terminal that this script drives itself:

  idle        CPU of all the program's threads and their voluntary context
              switches per second, over a stretch with the line silent
  latency     from the write of a report's last byte to the X pointer
              reaching the mapped pixel, over reports spaced 30 ms apart
  throughput  taps at 1000 reports a second: how many button-downs reach a
              window under the pointer

    bench/reader_bench.py [--exe PATH] [--idle-seconds 30] [--reports 300]

Run scripts/demo.sh (or the windows build) first; the UI driver and the
harness come from the end-to-end tests. Prints one line per figure.
"""
import argparse
import ctypes
import os
import pty
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import SCREEN, TITLE, Display, Driver, Registry, Wine, raw_at, wait_for  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def report(status, x, y):
    packet = [0x55, 0x54, status, x & 0xFF, x >> 8, y & 0xFF, y >> 8, 0, 0]
    return bytes(packet + [(sum(packet[1:]) - 1) & 0xFF])


class Pointer:
    """The X pointer, read with XQueryPointer about every 0.05 ms: the script
    sleeps between looks, so that it leaves the processor to the program it
    measures (the figures are that much coarser)."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
        self.display = self.x11.XOpenDisplay(display.encode())
        self.root = self.x11.XDefaultRootWindow(self.display)
        self.values = [ctypes.c_int() for _ in range(4)] + [ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_uint()]

    def wait_until_at(self, x, y, timeout=1.0):
        """The perf_counter time when the pointer was seen at (x, y), or None."""
        v = self.values
        deadline = time.perf_counter() + timeout
        while time.perf_counter() < deadline:
            self.x11.XQueryPointer(self.display, self.root, ctypes.byref(v[4]), ctypes.byref(v[5]),
                                   ctypes.byref(v[0]), ctypes.byref(v[1]), ctypes.byref(v[2]),
                                   ctypes.byref(v[3]), ctypes.byref(v[6]))
            if abs(v[0].value - x) <= 1 and abs(v[1].value - y) <= 1:
                return time.perf_counter()
            time.sleep(0.00002)
        return None


def process_times(pid):
    """CPU seconds and voluntary context switches of every thread of pid."""
    cpu = switches = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/stat" % (pid, task)) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
            cpu += (int(fields[11]) + int(fields[12])) / TICKS
        with open("/proc/%d/task/%s/status" % (pid, task)) as status:
            for line in status:
                if line.startswith("voluntary_ctxt_switches"):
                    switches += int(line.split()[1])
    return cpu, switches


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "windows", "src", "ZeltraTouch.exe"))
    parser.add_argument("--idle-seconds", type=float, default=30)
    parser.add_argument("--reports", type=int, default=300)
    args = parser.parse_args()
    os.environ.setdefault("ZT_UIDRIVER", os.path.join(ROOT, "build", "windows", "tests", "e2e", "zt_uidriver.exe"))
    os.environ.setdefault("ZT_E2E_PREFIX", os.path.join(ROOT, "build", "bench-prefix"))

    display = Display()
    wine = Wine(display)
    master, slave = pty.openpty()
    link = wine.com_link(5)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(os.ttyname(slave), link)
    driver = None
    try:
        Registry(wine).reset({"Port": "COM5", "DTime": 0})  # DTime 0: no tap is a double tap
        program = wine.start(args.exe)
        driver = Driver(wine)
        window = wait_for(lambda: driver.value("findmain", "#32770", TITLE), 20)
        wait_for(lambda: driver.visible(window), 20)
        time.sleep(2)  # start-up settles

        with open("/proc/%d/cmdline" % program.pid) as cmdline:
            print("program: pid %d, %s, %d threads" % (program.pid, cmdline.read().replace("\0", " ").strip(),
                                                     len(os.listdir("/proc/%d/task" % program.pid))))
        before, start = process_times(program.pid), time.monotonic()
        time.sleep(args.idle_seconds)
        after, elapsed = process_times(program.pid), time.monotonic() - start
        print("idle: %.3f %% of one core, %.1f voluntary context switches a second over %.0f s" %
              (100 * (after[0] - before[0]) / elapsed, (after[1] - before[1]) / elapsed, elapsed))

        pointer = Pointer(display.name)
        latencies = []
        # Corners of the screen, outside every window, so that X reports each
        # move to the root window.
        spots = [(60, 60), (960, 60), (960, 700), (60, 700)]
        for i in range(args.reports):
            x, y = spots[i % 4]
            packet = report(2, *raw_at(x, y))
            os.write(master, packet[:9])
            time.sleep(0.005)
            os.write(master, packet[9:])
            sent = time.perf_counter()
            reached = pointer.wait_until_at(x, y)
            latencies.append(((reached or sent + 1) - sent) * 1000)
            time.sleep(0.030)
        latencies.sort()
        print("latency: p50 %.2f ms, p99 %.2f ms, max %.2f ms over %d reports" %
              (statistics.median(latencies), latencies[int(len(latencies) * 0.99) - 1], latencies[-1],
               len(latencies)))

        driver.value("probe", 100, 100, 800, 500)
        driver.value("events")
        taps = 0
        start = time.monotonic()
        while time.monotonic() - start < 2:
            raw = raw_at(150 + (taps % 700), 150 + (taps % 400))
            os.write(master, report(1, *raw) + report(4, *raw))
            taps += 1
            time.sleep(0.0019)  # two reports about every 2 ms: 1000 a second
        rate = 2 * taps / (time.monotonic() - start)
        time.sleep(1)
        log = driver.events_until("never", timeout=2)
        downs = log.count("LDOWN") + log.count("LDBL")  # a quick second press is a double-click
        print("throughput: %d of %d button-downs arrived at %.0f reports a second" %
              (downs, taps, rate))
    finally:
        if driver:
            driver.stop()
        wine.kill()
        os.close(master)
        display.stop()


if __name__ == "__main__":
    main()
