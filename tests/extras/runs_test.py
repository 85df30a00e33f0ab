#!/usr/bin/env python3
"""A run as a package author or a pipeline meets it: why a command failed, the
report of this run alone (validated against its JSON Schema), waiting for the
instance guard, a registry locked by another program, text in UTF-8.

Usage: runs_test.py QZINST32 QZREG
"""

import fcntl
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from package_files import place_example_package  # noqa: E402

try:
    import jsonschema
except ImportError:  # a missing validator fails every validating test, never skips it
    jsonschema = None

QZINST32 = QZREG = None
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXAMPLE_INF = os.path.join(SOURCE, "examples", "rt2210.inf")
SCHEMAS = os.path.join(SOURCE, "docs", "schemas")


def schema(name):
    with open(os.path.join(SCHEMAS, name)) as f:
        return json.load(f)


def validate(case, document, name="report.schema.json"):
    case.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
    errors = sorted(jsonschema.Draft202012Validator(schema(name)).iter_errors(document),
                    key=str)
    case.assertEqual([e.message for e in errors], [], json.dumps(document)[:400])


class Machine:
    def __init__(self, osname="win98", code_page=None):
        self.root = tempfile.mkdtemp(prefix="qzruns.")
        self.env = dict(os.environ, QZINST_ROOT=self.root)
        subprocess.run([QZREG, "init", "--os", osname], env=self.env, check=True,
                       capture_output=True)
        place_example_package(self.root, osname)  # as the package's setup copies them
        if code_page:  # the default image holds ASCII names only: any code page reads it
            with open(os.path.join(self.root, "machine.ini"), "w") as f:
                f.write("[Machine]\nOS=%s\nCodePage=%d\n" % (osname, code_page))

    def run(self, *args, **kwargs):
        return subprocess.run([QZINST32] + list(args), env=self.env, capture_output=True,
                              **kwargs)

    def report(self, *args):
        done = self.run("--no-trace", "--json", *args)
        return done, json.loads(done.stdout)

    def qzreg(self, *args):
        return subprocess.run([QZREG] + list(args), env=self.env, capture_output=True)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class MachineCase(unittest.TestCase):
    def setUp(self):
        self.machines = []
        self.files = tempfile.mkdtemp(prefix="qzruns.files.")

    def tearDown(self):
        for m in self.machines:
            m.remove()
        shutil.rmtree(self.files, ignore_errors=True)

    def machine(self, *args, **kwargs):
        m = Machine(*args, **kwargs)
        self.machines.append(m)
        return m

    def inf(self):
        path = os.path.join(self.files, "k90.inf")
        shutil.copy(EXAMPLE_INF, path)
        return path


class ReasonTest(MachineCase):
    """Every failure says why, in one line, also without a trace."""

    def reason(self, m, command, status):
        done = m.run("--no-trace", command)
        self.assertEqual(done.returncode, status, done.stderr)
        lines = done.stderr.decode().splitlines()
        self.assertEqual(len(lines), 1, lines)
        quiet = m.run("--no-trace", "--quiet", command)
        self.assertEqual((quiet.returncode, quiet.stderr), (status, b""))
        return lines[0]

    def test_faults_of_the_inf_name_the_cause_and_the_check(self):
        m = self.machine()
        inf = self.inf()
        missing = os.path.join(self.files, "nope.inf")
        line = self.reason(m, "2 %s K90 LPT1:" % missing, 29)
        self.assertTrue(line.startswith(
            "qzinst32: result 1045 (0x0415), a printer support object could not be installed: "
            "the INF %s [K90]: cannot read " % missing), line)
        self.assertIn("no such file", line)
        self.assertTrue(line.endswith("check it with qzinst32 --check-inf %s K90" % missing))
        line = self.reason(m, "2 %s RT221O LPT1:" % inf, 29)
        self.assertIn("no section [RT221O]", line)
        self.assertIn("--check-inf", line)
        self.assertNotIn("cannot read", line)

    def test_command_3_says_what_it_did_not_find(self):
        m = self.machine()
        inf = self.inf()
        line = self.reason(m, "3 %s RT2210 LPT3:" % inf, 8)
        self.assertTrue(line.endswith(
            "nothing found or nothing could be opened: the registry's Enum tree (below BIOS "
            "and Root) has no node of the port \"LPT3:\""), line)
        bare = os.path.join(self.files, "bare.inf")
        with open(bare, "w") as f:
            f.write("[P]\ndevice=Halden\nDriver=HRT2210.DRV\n")
        line = self.reason(m, "3 %s P LPT1:" % bare, 8)
        self.assertIn("[P] Win95DeviceID: no value", line)
        self.assertIn("--check-inf %s P" % bare, line)

    def test_refused_calls_name_the_call_the_error_and_the_object(self):
        m = self.machine()
        line = self.reason(m, "2 %s RT2210 KPORT9:" % self.inf(), 30)
        self.assertEqual(line, 'qzinst32: result 1046 (0x0416), the spooler refused to add the '
                         'printer: AddPrinterA failed with 1796 ERROR_UNKNOWN_PORT (the port '
                         '"KPORT9:" does not exist)')

    def test_a_printer_without_its_nt_driver_on_nt(self):
        m = self.machine("nt")
        line = self.reason(m, "2 %s RT2210 LPT1:" % self.inf(), 30)
        self.assertIn('AddPrinterA failed with 1797 ERROR_UNKNOWN_PRINTER_DRIVER (the driver '
                      '"Halden RT-2210 Series" is not installed)', line)
        self.assertIn('"Windows NT x86" driver must be installed before command 2', line)

    def test_failures_without_a_call_say_the_result(self):
        m = self.machine()
        self.assertEqual(self.reason(m, "7 x", 11),
                         "qzinst32: result 1027 (0x0403), unknown command number")
        done = m.run("--no-trace", "259")
        self.assertEqual((done.returncode, done.stderr), (0, b""), "success says nothing")


class ReportTest(MachineCase):
    def test_json_is_report_json_and_reports_validate(self):
        m = self.machine()
        inf = self.inf()
        for command in ("1 HRT1:", "2 %s RT2210 LPT1:" % inf, "2 %s RT2210 LPT1:" % inf,
                        "7 x", "257 C:\\SETUP", "5 " + os.path.join(self.files, "no", "s.ini")):
            with self.subTest(command=command):
                twin = Machine.__new__(Machine)
                twin.root = tempfile.mkdtemp(prefix="qzruns.twin.")
                shutil.rmtree(twin.root)
                shutil.copytree(m.root, twin.root)
                twin.env = dict(os.environ, QZINST_ROOT=twin.root)
                self.machines.append(twin)
                long_form = twin.run("--no-trace", "--report", "json", command)
                done, report = m.report(command)
                self.assertEqual(done.stdout, long_form.stdout)
                validate(self, report)
                self.assertEqual(report["changed"], report["changes"] != [])

    def test_a_failed_run_carries_its_error(self):
        m = self.machine()
        done, report = m.report("2 %s RT2210 KPORT9:" % self.inf())
        self.assertEqual(done.returncode, 30)
        validate(self, report)
        self.assertEqual({k: report["error"][k] for k in ("call", "code", "name")},
                         {"call": "AddPrinterA", "code": 1796, "name": "ERROR_UNKNOWN_PORT"})
        self.assertEqual(report["error"]["meaning"], 'the port "KPORT9:" does not exist')
        # The components went in before the printer was refused.
        self.assertTrue(report["changed"])
        _, report = m.report("2 %s K90 LPT1:" % os.path.join(self.files, "nope.inf"))
        validate(self, report)
        self.assertEqual((report["error"]["call"], report["error"]["code"]),
                         ("GetPrivateProfileStringA", 2))
        _, report = m.report("7 x")
        validate(self, report)
        self.assertEqual((report["error"]["call"], report["error"]["meaning"]),
                         (None, "unknown command number"))
        _, report = m.report("259")
        self.assertNotIn("error", report)

    def test_a_refused_run_reports_no_changes_while_others_change_the_machine(self):
        m = self.machine()
        inf = self.inf()

        def job(n, out):
            for i in range(6):
                command = "1 J%dP%d:" % (n, i) if i % 2 else "2 %s RT2210 J%dP%d:" % (inf, n, i)
                done = m.run("--no-trace", "--json", command)
                out.append((command, done.returncode, done.stdout))

        results = [[] for _ in range(6)]
        threads = [threading.Thread(target=job, args=(n, results[n])) for n in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        refused = 0
        for command, status, stdout in sum(results, []):
            report = json.loads(stdout)
            validate(self, report)
            if status == 1:
                refused += 1
                self.assertEqual((report["result"], report["changed"], report["changes"]),
                                 (256, False, []), command)
                self.assertIsNone(report["error"]["call"])
            else:
                # A run that went through lists its own objects only.
                names = {c["name"] for c in report["changes"] if c["area"] == "spooler"
                         and c["object"] == "port"}
                own = command.split()[-1]
                self.assertLessEqual(names, {own}, command)
        self.assertGreater(refused, 0, "the jobs never met; the test proved nothing")


class SequenceTest(MachineCase):
    """The setup script's sequence of README.md, step by step, on a fresh machine."""

    STEPS = (("257 D:\\RT2210\\WIN98", 0), ("1 NETPRN1:", 0), ("1 LPT1:", 14),
             ("2 C:\\RT2210\\RT2210.INF RT2210 LPT1:", 0),
             ("3 C:\\RT2210\\RT2210.INF RT2210 LPT1:", 0),
             ("4 C:\\PROGRA~1\\HALDEN\\UNINST.EXE -f", 0), ("4", 10),
             ("5 C:\\WINDOWS\\RT2210.INI", 0), ("5 C:\\TEMP\\SETUP.INI", 8), ("258", 0))

    def source_path(self, m):
        setup = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup"
        text = m.qzreg("export", setup).stdout.decode()
        return [l for l in text.splitlines() if l.startswith('"SourcePath')]

    def test_the_sequence_on_a_fresh_machine(self):
        m = self.machine()
        os.makedirs(os.path.join(m.root, "drive_c", "RT2210"))
        shutil.copy(EXAMPLE_INF, os.path.join(m.root, "drive_c", "RT2210", "RT2210.INF"))
        original = self.source_path(m)
        for command, status in self.STEPS:
            done = m.run("--no-trace", "--", command)
            self.assertEqual(done.returncode, status, (command, done.stderr))
        with open(os.path.join(m.root, "drive_c", "WINDOWS", "RT2210.INI")) as f:
            self.assertIn("ServerAddress=192.168.1.20", f.read())
        self.assertEqual(self.source_path(m)[0], original[0])

    def test_257_twice_before_258_loses_the_first_source_path(self):
        m = self.machine()
        for command in ("257 D:\\A", "257 E:\\B", "258"):
            self.assertEqual(m.run("--no-trace", command).returncode, 0, command)
        self.assertEqual(self.source_path(m)[0], '"SourcePath"="D:\\\\A"')


def hold_guard(root, seconds):
    """Holds the machine's instance lock in a child for `seconds`; returns the child."""
    code = ("import fcntl,sys,time\n"
            "f=open(sys.argv[1],'a')\n"
            "fcntl.flock(f,fcntl.LOCK_EX)\n"
            "print('held',flush=True)\n"
            "time.sleep(float(sys.argv[2]))\n")
    child = subprocess.Popen([sys.executable, "-c", code, os.path.join(root, "instance.lock"),
                              str(seconds)], stdout=subprocess.PIPE)
    assert child.stdout.readline().strip() == b"held"
    child.stdout.close()
    return child


class WaitTest(MachineCase):
    def test_wait_for_the_guard(self):
        m = self.machine()
        holder = hold_guard(m.root, 1.0)
        try:
            start = time.monotonic()
            done, report = m.report("1 HRT8:")
            self.assertEqual(done.returncode, 1, "without --wait the run is refused at once")
            self.assertLess(time.monotonic() - start, 0.9)
            done = m.run("--no-trace", "--wait=10", "--json", "1 HRT8:")
            waited = time.monotonic() - start
        finally:
            holder.wait()
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertGreater(waited, 0.9)
        self.assertTrue(json.loads(done.stdout)["changed"])
        holder = hold_guard(m.root, 30)
        try:
            start = time.monotonic()
            done = m.run("--no-trace", "--wait=1", "1 HRT9:")
            self.assertEqual(done.returncode, 1)
            self.assertTrue(0.9 < time.monotonic() - start < 10)
            self.assertIn(b"it still ran when the wait ended", done.stderr)
        finally:
            holder.kill()
            holder.wait()

    def test_a_locked_registry_ends_the_run_with_121_and_changes_nothing(self):
        m = self.machine()
        before = m.qzreg("export").stdout
        win_ini = os.path.join(m.root, "drive_c", "WINDOWS", "WIN.INI")
        with open(win_ini, "rb") as f:
            ini_before = f.read()
        other = sqlite3.connect(os.path.join(m.root, "registry.db"), isolation_level=None)
        try:
            other.execute("BEGIN IMMEDIATE")
            for command in ("1 HRT5:", "257 C:\\SETUP", "2 %s RT2210 LPT1:" % self.inf()):
                with self.subTest(command=command):
                    start = time.monotonic()
                    done = m.run("--no-trace", "--wait=1", command)
                    self.assertEqual(done.returncode, 121, done.stderr)
                    self.assertIn(b"the registry is locked by another program", done.stderr)
                    self.assertLess(time.monotonic() - start, 8, "one wait, not one per write")
        finally:
            other.execute("ROLLBACK")
            other.close()
        self.assertEqual(m.qzreg("export").stdout, before)
        with open(win_ini, "rb") as f:
            self.assertEqual(f.read(), ini_before)


class TextTest(MachineCase):
    def test_code_page_1252_in_reports_and_listings(self):
        m = self.machine()
        done, report = m.report(b"1 HRT\x80:")
        self.assertEqual(done.returncode, 0)
        validate(self, report)
        self.assertIn({"area": "spooler", "action": "added", "object": "port",
                       "name": "HRT\u20ac:"}, report["changes"])
        self.assertNotIn(b"\\u0080", done.stdout)
        ports = json.loads(m.qzreg("ports", "--json").stdout)
        self.assertIn("HRT\u20ac:", [p["name"] for p in ports])

    def test_code_page_932_keeps_double_byte_names_whole(self):
        m = self.machine(code_page=932)
        # 0x95 0x5C is one character whose trail byte is a backslash.
        done, report = m.report(b"1 \x82\xa0\x95\x5c:")
        self.assertEqual(done.returncode, 0, done.stderr)
        validate(self, report)
        names = [c["name"] for c in report["changes"] if c["area"] == "spooler"]
        self.assertEqual(names, ["\u3042\u8868:"])
        ports = json.loads(m.qzreg("ports", "--json").stdout)
        self.assertIn("\u3042\u8868:", [p["name"] for p in ports])


if __name__ == "__main__":
    QZINST32, QZREG = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
