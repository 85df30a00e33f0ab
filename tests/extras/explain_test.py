#!/usr/bin/env python3
"""qzinst32 --explain on the traces of every scenario (the host's and Wine's), in
the three forms a support engineer gets them (the host's standard error, a
debug-output viewer's save, Wine's +debugstr lines), and interleaved.

Usage: explain_test.py QZINST32 QZREG
"""
import glob
import json
import os
import random
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
SCENARIOS = os.path.join(SOURCE, "tests", "scenarios")
EXAMPLE_INF = os.path.join(SOURCE, "examples", "rt2210.inf")
SCHEMA = os.path.join(SOURCE, "docs", "schemas", "explain.schema.json")


def read(path):
    with open(path, encoding="latin-1") as f:
        return f.read()


def scenario_traces():
    """(name, trace text, command text, result, os) of every trace, host and Wine."""
    out = []
    for folder in sorted(glob.glob(os.path.join(SCENARIOS, "*", "trace"))):
        folder = os.path.dirname(folder)
        name = os.path.basename(folder)
        # With several command lines the trace is the last one's.
        command = read(os.path.join(folder, "command")).rstrip("\n").split("\n")[-1]
        osname = read(os.path.join(folder, "os")).strip() if os.path.exists(
            os.path.join(folder, "os")) else "win98"
        result = int(read(os.path.join(folder, "result")).strip())
        out.append((name, read(os.path.join(folder, "trace")), command, result, osname))
        if os.path.exists(os.path.join(folder, "wine.trace")):
            wine_result = os.path.join(folder, "wine.result")
            result_w = int(read(wine_result).strip()) if os.path.exists(wine_result) else result
            # Wine runs a scenario on its own road (its version set to Windows 98 for a 98 one).
            out.append((name + " (wine)", read(os.path.join(folder, "wine.trace")), command,
                        result_w, osname))
    return out


def viewer_form(trace, pid, first=1):
    """A debug-output viewer's save: number, time, [pid], the line."""
    return "".join("%08d\t%.8f\t[%d] %s\r\n" % (first + i, 0.125 * i, pid, line)
                   for i, line in enumerate(trace.splitlines()))


def escape(text):
    out = []
    for c in text:
        if c == "\n":
            out.append("\\n")
        elif c in "\\\"":
            out.append("\\" + c)
        elif ord(c) < 32 or ord(c) > 126:
            out.append("\\x%02x" % ord(c))
        else:
            out.append(c)
    return "".join(out)


def wine_form(trace, pid, split=False, with_pid=True):
    """Wine's +debugstr lines (with +pid, or the thread id alone), one call per line,
    some in two pieces."""
    prefix = "%04x:0030:" % pid if with_pid else "%04x:" % pid
    out = ["%strace:seh:dispatch_exception something else\n" % prefix]
    for line in trace.splitlines(True):
        pieces = [line[:len(line) // 2], line[len(line) // 2:]] if split and len(line) > 4 else [line]
        for piece in pieces:
            out.append('%swarn:debugstr:OutputDebugStringA "%s"\n' % (prefix, escape(piece)))
    return "".join(out)


def explain(log, *options):
    done = subprocess.run([QZINST32, "--explain", "-"] + list(options), input=log.encode("latin-1"),
                          capture_output=True)
    return done


class ExplainCase(unittest.TestCase):
    def explained(self, log):
        done = explain(log, "--json")
        self.assertEqual(done.returncode, 0, done.stderr)
        document = json.loads(done.stdout)
        self.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
        with open(SCHEMA) as f:
            errors = list(jsonschema.Draft202012Validator(json.load(f)).iter_errors(document))
        self.assertEqual([e.message for e in errors], [])
        return document["runs"]

    def check_run(self, run, name, command, result, osname):
        self.assertEqual(run["command_text"], command, name)
        self.assertTrue(run["finished"], name)
        self.assertEqual(run["result"], result, name)
        if result != 256 and run["personality"] is not None:
            self.assertEqual(run["personality"], "Windows NT" if osname == "nt" else "Windows 98",
                             name)
        self.assertEqual(run["failure"] is None, result == 0, name)
        if run["failure"]:
            self.assertTrue(run["failure"]["cause"], name)

    def test_every_scenario_trace_in_every_form(self):
        traces = scenario_traces()
        self.assertGreater(len(traces), 60)
        for name, trace, command, result, osname in traces:
            for form, log in (("host", trace), ("debugview", viewer_form(trace, 2216)),
                              ("wine", wine_form(trace, 0x24, split=True))):
                with self.subTest(scenario=name, form=form):
                    runs = self.explained(log)
                    self.assertEqual(len(runs), 1)
                    self.assertEqual(runs[0]["form"], form)
                    self.check_run(runs[0], name, command, result, osname)

    def test_failures_without_a_report_are_named(self):
        """What the trace alone says about failures of other commands than 2."""
        cases = {
            "cmd5-profile-folder-missing": ("WritePrivateProfileStringA", 3, "ERROR_PATH_NOT_FOUND",
                                            "create the folder of the profile file"),
            "cmd2-missing-inf": (None, None, None,
                                 "check it with qzinst32 --check-inf 'C:\\SETUP\\absent.inf' RT2210"),
            "cmd1-standard-lpt1": (None, None, None, "give the network port a name"),
            "cmd3-no-deviceid": (None, None, None, "--check-inf 'C:\\SETUP\\nodevid.inf' NODEVID LPT1:"),
            "entry-extended-256": (None, None, None, "command line"),
        }
        traces = {t[0]: t[1] for t in scenario_traces()}
        for name, (call, code, error_name, next_words) in cases.items():
            with self.subTest(scenario=name):
                failure = self.explained(traces[name])[0]["failure"]
                self.assertEqual((failure["call"], failure["code"], failure["name"]),
                                 (call, code, error_name))
                self.assertIn(next_words, failure["next"])

    def test_interleaved_processes_are_told_apart(self):
        traces = scenario_traces()
        chosen = [t for t in traces if t[0] in ("cmd2-example-nt", "cmd1-standard-lpt1",
                                                 "cmd5-profile-folder-missing", "cmd2-example-win98")]
        self.assertEqual(len(chosen), 4)
        streams = [[(1000 + i, line) for line in t[1].splitlines()] for i, t in enumerate(chosen)]
        rng = random.Random(7)
        merged = []
        while any(streams):
            stream = rng.choice([s for s in streams if s])
            merged.append(stream.pop(0))
        log = "".join("%d\t%.3f\t[%d] %s\n" % (n + 1, n * 0.01, pid, line)
                      for n, (pid, line) in enumerate(merged))
        runs = self.explained(log)
        self.assertEqual(sorted(r["process"] for r in runs), ["1000", "1001", "1002", "1003"])
        for run in runs:
            name, _, command, result, osname = chosen[int(run["process"]) - 1000]
            self.check_run(run, name, command, result, osname)
        # Wine without +pid: the thread ids tell the processes apart.
        lines = [wine_form(t[1], 0x40 + i, with_pid=False).splitlines(True) for i, t in
                 enumerate(chosen[:2])]
        mixed = [l for pair in zip(*lines) for l in pair] + lines[0][len(lines[1]):] + \
            lines[1][len(lines[0]):]
        runs = self.explained("".join(mixed))
        self.assertEqual(sorted((r["process"], r["result"]) for r in runs),
                         [("0040", chosen[0][3]), ("0041", chosen[1][3])])
        # Two runs of one process follow each other: two runs.
        two = self.explained(viewer_form(chosen[0][1] + chosen[1][1], 9))
        self.assertEqual([r["result"] for r in two], [chosen[0][3], chosen[1][3]])

    def test_failure_is_told_in_the_failure_lines_words(self):
        root = tempfile.mkdtemp(prefix="qzexplain.")
        try:
            env = dict(os.environ, QZINST_ROOT=os.path.join(root, "m"))
            subprocess.run([QZREG, "init", "--os", "nt"], env=env, check=True, capture_output=True)
            # What the setup copies first: monitors into the system directory, the
            # "Windows 4.0" driver's files into its printer-driver directory.
            system = os.path.join(root, "m", "drive_c", "WINDOWS", "system32")
            for dll in ("hrtpmon.dll", "hrtlmon.dll"):
                open(os.path.join(system, dll), "wb").close()
            win40 = os.path.join(system, "spool", "DRIVERS", "WIN40")
            os.makedirs(win40, exist_ok=True)
            for name in ("HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL", "HRT2210.HLP"):
                open(os.path.join(win40, name), "wb").close()
            done = subprocess.run([QZINST32, "2", EXAMPLE_INF, "RT2210", "LPT1:"], env=env,
                                  capture_output=True, text=True)
            self.assertEqual(done.returncode, 30)
            failure_line = done.stderr.strip().splitlines()[-1]
            report = json.loads(subprocess.run(
                [QZINST32, "--no-trace", "--json", "2", EXAMPLE_INF, "RT2210", "LPT2:"], env=env,
                capture_output=True, text=True).stdout)
            runs = self.explained(done.stderr)
            self.assertEqual(len(runs), 1)
            failure = runs[0]["failure"]
            self.assertEqual((failure["call"], failure["code"], failure["name"]),
                             (report["error"]["call"], report["error"]["code"],
                              report["error"]["name"]))
            self.assertIn(failure["cause"], failure_line)
            self.assertEqual(runs[0]["message"], failure_line)
            self.assertIn("driver add", failure["next"])
            text = explain(viewer_form(done.stderr, 77)).stdout.decode()
            for words in ("personality: Windows NT", "1046 (0x0416)", "failed call: AddPrinterA, "
                          "1797 ERROR_UNKNOWN_PRINTER_DRIVER", "check next:"):
                self.assertIn(words, text)
        finally:
            shutil.rmtree(root)

    def test_a_cut_log_a_log_without_runs_and_usage(self):
        trace = read(os.path.join(SCENARIOS, "cmd2-example-win98", "trace"))
        cut = "\n".join(trace.splitlines()[:20]) + "\n"
        runs = self.explained(viewer_form(cut, 5))
        self.assertFalse(runs[0]["finished"])
        self.assertIn("log was cut", runs[0]["failure"]["cause"])
        self.assertEqual(explain("nothing to see\n").returncode, 1)
        self.assertEqual(subprocess.run([QZINST32, "--explain", "a", "b"],
                                        capture_output=True).returncode, 120)
        root = tempfile.mkdtemp(prefix="qzexplain.")
        try:
            env = dict(os.environ, QZINST_ROOT=os.path.join(root, "none"))
            done = subprocess.run([QZINST32, "--explain", os.path.join(root, "missing.log")],
                                  env=env, capture_output=True)
            self.assertEqual(done.returncode, 1)
            self.assertFalse(os.path.exists(os.path.join(root, "none")), "no machine is made")
        finally:
            shutil.rmtree(root)


if __name__ == "__main__":
    QZINST32, QZREG = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
