#!/usr/bin/env python3
"""The host program's what-if, change report and INF pre-flight, and qzreg's JSON listings.

Usage: extras_test.py QZINST32 QZREG
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from package_files import example_package_paths, place_example_package  # noqa: E402

QZINST32 = QZREG = None
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_INF = os.path.join(HERE, "..", "..", "examples", "rt2210.inf")
BROKEN_INF = os.path.join(HERE, "broken.inf")


def log_has_header(path):
    """Whether SQLite would read the log's frames: its header starts with the
    log's magic number."""
    with open(path, "rb") as f:
        return f.read(4) in (b"\x37\x7f\x06\x82", b"\x37\x7f\x06\x83")


class Machine:
    def __init__(self, osname):
        self.root = tempfile.mkdtemp(prefix="qzextras.")
        self.env = dict(os.environ, QZINST_ROOT=self.root)
        subprocess.run([QZREG, "init", "--os", osname], env=self.env, check=True,
                       capture_output=True)
        # The package's setup copies its files before command 2.
        place_example_package(self.root, osname)

    def run(self, *args):
        return subprocess.run([QZINST32, "--no-trace"] + list(args), env=self.env,
                              capture_output=True)

    def qzreg(self, *args):
        return subprocess.run([QZREG] + list(args), env=self.env, capture_output=True)

    def export(self):
        done = self.qzreg("export")
        assert done.returncode == 0, done.stderr
        return done.stdout

    def fingerprint(self):
        """The registry export and a hash of every file of the root but the lock,
        SQLite's shared-memory index (rebuilt by whoever opens the registry
        first) and an empty log (kept between runs: no bytes, or no valid
        header before the frames of runs before)."""
        files = {}
        for folder, _, names in os.walk(self.root):
            for name in names:
                path = os.path.join(folder, name)
                if name in ("instance.lock", "registry.db-shm"):
                    continue
                if name == "registry.db-wal" and not log_has_header(path):
                    continue
                with open(path, "rb") as f:
                    files[os.path.relpath(path, self.root)] = hashlib.sha256(f.read()).hexdigest()
        return self.export(), files

    def files(self):
        """Every file of the root, byte for byte (nothing is read through a
        program, which would open the registry itself)."""
        found = {}
        for folder, _, names in os.walk(self.root):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, self.root)] = f.read()
        return found

    def copy(self):
        clone = Machine.__new__(Machine)
        clone.root = tempfile.mkdtemp(prefix="qzextras.copy.")
        shutil.rmtree(clone.root)
        shutil.copytree(self.root, clone.root)
        clone.env = dict(os.environ, QZINST_ROOT=clone.root)
        return clone

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class WhatIfTest(unittest.TestCase):
    def setUp(self):
        self.outside = tempfile.mkdtemp(prefix="qzextras.files.")
        self.machines = []

    def tearDown(self):
        for machine in self.machines:
            machine.remove()
        shutil.rmtree(self.outside, ignore_errors=True)

    def machine(self, osname):
        machine = Machine(osname)
        self.machines.append(machine)
        return machine

    def commands(self, osname):
        profile = os.path.join(self.outside, "setup.ini")
        with open(profile, "w") as f:
            f.write("[Config]\nServerAddress=0.0.0.0\nOther=1\n")
        section = "RT2210" if osname == "win98" else "RT2210N"
        return [
            "1 HRT1:",
            "2 %s %s LPT1:" % (EXAMPLE_INF, section),
            "3 %s %s LPT1:" % (EXAMPLE_INF, section),
            "4 Setup.exe -u",
            "5 " + profile,
            "5 " + os.path.join(self.outside, "missing", "setup.ini"),
            "257 C:\\SETUP",
            "2 %s Broken LPT1:" % BROKEN_INF,
            "7 nothing",
        ]

    def check_what_if_matches_real_run(self, osname):
        machine = self.machine(osname)
        for command in self.commands(osname):
            with self.subTest(os=osname, command=command):
                before = machine.fingerprint()
                profile_before = self.outside_files()
                twin = machine.copy()
                self.machines.append(twin)

                what_if = machine.run("--what-if", "--report", "json", command)
                self.assertEqual(machine.fingerprint(), before, "what-if changed the machine")
                self.assertEqual(self.outside_files(), profile_before)
                text = machine.run("--what-if", command)
                self.assertEqual(text.returncode, what_if.returncode)

                real = machine.run("--report", "json", command)
                self.assertEqual(what_if.returncode, real.returncode)
                predicted, made = json.loads(what_if.stdout), json.loads(real.stdout)
                self.assertTrue(predicted["what_if"])
                self.assertFalse(made["what_if"])
                for key in ("command", "parameter", "result", "result_hex", "meaning",
                            "changed", "changes"):
                    self.assertEqual(predicted[key], made[key], key)

                # The .reg text of the what-if, imported into a copy of the
                # machine as it was, gives the registry the real run made.
                patch = os.path.join(self.outside, "patch.reg")
                with open(patch, "wb") as f:
                    f.write(text.stdout)
                done = twin.qzreg("import", patch)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(twin.export(), machine.export())

    def outside_files(self):
        found = {}
        for folder, _, names in os.walk(self.outside):
            for name in names:
                if name != "patch.reg":
                    with open(os.path.join(folder, name), "rb") as f:
                        found[name] = f.read()
        return found

    def test_what_if_on_windows_98(self):
        self.check_what_if_matches_real_run("win98")

    def test_what_if_on_windows_nt(self):
        self.check_what_if_matches_real_run("nt")

    def test_what_if_leaves_every_file_as_it_was(self):
        for osname in ("win98", "nt"):
            machine = self.machine(osname)
            self.assertEqual(machine.run("1 HRT0:").returncode, 0)  # the log files as runs leave them
            for command in self.commands(osname):
                before = machine.files()
                self.assertIn("registry.db-wal", before)
                machine.run("--what-if", command)
                self.assertEqual(sorted(machine.files()), sorted(before), command)
                self.assertTrue(machine.files() == before, command)
            # Without log files (removed by another client) none are left behind.
            for name in ("registry.db-wal", "registry.db-shm"):
                os.unlink(os.path.join(machine.root, name))
            before = machine.files()
            machine.run("--what-if", "1 HRT2:")
            self.assertEqual(machine.files(), before)

    def test_report_of_an_installation_and_of_its_repetition(self):
        machine = self.machine("win98")
        command = "2 %s RT2210 LPT1:" % EXAMPLE_INF
        first = json.loads(machine.run("--report", "json", command).stdout)
        self.assertEqual((first["command"], first["result"], first["result_hex"]),
                         (2, 0, "0x0000"))
        self.assertEqual(first["parameter"], "%s RT2210 LPT1:" % EXAMPLE_INF)
        self.assertTrue(first["changed"])
        spooler = {(c["object"], c["name"], c["action"]) for c in first["changes"]
                   if c["area"] == "spooler"}
        self.assertEqual(spooler, {
            ("printer", "Halden RT-2210 Series", "added"),
            ("driver", "Halden RT-2210 Series", "added"),
            ("monitor", "Halden Language Monitor", "added"),
            ("monitor", "Halden Port Monitor", "added"),
        })
        second = machine.run("--report", "json", command)
        self.assertEqual(second.returncode, 0)
        again = json.loads(second.stdout)
        self.assertEqual((again["changed"], again["changes"]), (False, []))

    def test_report_names_failures_from_the_table(self):
        machine = self.machine("win98")
        report = json.loads(machine.run("--report", "json", "7 x").stdout)
        self.assertEqual((report["result"], report["result_hex"], report["meaning"],
                          report["exit_status"], report["changed"]),
                         (1027, "0x0403", "unknown command number", 11, False))
        port = json.loads(machine.run("--report=json", "1", "HRT9:").stdout)
        self.assertIn({"area": "profile", "action": "added", "file": "C:\\WINDOWS\\WIN.INI",
                       "section": "Ports", "key": "HRT9:", "value": ""}, port["changes"])

    def test_plain_run_prints_nothing_and_bad_report_format_is_refused(self):
        machine = self.machine("win98")
        done = machine.run("259")
        self.assertEqual((done.returncode, done.stdout), (0, b""))
        done = machine.run("--report", "xml", "259")
        self.assertEqual(done.returncode, 120)
        self.assertIn(b"unknown report format 'xml'", done.stderr)

    def test_what_if_keeps_the_trace_of_the_real_run(self):
        machine = self.machine("nt")
        command = "2 %s RT2210N LPT1:" % EXAMPLE_INF
        env = machine.env
        what_if = subprocess.run([QZINST32, "--what-if", command], env=env, capture_output=True)
        real = subprocess.run([QZINST32, command], env=env, capture_output=True)
        self.assertEqual(what_if.stderr, real.stderr)
        self.assertIn(b"WinMain()=0x", real.stderr)


class CheckInfTest(unittest.TestCase):
    """Each section of broken.inf with the problems (line, kind, key) it must show."""

    EXPECTED = {
        "Broken": {(9, "error", "Driver"), (10, "error", "device"),
                   (11, "error", "LanguageMonitor"), (12, "error", "PortMonitor"),
                   (13, "error", "PrintProcessor")},
        "Cut": {(18, "warning", "device"), (19, "error", "Driver"),
                (21, "error", "ConfigFile"), (22, "warning", "DefaultDataType"),
                (23, "warning", "DrvVersion"), (24, "warning", "Attributes"),
                (26, "error", "PrintProcessor"), (27, "warning", "PrintProcessorParam"),
                (28, "warning", "PortMonitor"), (17, "warning", "Win95DeviceID"),
                (29, "warning", "Model"), (30, "warning", "Mfg")},
        "CutPair": {(36, "warning", "LanguageMonitor"), (36, "error", "LanguageMonitor")},
        "NoDevice": {(40, "error", "device")},
        "Misspelt": {(52, "warning", "PortMontor"), (55, "error", "PortMonitor")},
    }

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qzextras.inf.")
        self.env = dict(os.environ, QZINST_ROOT=os.path.join(self.root, "machine"))

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def check(self, *args):
        return subprocess.run([QZINST32, "--check-inf"] + list(args), env=self.env,
                              capture_output=True)

    def test_broken_sections(self):
        for section, expected in self.EXPECTED.items():
            with self.subTest(section=section):
                done = self.check(BROKEN_INF, section)
                got = set(
                    (int(number), kind, key) for number, kind, key in re.findall(
                        r"^.*?:(\d+): (error|warning): \[[^]]*\] (\w+): ",
                        done.stdout.decode(), re.M))
                lines = [l for l in done.stdout.decode().splitlines()
                         if ": error: " in l or ": warning: " in l]
                self.assertEqual(got, expected)
                self.assertEqual(len(lines), len(expected), done.stdout.decode())
                fails = any(kind == "error" for _, kind, _ in expected)
                self.assertEqual(done.returncode, 1 if fails else 0)
                self.assertEqual(done.stdout.decode().count("    fix: "), len(expected))
        self.assertFalse(os.path.exists(os.path.join(self.root, "machine")),
                         "checking an INF must not create a machine")

    def test_verdict_agrees_with_command_2(self):
        subprocess.run([QZREG, "init"], env=self.env, check=True, capture_output=True)
        for inf, section in ((BROKEN_INF, "Broken"), (BROKEN_INF, "CutPair"),
                             (BROKEN_INF, "NoDevice"), (EXAMPLE_INF, "RT2210")):
            with self.subTest(section=section):
                check = self.check(inf, section)
                run = subprocess.run([QZINST32, "--no-trace", "2 %s %s LPT1:" % (inf, section)],
                                     env=self.env, capture_output=True)
                self.assertEqual(check.returncode != 0, run.returncode != 0)

    def test_example_passes(self):
        done = self.check(EXAMPLE_INF, "RT2210")
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn(b"0 error(s), 0 warning(s)", done.stdout)
        # The network model's own print processor is for Windows NT only:
        # without a machine the check reads as a fresh Windows 98 one.
        done = self.check(EXAMPLE_INF, "RT2210N")
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn(b"PrintProcessor: the installer adds its own", done.stdout)
        self.init("nt")
        done = self.check(EXAMPLE_INF, "RT2210N")
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertNotIn(b": error: ", done.stdout)

    def init(self, osname="win98"):
        subprocess.run([QZREG, "init", "--os", osname], env=self.env, check=True,
                       capture_output=True)
        place_example_package(self.env["QZINST_ROOT"], osname)

    def test_misspelt_key_names_the_known_one(self):
        done = self.check(BROKEN_INF, "Misspelt")
        self.assertIn(b":52: warning: [Misspelt] PortMontor: no command reads this key; "
                      b"did you mean PortMonitor?", done.stdout)
        self.assertIn(b'its file becomes "KESTLM", a file that does not exist', done.stdout)
        self.assertNotIn(b"CopyFiles", done.stdout, "Windows setup's own keys are no fault")

    def test_nul_byte_in_a_value(self):
        inf = os.path.join(self.root, "nul.inf")
        with open(inf, "wb") as f:
            f.write(b"[P]\r\ndevice=Halden\x00RT\r\nDriver=HRT2210.DRV\r\n")
        done = self.check(inf, "P")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b':2: error: [P] device: a NUL byte after 6 characters', done.stdout)

    def test_port_and_nt_driver_on_the_machine(self):
        done = self.check(EXAMPLE_INF, "RT2210", "LPT1:")
        self.assertEqual(done.returncode, 0, "no machine: the port is not checked")
        self.assertIn(b"so the port was not checked", done.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.root, "machine")))
        self.init()
        for port, fails in (("KPORT9:", True), ("lpt1:", False), ("LPT1:", False)):
            with self.subTest(port=port):
                done = self.check(EXAMPLE_INF, "RT2210", port)
                self.assertEqual(done.returncode, int(fails), done.stdout)
                if fails:
                    self.assertIn(b'the port "KPORT9:" is not on this machine (EnumPortsA lists '
                                  b'LPT1:', done.stdout)
                run = subprocess.run([QZINST32, "--no-trace", "2 %s RT2210 %s" % (EXAMPLE_INF, port)],
                                     env=self.env, capture_output=True)
                self.assertEqual(run.returncode != 0, fails)

    def test_nt_driver_must_be_there_on_nt(self):
        self.init("nt")
        done = self.check(EXAMPLE_INF, "RT2210", "LPT1:")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b'no "Windows NT x86" driver "Halden RT-2210 Series"', done.stdout)
        run = subprocess.run([QZINST32, "--no-trace", "2 %s RT2210 LPT1:" % EXAMPLE_INF],
                             env=self.env, capture_output=True)
        self.assertEqual(run.returncode, 30)
        driver = os.path.join(self.root, "ntdriver.reg")
        with open(driver, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print"
                    "\\Environments\\Windows NT x86\\Drivers\\Version-3\\Halden RT-2210 Series]\n"
                    "\"Driver\"=\"HRT2210.DLL\"\n\"Data File\"=\"HRT2210.DAT\"\n"
                    "\"Configuration File\"=\"HRT2210U.DLL\"\n\"Version\"=dword:00000003\n")
        subprocess.run([QZREG, "import", driver], env=self.env, check=True, capture_output=True)
        done = self.check(EXAMPLE_INF, "RT2210", "LPT1:")
        self.assertEqual(done.returncode, 0, done.stdout)
        run = subprocess.run([QZINST32, "--no-trace", "2 %s RT2210 LPT1:" % EXAMPLE_INF],
                             env=self.env, capture_output=True)
        self.assertEqual(run.returncode, 0, run.stderr)

    def test_missing_files_are_named_with_both_paths(self):
        for osname, monitor_dir, driver_dir, error in (
                ("win98", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM", 87),
                ("nt", "C:\\WINDOWS\\system32",
                 "C:\\WINDOWS\\system32\\spool\\DRIVERS\\WIN40", 126)):
            with self.subTest(os=osname):
                shutil.rmtree(self.env["QZINST_ROOT"], ignore_errors=True)
                self.init(osname)
                machine = self.env["QZINST_ROOT"]
                for relative in example_package_paths(osname):
                    os.remove(os.path.join(machine, "drive_c", *relative.split("/")))
                done = self.check(EXAMPLE_INF, "RT2210")
                self.assertEqual(done.returncode, 1)
                text = done.stdout.decode()
                host_dir = os.path.join(machine, "drive_c", *monitor_dir[3:].split("\\"))
                self.assertIn('PortMonitor: the file "hrtpmon.dll" of "Halden Port Monitor" is not '
                              "at %s\\hrtpmon.dll (on this machine %s/hrtpmon.dll): AddMonitorA "
                              "fails with %d" % (monitor_dir, host_dir, error), text)
                for key, name in (("Driver", "HRT2210.DRV"), ("DataFile", "HRT2210.DAT"),
                                  ("ConfigFile", "HRT2210U.DLL"), ("HelpFile", "HRT2210.HLP")):
                    self.assertIn('%s: the driver\'s file "%s" is not at %s\\%s' %
                                  (key, name, driver_dir, name), text)
                self.assertIn("AddPrinterDriverA fails with 2", text)
                self.assertEqual(text.count(": error: "), 6, text)  # WinPrint is built in
                # The setup's copies make the check and command 2 pass (98: NT lacks its driver).
                place_example_package(machine, osname)
                done = self.check(EXAMPLE_INF, "RT2210")
                self.assertNotIn(b"is not at", done.stdout)
                self.assertEqual(done.returncode, 0, done.stdout)

    def test_json_findings_and_strict(self):
        import runs_test
        done = self.check("--json", BROKEN_INF, "Misspelt")
        self.assertEqual(done.returncode, 1)
        found = json.loads(done.stdout)
        runs_test.validate(self, found, "check-inf.schema.json")
        self.assertEqual((found["errors"], found["warnings"], found["passed"]), (1, 1, False))
        self.assertEqual(found["findings"][0], {
            "file": BROKEN_INF, "line": 52, "key": "PortMontor", "severity": "warning",
            "message": "no command reads this key; did you mean PortMonitor?",
            "fix": "rename it to PortMonitor, or remove it"})
        warned = os.path.join(self.root, "warned.inf")
        with open(warned, "w") as f:
            f.write("[P]\ndevice=Halden\nDriver=HRT2210.DRV\nWin95DeviceID=X\nPortMontor=a,b\n")
        self.assertEqual(self.check(warned, "P").returncode, 0)
        self.assertEqual(self.check("--strict", warned, "P").returncode, 1)
        strict = subprocess.run([QZINST32, "--json", "--check-inf", warned, "P", "--strict"],
                                env=self.env, capture_output=True)
        self.assertEqual(strict.returncode, 1)
        found = json.loads(strict.stdout)
        runs_test.validate(self, found, "check-inf.schema.json")
        self.assertEqual((found["strict"], found["passed"]), (True, False))
        self.assertEqual(self.check("--strict", EXAMPLE_INF, "RT2210").returncode, 0)

    def test_missing_file_section_and_usage(self):
        done = self.check(os.path.join(self.root, "none.inf"), "RT2210")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"cannot read", done.stdout)
        self.assertEqual(self.check(EXAMPLE_INF, "Nowhere").returncode, 1)
        self.assertEqual(self.check(EXAMPLE_INF, "RT 2210").returncode, 1)
        done = subprocess.run([QZINST32, "--check-inf", EXAMPLE_INF], env=self.env,
                              capture_output=True)
        self.assertEqual(done.returncode, 120)


class ListingJsonTest(unittest.TestCase):
    def test_listings_as_json(self):
        machine = Machine("nt")
        try:
            for listing in ("printers", "drivers", "monitors", "processors", "ports"):
                done = machine.qzreg(listing, "--json")
                self.assertEqual(done.returncode, 0, listing)
                rows = json.loads(done.stdout)
                self.assertIsInstance(rows, list)
                self.assertTrue(all("name" in row for row in rows), listing)
            ports = json.loads(machine.qzreg("ports", "--json").stdout)
            self.assertIn("LPT1:", [p["name"] for p in ports])
            machine.run("2 %s RT2210N LPT1:" % EXAMPLE_INF)
            drivers = json.loads(machine.qzreg("drivers", "--json").stdout)
            driver = [d for d in drivers if d["name"] == "Halden RT-2210N Series"][0]
            # NT reports the driver's path in its spool folder and its version level.
            self.assertTrue(driver["driver_file"].endswith("\\HRT2210.DRV"), driver)
            self.assertEqual((driver["environment"], driver["monitor"], driver["version"]),
                             ("Windows 4.0", "Halden Language Monitor", 0))
            self.assertEqual(machine.qzreg("ports", "--xml").returncode, 120)
        finally:
            machine.remove()


if __name__ == "__main__":
    QZINST32, QZREG = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
