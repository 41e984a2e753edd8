#!/usr/bin/env python3
"""The far end of a simulated serial line for the Win32 tests under Wine.

Creates a pseudo-terminal, maps its slave into the Wine prefix as a COM port
and serves a line-based control protocol on a loopback TCP port, so that a
test program inside Wine can send bytes down the line, read what it wrote
and check the line settings from the terminal's side. Then runs the given
command with ZT_PEER_PORT (TCP port) and ZT_PEER_COM (e.g. COM5) set and
exits with its status.

Control commands (one per line; every answer is one line, "ERR ..." on error):
  SEND <hex>             write the bytes to the line          -> OK
  RECV <count> <ms>      read up to count bytes, waiting ms    -> OK <hex>
  TERMIOS                the slave's settings                  -> OK speed=9600 csize=8 cstopb=1 parenb=0
  PATH                   the slave's path                      -> OK /dev/pts/N
"""
import fcntl
import os
import pty
import select
import socket
import subprocess
import sys
import termios
import threading
import tty

SPEEDS = {getattr(termios, name): int(name[1:]) for name in dir(termios)
          if name.startswith("B") and name[1:].isdigit()}
CSIZES = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}


def claim_com_port(prefix):
    """Links the first free COM5..COM32 of the prefix; returns (name, link)."""
    devices = os.path.join(prefix, "dosdevices")
    os.makedirs(devices, exist_ok=True)
    for number in range(5, 33):
        lock = os.path.join(devices, ".zt-com%d.lock" % number)
        try:
            os.mkdir(lock)
        except FileExistsError:
            continue
        return "COM%d" % number, os.path.join(devices, "com%d" % number), lock
    raise SystemExit("serial_peer: no free COM port in " + devices)


class Line:
    def __init__(self):
        self.master, slave = pty.openpty()
        self.path = os.ttyname(slave)
        tty.setraw(self.master)
        tty.setraw(slave)
        os.close(slave)
        self.lock = threading.Lock()

    def send(self, data):
        with self.lock:
            os.write(self.master, data)
        return "OK"

    def recv(self, count, timeout_ms):
        data = b""
        deadline = timeout_ms / 1000.0
        while len(data) < count:
            ready, _, _ = select.select([self.master], [], [], deadline)
            if not ready:
                break
            try:
                chunk = os.read(self.master, count - len(data))
            except OSError:
                break
            if not chunk:
                break
            data += chunk
            deadline = 0.2  # once bytes flow, wait only briefly for the rest
        return "OK " + data.hex()

    def settings(self):
        fd = os.open(self.path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(fd)
        finally:
            os.close(fd)
        return "OK speed=%d csize=%d cstopb=%d parenb=%d" % (
            SPEEDS.get(ospeed, -1), CSIZES[cflag & termios.CSIZE],
            1 if cflag & termios.CSTOPB else 0, 1 if cflag & termios.PARENB else 0)


def serve(server, line):
    while True:
        try:
            conn, _ = server.accept()
        except OSError:
            return
        threading.Thread(target=handle, args=(conn, line), daemon=True).start()


def handle(conn, line):
    with conn, conn.makefile("rw", newline="\n") as stream:
        for request in stream:
            words = request.split()
            try:
                if words[0] == "SEND":
                    answer = line.send(bytes.fromhex("".join(words[1:])))
                elif words[0] == "RECV":
                    answer = line.recv(int(words[1]), int(words[2]))
                elif words[0] == "TERMIOS":
                    answer = line.settings()
                elif words[0] == "PATH":
                    answer = "OK " + line.path
                else:
                    answer = "ERR unknown command"
            except (IndexError, ValueError, OSError) as error:
                answer = "ERR %s" % error
            stream.write(answer + "\n")
            stream.flush()


def main():
    if len(sys.argv) < 2:
        raise SystemExit("usage: serial_peer.py command [args...]")
    prefix = os.environ["WINEPREFIX"]
    line = Line()
    com_name, link, lock = claim_com_port(prefix)
    try:
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(line.path, link)
        server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        server.bind(("127.0.0.1", 0))
        server.listen(4)
        threading.Thread(target=serve, args=(server, line), daemon=True).start()
        env = dict(os.environ, ZT_PEER_PORT=str(server.getsockname()[1]), ZT_PEER_COM=com_name)
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        if os.path.islink(link):
            os.unlink(link)
        os.rmdir(lock)


if __name__ == "__main__":
    sys.exit(main())
