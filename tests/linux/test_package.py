"""The Debian package: what it holds, its programs and default config at
work unpacked, and, on a throwaway machine (ZT_SYSTEM_TESTS=1, as root),
installed for real: the user, the rights and the control socket's group."""
import os
import pwd
import shutil
import subprocess
import tempfile
import unittest

from test_daemon import DaemonCase, wait_for

DEB = os.environ.get("ZT_DEB", "")


def deb_field(name):
    return subprocess.run(["dpkg-deb", "-f", DEB, name], capture_output=True, text=True, check=True).stdout.strip()


class PackageTest(DaemonCase):
    def test_it_holds_the_programs_the_service_the_rules_and_a_config_kept_on_upgrade(self):
        self.assertEqual((deb_field("Package"), deb_field("Architecture")), ("zeltratouch", "amd64"))
        for needed in ("adduser", "libxrandr2", "libxtst6"):
            self.assertIn(needed, deb_field("Depends"))
        listing = subprocess.run(["dpkg-deb", "-c", DEB], capture_output=True, text=True, check=True).stdout
        for path in ("./usr/sbin/zeltratouchd", "./usr/bin/zeltratouch", "./etc/zeltratouch/zeltratouch.conf",
                     "./lib/systemd/system/zeltratouchd.service", "./lib/udev/rules.d/60-zeltratouch.rules",
                     "./usr/lib/modules-load.d/zeltratouch.conf"):
            self.assertIn(" " + path + "\n", listing)
        control = os.path.join(self.folder, "DEBIAN")
        subprocess.run(["dpkg-deb", "-e", DEB, control], check=True)
        with open(os.path.join(control, "conffiles")) as conffiles:
            self.assertEqual(conffiles.read(), "/etc/zeltratouch/zeltratouch.conf\n")
        for script in ("postinst", "prerm", "postrm"):
            subprocess.run(["sh", "-n", os.path.join(control, script)], check=True)

    def test_unpacked_it_starts_without_a_port_finds_one_and_keeps_the_comments(self):
        root = os.path.join(self.folder, "root")
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        shutil.copy(os.path.join(root, "etc/zeltratouch/zeltratouch.conf"), self.config)
        with open(self.config) as config:
            shipped = config.read()
        sim = self.simulator(os.path.join(self.folder, "ttyUSB0"))
        with open(self.config, "a") as config:
            config.write("Control=%s\nFindPorts=%s/tty*\n" % (self.control, self.folder))
        self.daemon = self.start([os.path.join(root, "usr/sbin/zeltratouchd"), "--config", self.config, "--output",
                                  "xtest"], stderr=subprocess.PIPE, text=True)
        self.log = self.collect(self.daemon.stderr)
        self.assertTrue(wait_for(lambda: os.path.exists(self.control)))
        command = os.path.join(root, "usr/bin/zeltratouch")
        self.assertEqual(self.command("status", program=command).stdout,
                         "No port chosen: \"zeltratouch find\" looks for the touch screen\n")
        found = self.command("find", program=command)
        self.assertEqual((found.returncode, found.stdout), (0, "found on %s/ttyUSB0\n" % self.folder), found.stderr)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        with open(self.config) as config:
            stored = config.read()
        self.assertEqual(stored, shipped.replace("\nPort=\n", "\nPort=%s/ttyUSB0\n" % self.folder) +
                         "Control=%s\nFindPorts=%s/tty*\n" % (self.control, self.folder))
        self.assertFalse([line for line in self.log if "bad" in line or ": line" in line], self.log)

    @unittest.skipUnless(os.environ.get("ZT_SYSTEM_TESTS") == "1" and os.getuid() == 0, "changes the machine")
    def test_installed_the_daemon_runs_as_its_user_and_its_socket_is_the_groups(self):
        subprocess.run(["dpkg", "-i", DEB], check=True, capture_output=True)
        self.addCleanup(subprocess.run, ["dpkg", "-P", "zeltratouch"], capture_output=True)
        user = pwd.getpwnam("zeltratouch")
        groups = subprocess.run(["id", "-nG", "zeltratouch"], capture_output=True, text=True).stdout.split()
        self.assertEqual(sorted(groups), ["dialout", "zeltratouch"])
        stat = os.stat("/etc/zeltratouch")
        self.assertEqual((stat.st_gid, stat.st_mode & 0o777), (user.pw_gid, 0o775))
        sim = self.simulator(os.path.join(self.folder, "ttyUSB0"))
        os.chmod(self.folder, 0o755)
        os.chown(sim.path, -1, user.pw_gid)  # the group's, as dialout's serial ports are
        os.chmod(sim.path, 0o660)
        os.makedirs("/run/zeltratouch", exist_ok=True)
        shutil.chown("/run/zeltratouch", "zeltratouch", "zeltratouch")
        with open("/etc/zeltratouch/zeltratouch.conf", "a") as config:
            config.write("Port=%s/ttyUSB0\n" % self.folder)
        self.control = "/run/zeltratouch/control"
        daemon = self.start(["runuser", "-u", "zeltratouch", "--", "/usr/sbin/zeltratouchd", "--output", "xtest"])
        self.assertTrue(wait_for(lambda: os.path.exists(self.control)))
        socket_stat = os.stat(self.control)
        self.assertEqual((socket_stat.st_uid, socket_stat.st_gid, socket_stat.st_mode & 0o777),
                         (user.pw_uid, user.pw_gid, 0o660))
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        # Someone outside the group is refused, even with the socket opened to all.
        os.chmod(self.control, 0o666)
        os.chmod("/run/zeltratouch", 0o755)
        refused = subprocess.run(["runuser", "-u", "nobody", "--", "/usr/bin/zeltratouch", "status"],
                                 capture_output=True, text=True)
        self.assertEqual((refused.returncode, refused.stderr), (1, "zeltratouch: not allowed\n"))
        daemon.terminate()


if __name__ == "__main__":
    unittest.main()
