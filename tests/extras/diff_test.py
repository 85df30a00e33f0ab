#!/usr/bin/env python3
"""qzreg diff: what a whole setup sequence changed, what an uninstall left behind,
roots and images alike, and neither machine touched.

Usage: diff_test.py QZINST32 QZREG
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import jsonschema
except ImportError:  # a missing validator fails every validating test, never skips it
    jsonschema = None

QZINST32 = QZREG = None
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXAMPLE_INF = os.path.join(SOURCE, "examples", "rt2210.inf")
SCHEMA = os.path.join(SOURCE, "docs", "schemas", "qzreg-diff.schema.json")
PRINTER = "Halden RT-2210 Series"
SETUP = ["257 D:\\RT2210\\WIN98", "1 NETPRN1:", "2 C:\\RT2210\\RT2210.INF RT2210 LPT1:",
         "3 C:\\RT2210\\RT2210.INF RT2210 LPT1:", "4 C:\\PROGRA~1\\HALDEN\\UNINST.EXE -f",
         "5 C:\\WINDOWS\\RT2210.INI", "258"]


def digest(folder):
    """Every file below the folder with its content's hash; SQLite's shared-memory
    index, which every reader of a registry fills in, is no state of the machine."""
    out = {}
    for top, _, names in os.walk(folder):
        for name in names:
            if name.endswith("-shm"):
                continue
            path = os.path.join(top, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return out


class DiffCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qzdiff.")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def run_in(self, root, program, *args):
        env = dict(os.environ, QZINST_ROOT=root)
        return subprocess.run([program] + list(args), env=env, capture_output=True, text=True)

    def machine(self, name, osname="win98"):
        root = os.path.join(self.work, name)
        self.assertEqual(self.run_in(root, QZREG, "init", "--os", osname).returncode, 0)
        return root

    def diff(self, a, b):
        done = subprocess.run([QZREG, "diff", a, b, "--json"], capture_output=True, text=True)
        self.assertIn(done.returncode, (0, 1), done.stderr)
        document = json.loads(done.stdout)
        self.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
        with open(SCHEMA) as f:
            errors = list(jsonschema.Draft202012Validator(json.load(f)).iter_errors(document))
        self.assertEqual([e.message for e in errors], [])
        self.assertEqual(document["equal"], done.returncode == 0)
        return document

    def test_equal_machines_in_either_form(self):
        a = self.machine("a")
        b = self.machine("b")
        image = os.path.join(self.work, "a.qzm")
        self.assertEqual(self.run_in(a, QZREG, "save", image).returncode, 0)
        for x, y in ((a, b), (a, image), (image, b)):
            document = self.diff(x, y)
            self.assertTrue(document["equal"], document)
        done = subprocess.run([QZREG, "diff", a, b], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0)
        self.assertIn("the machines are equal", done.stdout)
        nt = self.machine("nt", "nt")
        document = self.diff(a, nt)
        self.assertFalse(document["equal"])
        self.assertEqual((document["a_os"], document["b_os"]), ("win98", "nt"))

    def test_what_a_whole_setup_sequence_changed(self):
        root = self.machine("m")
        # What the setup copies first: on Windows 98 the monitors and the driver's
        # files go into the system directory.
        system = os.path.join(root, "drive_c", "WINDOWS", "SYSTEM")
        for name in ("hrtpmon.dll", "hrtlmon.dll", "HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL",
                     "HRT2210.HLP"):
            open(os.path.join(system, name), "wb").close()
        before = os.path.join(self.work, "before.qzm")
        self.assertEqual(self.run_in(root, QZREG, "save", before).returncode, 0)
        os.makedirs(os.path.join(root, "drive_c", "RT2210"))
        shutil.copy(EXAMPLE_INF, os.path.join(root, "drive_c", "RT2210", "RT2210.INF"))
        for command in SETUP:
            done = self.run_in(root, QZINST32, "--no-trace", *command.split(" "))
            self.assertEqual(done.returncode, 0, command + done.stderr)
        kept = digest(root)
        document = self.diff(before, root)
        self.assertEqual(digest(root), kept, "the machine is not touched")
        changes = document["changes"]
        keys = {c["key"] for c in changes if c["area"] == "registry" and c["action"] == "added"}
        self.assertIn("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\"
                      + PRINTER, keys)
        self.assertIn("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
                      "\\" + PRINTER, keys)
        profiles = {(c["file"], c["section"], c["key"], c.get("value")) for c in changes
                    if c["area"] == "profile"}
        self.assertIn(("C:\\WINDOWS\\WIN.INI", "Ports", "NETPRN1:", ""), profiles)
        self.assertIn(("C:\\WINDOWS\\RT2210.INI", "Config", "ServerAddress", "192.168.1.20"),
                      profiles)
        spooler = {(c["object"], c["name"]) for c in changes if c["area"] == "spooler"}
        self.assertTrue({("printer", PRINTER), ("port", "NETPRN1:"),
                         ("monitor", "Halden Port Monitor")} <= spooler, spooler)
        # 257 then 258: the source path is back, so it is no difference.
        self.assertFalse([c for c in changes if c.get("value") == "SourcePath"])
        self.assertEqual(document["files"],
                         [{"area": "file", "action": "added", "file": "C:\\RT2210", "folder": True},
                          {"area": "file", "action": "added", "file": "C:\\RT2210\\RT2210.INF",
                           "folder": False}])
        done = subprocess.run([QZREG, "diff", before, root], capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertTrue(done.stdout.startswith("REGEDIT4"))
        self.assertIn(";   printer \"%s\" added" % PRINTER, done.stdout)

    def test_what_an_uninstall_left_behind(self):
        root = self.machine("nt", "nt")
        system = os.path.join(root, "drive_c", "WINDOWS", "system32")
        for dll in ("hrtpmon.dll", "hrtlmon.dll"):
            open(os.path.join(system, dll), "wb").close()
        base = os.path.join(self.work, "base.qzm")
        self.assertEqual(self.run_in(root, QZREG, "save", base).returncode, 0)
        add = ["driver", "add", PRINTER, "--environment", "Windows NT x86", "--driver",
               "HRT2210.DRV", "--data", "HRT2210.DAT", "--config", "HRT2210U.DLL"]
        drivers = os.path.join(system, "spool", "DRIVERS")
        for env in ("W32X86", "WIN40"):
            os.makedirs(os.path.join(drivers, env), exist_ok=True)
            for name in ("HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL", "HRT2210.HLP"):
                open(os.path.join(drivers, env, name), "wb").close()
        self.assertEqual(self.run_in(root, QZREG, *add).returncode, 0)
        for command in ("2 %s RT2210 LPT1:" % EXAMPLE_INF, "4 C:\\UNINST.EXE"):
            self.assertEqual(self.run_in(root, QZINST32, "--no-trace", *command.split(" "))
                             .returncode, 0)
        # An uninstall that forgets the "Windows 4.0" driver and the uninstall entry.
        for args in (["printer", "delete", PRINTER], ["driver", "delete", PRINTER],
                     ["monitor", "delete", "Halden Language Monitor"]):
            self.assertEqual(self.run_in(root, QZREG, *args).returncode, 1 if "monitor" in args
                             else 0, args)
        for env in ("W32X86", "WIN40"):  # the files, not the fresh image's folders
            for name in ("HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL", "HRT2210.HLP"):
                os.remove(os.path.join(drivers, env, name))
        left = self.diff(base, root)["changes"]
        spooler = [(c["object"], c["name"], c.get("environment")) for c in left
                   if c["area"] == "spooler"]
        # Command 2 adds the port monitor on NT too, which the uninstall also forgot.
        self.assertEqual(sorted(spooler), [("driver", PRINTER, "Windows 4.0"),
                                           ("monitor", "Halden Language Monitor", None),
                                           ("monitor", "Halden Port Monitor", None)])
        self.assertIn("hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall"
                      "\\" + PRINTER.lower(),
                      [c["key"].lower() for c in left if c["area"] == "registry"])
        # Removing what was left makes the machines equal again.
        for args in (["driver", "delete", PRINTER, "--environment", "Windows 4.0"],
                     ["monitor", "delete", "Halden Language Monitor"],
                     ["monitor", "delete", "Halden Port Monitor"],
                     ["delete", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                      + PRINTER, "/f"]):
            self.assertEqual(self.run_in(root, QZREG, *args).returncode, 0, args)
        document = self.diff(base, root)
        self.assertTrue(document["equal"], document)

    def test_refusals(self):
        a = self.machine("a")
        self.assertEqual(subprocess.run([QZREG, "diff", a], capture_output=True).returncode, 120)
        self.assertEqual(subprocess.run([QZREG, "diff", a, a, "--bogus"],
                                        capture_output=True).returncode, 120)
        missing = os.path.join(self.work, "none")
        self.assertEqual(subprocess.run([QZREG, "diff", a, missing], capture_output=True)
                         .returncode, 121)
        self.assertFalse(os.path.exists(missing))
        junk = os.path.join(self.work, "junk.qzm")
        with open(junk, "w") as f:
            f.write("not an image")
        self.assertEqual(subprocess.run([QZREG, "diff", junk, a], capture_output=True)
                         .returncode, 121)


if __name__ == "__main__":
    QZINST32, QZREG = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
