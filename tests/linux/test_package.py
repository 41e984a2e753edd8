"""The Debian package: what it holds, its programs and default config at
work unpacked, and, on a throwaway machine (ZT_SYSTEM_TESTS=1, as root),
installed for real: the user, the rights and the control socket's group."""
import ctypes
import grp
import os
import pwd
import re
import shutil
import struct
import subprocess
import tempfile
import unittest

from test_daemon import DaemonCase, wait_for

DEB = os.environ.get("ZT_DEB", "")


def deb_field(name):
    return subprocess.run(["dpkg-deb", "-f", DEB, name], capture_output=True, text=True, check=True).stdout.strip()


def as_the_unit_runs_it(user, groups):
    """The unit's User=, Group=, SupplementaryGroups= and what its ~@privileged filter refuses: chown and its
    kin (x86-64 numbers) fail with EPERM."""
    rules = [(0x20, 0, 0, 0)] + [(0x15, 4 - i, 0, nr) for i, nr in enumerate((92, 93, 260, 94))]
    code = ctypes.create_string_buffer(b"".join(struct.pack("HBBI", *rule) for rule in rules + [
        (6, 0, 0, 0x7FFF0000), (6, 0, 0, 0x50001)]))  # else allowed; chown and its kin: EPERM
    program = struct.pack("HxxxxxxP", len(rules) + 2, ctypes.addressof(code))

    def apply(libc=ctypes.CDLL(None), code=code):  # code: alive as long as apply
        os.setgroups(groups)
        os.setgid(user.pw_gid)
        os.setuid(user.pw_uid)
        if libc.prctl(38, 1, 0, 0, 0) or libc.prctl(22, 2, ctypes.c_char_p(program), 0, 0):
            os._exit(3)  # PR_SET_NO_NEW_PRIVS, PR_SET_SECCOMP with a filter
    return apply


class PackageTest(DaemonCase):
    def test_it_holds_the_programs_the_service_the_rules_and_a_config_kept_on_upgrade(self):
        self.assertEqual((deb_field("Package"), deb_field("Architecture")), ("zeltratouch", "amd64"))
        for needed in ("adduser", "init-system-helpers", "libxrandr2", "libxtst6"):
            self.assertIn(needed, deb_field("Depends"))
        listing = subprocess.run(["dpkg-deb", "-c", DEB], capture_output=True, text=True, check=True).stdout
        for path in ("./usr/sbin/zeltratouchd", "./usr/bin/zeltratouch", "./etc/zeltratouch/zeltratouch.conf",
                     "./lib/systemd/system/zeltratouchd.service", "./lib/udev/rules.d/60-zeltratouch.rules",
                     "./usr/lib/modules-load.d/zeltratouch.conf", "./usr/share/doc/zeltratouch/copyright",
                     "./usr/share/doc/zeltratouch/changelog.gz", "./usr/share/man/man1/zeltratouch.1.gz",
                     "./usr/share/man/man8/zeltratouchd.8.gz", "./usr/share/man/man5/zeltratouch.conf.5.gz"):
            self.assertIn(" " + path + "\n", listing)
        control = os.path.join(self.folder, "DEBIAN")
        subprocess.run(["dpkg-deb", "-e", DEB, control], check=True)
        with open(os.path.join(control, "conffiles")) as conffiles:
            self.assertEqual(conffiles.read(), "/etc/zeltratouch/zeltratouch.conf\n")
        scripts = {}
        for script in ("preinst", "postinst", "prerm", "postrm"):
            subprocess.run(["sh", "-n", os.path.join(control, script)], check=True)
            with open(os.path.join(control, script)) as text:
                scripts[script] = text.read()
        # The admin's choices and policy-rc.d are respected (debhelper's way);
        # /etc is not given to the daemon.
        everything = "".join(scripts.values())
        for wrong in ("systemctl enable", "systemctl restart", "systemctl disable", "0775", "0664", "chown root:zeltratouch"):
            self.assertNotIn(wrong, everything)
        for right in ("deb-systemd-helper --quiet was-enabled zeltratouchd.service", "deb-systemd-invoke restart"):
            self.assertIn(right, scripts["postinst"])
        self.assertIn("deb-systemd-invoke stop", scripts["prerm"])
        self.assertIn("deb-systemd-helper purge", scripts["postrm"])
        # An upgrade from a version whose daemon stored its values in the config.
        root = os.path.join(self.folder, "root")
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        config = os.path.join(root, "etc/zeltratouch/zeltratouch.conf")
        with open(config) as shipped_file:
            shipped = shipped_file.read()
        stored = "PX0=300\nPY8=3900\nMapping=1\nMonitor=HDMI-1\n"
        with open(config, "w") as old:  # as the daemon before 1.0.0 left it
            old.write(shipped.replace("\nPort=\n", "\nPort=/dev/ttyUSB0\n") + stored)
        for version in ("0.9.0", "1.0.0"):  # the second: nothing more to move
            subprocess.run(["sh", os.path.join(control, "preinst"), "upgrade", version], check=True,
                           env=dict(os.environ, DPKG_ROOT=root))
        with open(config) as migrated:
            self.assertEqual(migrated.read(), shipped)  # unchanged to dpkg: replaced without a prompt
        with open(os.path.join(root, "var/lib/zeltratouch/zeltratouch.conf")) as state:
            self.assertEqual(state.read(), "Port=/dev/ttyUSB0\n" + stored)

    def test_the_service_and_the_rules_give_each_the_least_it_needs(self):
        root = os.path.join(self.folder, "root")
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        unit_path = os.path.join(root, "lib/systemd/system/zeltratouchd.service")
        with open(unit_path) as unit:
            settings = [line.strip() for line in unit if "=" in line and not line.startswith("#")]
        for line in ("Type=notify", "User=zeltratouch", "StateDirectory=zeltratouch", "StateDirectoryMode=0700",
                     "UMask=0027", "ProtectSystem=strict", "ProtectKernelTunables=yes", "ProtectKernelModules=yes",
                     "ProtectKernelLogs=yes", "ProtectControlGroups=yes", "RestrictAddressFamilies=AF_UNIX",
                     "SystemCallFilter=@system-service", "DevicePolicy=closed", "DeviceAllow=/dev/uinput rw",
                     "DeviceAllow=char-ttyUSB rw", "NoNewPrivileges=yes"):
            self.assertIn(line, settings)
        self.assertFalse([line for line in settings if line.startswith("ReadWritePaths")], settings)
        with open(os.path.join(root, "lib/udev/rules.d/60-zeltratouch.rules")) as rules:
            uinput = [line for line in rules if 'KERNEL=="uinput"' in line]
        self.assertEqual(len(uinput), 1)
        self.assertIn('OWNER="zeltratouch", GROUP="root", MODE="0600"', uinput[0])
        # Both tools are required (scripts/install-deps.sh): a check that cannot run fails.
        analysis = subprocess.run(["systemd-analyze", "security", "--offline=true", unit_path], capture_output=True,
                                  text=True)
        level = re.search(r"exposure level for zeltratouchd.service: ([\d.]+)", analysis.stdout)
        self.assertTrue(level and float(level[1]) <= 2.0, analysis.stdout + analysis.stderr)
        checked = subprocess.run(["lintian", DEB], capture_output=True, text=True)
        self.assertEqual((checked.returncode, [line for line in checked.stdout.splitlines() if line[:2] in ("E:", "W:")]),
                         (0, []), checked.stdout + checked.stderr)

    def test_unpacked_it_starts_without_a_port_finds_one_and_keeps_the_comments(self):
        root = os.path.join(self.folder, "root")
        subprocess.run(["dpkg-deb", "-x", DEB, root], check=True)
        shutil.copy(os.path.join(root, "etc/zeltratouch/zeltratouch.conf"), self.config)
        with open(self.config) as config:
            shipped = config.read()
        sim = self.simulator(os.path.join(self.folder, "ttyUSB0"))
        with open(self.config, "a") as config:
            config.write("Control=%s\nFindPorts=%s/tty*\n" % (self.control, self.folder))
        self.daemon = self.start([os.path.join(root, "usr/sbin/zeltratouchd"), "--config", self.config, "--state",
                                  self.state, "--output", "xtest"], stderr=subprocess.PIPE, text=True)
        self.log = self.collect(self.daemon.stderr)
        self.assertTrue(wait_for(lambda: os.path.exists(self.control)))
        command = os.path.join(root, "usr/bin/zeltratouch")
        found = self.command("find", program=command)
        self.assertEqual((found.returncode, found.stdout), (0, "found on %s/ttyUSB0\n" % self.folder), found.stderr)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        with open(self.config) as config:  # the admin's file is not written
            self.assertEqual(config.read(), shipped + "Control=%s\nFindPorts=%s/tty*\n" % (self.control, self.folder))
        self.assertEqual(self.config_values(), {"Port": "%s/ttyUSB0" % self.folder})
        self.assertFalse([line for line in self.log if "bad" in line or ": line" in line], self.log)

    @unittest.skipUnless(os.environ.get("ZT_SYSTEM_TESTS") == "1" and os.getuid() == 0, "changes the machine")
    def test_installed_the_daemon_runs_as_its_user_and_operators_may_only_talk_to_it(self):
        subprocess.run(["dpkg", "-i", DEB], check=True, capture_output=True)
        self.addCleanup(subprocess.run, ["dpkg", "-P", "zeltratouch"], capture_output=True)
        user = pwd.getpwnam("zeltratouch")
        groups = subprocess.run(["id", "-nG", "zeltratouch"], capture_output=True, text=True).stdout.split()
        self.assertEqual(sorted(groups), ["dialout", "zeltratouch"])
        for path, owner, mode in (("/etc/zeltratouch", (0, 0), 0o755),
                                  ("/etc/zeltratouch/zeltratouch.conf", (0, 0), 0o644),
                                  ("/var/lib/zeltratouch", (user.pw_uid, user.pw_gid), 0o700)):
            stat = os.stat(path)
            self.assertEqual(((stat.st_uid, stat.st_gid), stat.st_mode & 0o777), (owner, mode), path)
        operator = "zt-operator-%d" % os.getpid()
        subprocess.run(["useradd", "--no-create-home", "-G", "zeltratouch", operator], check=True)
        self.addCleanup(subprocess.run, ["userdel", operator], capture_output=True)
        sim = self.simulator(os.path.join(self.folder, "ttyUSB0"))
        os.chmod(self.folder, 0o755)
        os.chown(sim.path, -1, grp.getgrnam("dialout").gr_gid)  # as serial ports are
        os.chmod(sim.path, 0o660)
        os.makedirs("/run/zeltratouch", exist_ok=True)
        shutil.chown("/run/zeltratouch", "zeltratouch", "zeltratouch")
        os.chmod("/run/zeltratouch", 0o750)
        self.control = "/run/zeltratouch/control"
        env = dict(self.env)
        env.pop("STATE_DIRECTORY", None)
        daemon = self.start(["/usr/sbin/zeltratouchd", "--output", "xtest"], env=env,
                            preexec_fn=as_the_unit_runs_it(user, [user.pw_gid, grp.getgrnam("dialout").gr_gid]))
        self.assertTrue(wait_for(lambda: os.path.exists(self.control)))
        socket_stat = os.stat(self.control)
        self.assertEqual((socket_stat.st_uid, socket_stat.st_gid, socket_stat.st_mode & 0o777),
                         (user.pw_uid, user.pw_gid, 0o660))

        def as_operator(*command):
            return subprocess.run(["runuser", "-u", operator, "--"] + list(command), capture_output=True, text=True,
                                  env=self.env, timeout=60)

        # The operator finds the port through the daemon, which stores it in
        # its own file; the operator can write neither that nor the config.
        with open("/etc/zeltratouch/zeltratouch.conf", "a") as config:
            config.write("FindPorts=%s/tty*\n" % self.folder)
        self.assertEqual(as_operator("/usr/bin/zeltratouch", "reload").stdout, "reloaded\n")
        found = as_operator("/usr/bin/zeltratouch", "find")
        self.assertEqual(found.stdout, "found on %s/ttyUSB0\n" % self.folder, found.stderr)
        self.assertTrue(wait_for(lambda: self.ask("status").startswith("OK Connected")), self.ask("status"))
        with open("/var/lib/zeltratouch/zeltratouch.conf") as state:
            self.assertEqual(state.read(), "Port=%s/ttyUSB0\n" % self.folder)
        for path in ("/etc/zeltratouch/zeltratouch.conf", "/etc/zeltratouch/conf.d/x.conf",
                     "/var/lib/zeltratouch/zeltratouch.conf.new"):
            self.assertNotEqual(as_operator("sh", "-c", "echo Port=/dev/ttyS0 > " + path).returncode, 0, path)
        self.assertNotEqual(as_operator("cat", "/var/lib/zeltratouch/zeltratouch.conf").returncode, 0)
        # Someone outside the group is refused, even with the socket opened to all.
        os.chmod(self.control, 0o666)
        os.chmod("/run/zeltratouch", 0o755)
        refused = subprocess.run(["runuser", "-u", "nobody", "--", "/usr/bin/zeltratouch", "status"],
                                 capture_output=True, text=True)
        self.assertEqual((refused.returncode, refused.stderr), (1, "zeltratouch: not allowed\n"))
        daemon.terminate()


if __name__ == "__main__":
    unittest.main()
