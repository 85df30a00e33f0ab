#!/usr/bin/env python3
"""Both programs at their edges: options, streams, checks, JSON on every outcome.

Usage: edges_test.py QZINST32 QZREG
"""

import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

QZINST32 = QZREG = None
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_INF = os.path.join(HERE, "..", "..", "examples", "rt2210.inf")
SCHEMAS = os.path.join(HERE, "..", "..", "docs", "schemas")


class Machine:
    def __init__(self, osname="win98", *extra):
        self.root = tempfile.mkdtemp(prefix="qzedges.")
        self.env = dict(os.environ, QZINST_ROOT=self.root)
        done = self.qzreg("init", "--os", osname, *extra)
        assert done.returncode == 0, done.stderr

    def run(self, *args, **kwargs):
        return subprocess.run([QZINST32] + list(args), env=self.env, capture_output=True,
                              **kwargs)

    def qzreg(self, *args, **kwargs):
        return subprocess.run([QZREG] + list(args), env=self.env, capture_output=True,
                              **kwargs)

    def ports(self):
        done = self.qzreg("ports", "--json")
        assert done.returncode == 0, done.stderr
        return [p["name"] for p in json.loads(done.stdout)]

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class EdgeCase(unittest.TestCase):
    def setUp(self):
        self.machines = []
        self.files = tempfile.mkdtemp(prefix="qzedges.files.")

    def tearDown(self):
        for m in self.machines:
            m.remove()
        shutil.rmtree(self.files, ignore_errors=True)

    def machine(self, *args):
        m = Machine(*args)
        self.machines.append(m)
        return m

    def file(self, name, data):
        path = os.path.join(self.files, name)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path


class OptionTest(EdgeCase):
    """An option's value never becomes the command, and a misplaced option never runs one."""

    def refused(self, m, *args):
        before = m.ports()
        done = m.run("--no-trace", *args)
        self.assertEqual(done.returncode, 120, (args, done.stderr))
        self.assertIn(b"no command was run", done.stderr, args)
        self.assertEqual(done.stdout, b"", args)
        self.assertEqual(m.ports(), before, args)
        return done.stderr.decode()

    def test_a_number_after_wait_is_refused_and_wait_equals_works(self):
        m = self.machine()
        err = self.refused(m, "--wait", "5", "1", "WT1:")
        self.assertIn("--wait=5", err)
        self.refused(m, "--wait", "1", "258")
        done = m.run("--no-trace", "--wait=1", "1", "WT1:")
        self.assertEqual(done.returncode, 0, done.stderr)
        done = m.run("--no-trace", "--wait", "--", "1", "WT2:")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("WT1:", m.ports())
        self.assertIn("WT2:", m.ports())
        self.assertNotIn("258", m.ports())

    def test_words_near_own_options_in_the_command_text_are_refused(self):
        m = self.machine()
        for word in ("--whatif", "--what_if", "--What-If", "--no-trace=x", "--no_trace",
                     "--reprot=json", "-what-if", "--qiuet"):
            err = self.refused(m, "1", "WT3:", word)
            self.assertIn("'%s' stands in the command text" % word, err)
        # Real parameters stay; after -- even an option word is passed on.
        done = m.run("--no-trace", "1", "WT4:", "-u", "/f", "--unrelated")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("WT4: -u /f --unrelated", m.ports())
        done = m.run("--no-trace", "--", "1", "WT5:", "--whatif")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("WT5: --whatif", m.ports())

    def test_single_dash_unknown_option_is_refused_before_the_command(self):
        m = self.machine()
        err = self.refused(m, "-x", "1", "WT6:")
        self.assertIn("unknown option '-x'", err)
        self.refused(m, "-quiet", "1", "WT6:")

    def test_trace_dash_is_standard_output(self):
        m = self.machine()
        for args in (["--trace=-"], ["--trace", "-"]):
            done = m.run(*args, "1", "WT7:", cwd=self.files)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn(b"Cmd=`1' Param=`WT7:'", done.stdout)
            self.assertNotIn(b"Cmd=", done.stderr)
            self.assertFalse(os.path.exists(os.path.join(self.files, "-")))

    def test_qzreg_options_take_their_value_either_way(self):
        for args in (["--os=nt"], ["--os", "nt"]):
            m = Machine("win98")
            self.machines.append(m)
            m.remove()
            done = m.qzreg("init", *args)
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(os.path.join(m.root, "machine.ini")) as f:
                self.assertIn("OS=nt", f.read())


class StreamTest(EdgeCase):
    """Informational lines go to standard error; standard output carries only data."""

    def test_informational_lines_on_standard_error(self):
        root = tempfile.mkdtemp(prefix="qzedges.")
        os.rmdir(root)
        env = dict(os.environ, QZINST_ROOT=root)
        try:
            done = subprocess.run([QZINST32, "--no-trace", "1", "WT1:"], env=env,
                                  capture_output=True)
            self.assertEqual(done.stdout, b"")
            self.assertIn(b"created a Windows 98 machine", done.stderr)
            image = os.path.join(self.files, "m.qzm")
            reg = self.file("a.reg", 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Qz]\n"a"="1"\n')
            for args, said in ((["save", image], b"Saved "), (["import", reg], b"Imported "),
                               (["load", image], b"Loaded ")):
                done = subprocess.run([QZREG] + args, env=env, capture_output=True)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout, b"", args)
                self.assertTrue(done.stderr.startswith(said), (args, done.stderr))
            shutil.rmtree(root)
            done = subprocess.run([QZREG, "init"], env=env, capture_output=True)
            self.assertEqual(done.stdout, b"")
            self.assertTrue(done.stderr.startswith(b"Created "), done.stderr)
        finally:
            shutil.rmtree(root, ignore_errors=True)


class CheckInfEdgeTest(EdgeCase):
    """--check-inf never makes a machine, and its verdict is command 2's on the machine checked."""

    def check(self, env, *args, cwd=None):
        return subprocess.run([QZINST32, "--check-inf"] + list(args), env=env,
                              capture_output=True, cwd=cwd)

    def test_no_machine_is_created_whatever_the_path(self):
        root = os.path.join(self.files, "machine")
        env = dict(os.environ, QZINST_ROOT=root)
        os.mkdir(os.path.join(self.files, "sub"))
        shutil.copy(EXAMPLE_INF, os.path.join(self.files, "sub", "k.inf"))
        for args in (["sub/k.inf", "RT2210"], ["./sub/k.inf", "RT2210", "LPT1:"],
                     ["k.inf", "RT2210"], ["--json", "sub\\k.inf", "RT2210", "LPT1:"],
                     ["C:\\WINDOWS\\k.inf", "RT2210"]):
            done = self.check(env, *args, cwd=self.files)
            self.assertIn(done.returncode, (0, 1), (args, done.stderr))
            self.assertFalse(os.path.exists(root), args)
        done = self.check(env, "sub/k.inf", "RT2210", cwd=self.files)
        self.assertEqual(done.returncode, 0, done.stdout)
        # README's own example.
        done = self.check(env, os.path.relpath(os.path.join(HERE, "broken.inf")), "CutPair",
                          cwd=os.path.join(HERE, "..", ".."))
        self.assertEqual(done.returncode, 1)
        self.assertFalse(os.path.exists(root))

    def fix_of(self, stdout, key):
        """The KEY=VALUE a fix line tells to write."""
        for line in stdout.decode().splitlines():
            if line.startswith("    fix: ") and (key + "=") in line:
                return line.split(key + "=", 1)[1].split(" ")[0]
        self.fail("no fix for %s in %s" % (key, stdout))

    def test_what_fails_command_2_is_an_error_and_fixes_pass_as_written(self):
        m = self.machine("win98")
        with open(EXAMPLE_INF) as f:
            text = f.read()
        inf = self.file("n.inf", text)
        done = self.check(m.env, inf, "RT2210N", "LPT1:")
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn(b"error: [RT2210N] PrintProcessor:", done.stdout)
        run = m.run("--no-trace", "2", inf, "RT2210N", "LPT1:")
        self.assertNotEqual(run.returncode, 0)
        value = self.fix_of(done.stdout, "PrintProcessor")
        fixed = self.file("fixed.inf", text.replace("PrintProcessor=%HPP%,hrtproc.dll",
                                                    "PrintProcessor=" + value))
        done = self.check(m.env, fixed, "RT2210N", "LPT1:")
        self.assertEqual(done.returncode, 0, done.stdout)
        run = m.run("--no-trace", "2", fixed, "RT2210N", "LPT1:")
        self.assertEqual(run.returncode, 0, run.stderr)
        # A value without its comma: the fix names the whole form.
        bare = self.file("bare.inf", text.replace("PrintProcessor=%HPP%,hrtproc.dll",
                                                  "PrintProcessor=WinPrint"))
        done = self.check(m.env, bare, "RT2210N")
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn(b"has no comma", done.stdout)
        self.assertEqual(self.fix_of(done.stdout, "PrintProcessor"), "<name>,<file>")

    def test_a_blank_in_the_inf_path_fails_unless_quoted_and_the_hint_is_whole(self):
        m = self.machine("win98")
        folder = os.path.join(self.files, "my setup")
        os.mkdir(folder)
        inf = os.path.join(folder, "k.inf")
        shutil.copy(EXAMPLE_INF, inf)
        done = self.check(m.env, inf, "RT2210")
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn(b"the INF path has blanks", done.stdout)
        run = m.run("--no-trace", "2 %s RT2210 LPT1:" % inf)
        self.assertNotEqual(run.returncode, 0)
        done = self.check(m.env, '"%s"' % inf, "RT2210")
        self.assertEqual(done.returncode, 0, done.stdout)
        run = m.run("--no-trace", '2 "%s" RT2210 LPT1:' % inf)
        self.assertEqual(run.returncode, 0, run.stderr)
        # The check a failure suggests, pasted into a shell, checks that file.
        run = m.run("--no-trace", '2 "%s" NOSUCH LPT1:' % inf)
        line = run.stderr.decode().strip()
        self.assertIn("check it with ", line)
        suggested = shlex.split(line.split("check it with ", 1)[1])
        self.assertEqual(suggested[:2], ["qzinst32", "--check-inf"])
        done = self.check(m.env, *suggested[2:])
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn(b"no section [NOSUCH]", done.stdout)
        self.assertNotIn(b"cannot read", done.stdout)


if __name__ == "__main__":
    QZINST32, QZREG = (os.path.abspath(p) for p in sys.argv[1:3])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=1)
