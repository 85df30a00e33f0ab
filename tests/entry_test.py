#!/usr/bin/env python3
"""Tests of the host program as a process: options, exit statuses, trace sink, guard, root."""

import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = None


def run(args, root, **kwargs):
    env = dict(os.environ, QZINST_ROOT=root)
    return subprocess.run([PROGRAM] + args, env=env, capture_output=True, **kwargs)


class EntryTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qzentry.")
        os.rmdir(self.root)  # a fresh root the program creates itself

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def test_help_and_version(self):
        for option in ("--help", "-h"):
            done = run([option], self.root)
            self.assertEqual(done.returncode, 0, option)
            self.assertIn(b"Usage: qzinst32", done.stdout)
            self.assertIn(b"install the printer", done.stdout)
            self.assertEqual(done.stderr, b"")
        for option in ("--version", "-V"):
            done = run([option], self.root)
            self.assertEqual(done.returncode, 0, option)
            self.assertTrue(done.stdout.startswith(b"qzinst32 "))
        self.assertFalse(os.path.exists(self.root), "help must not create a machine")

    def test_usage_errors_create_no_machine(self):
        for args in (["--frobnicate", "7", "x"], ["--report", "xml", "259"], ["--wait=soon", "259"],
                     ["--trace"], ["--strict", "259"], ["259", "--what-if"],
                     ["--check-inf", "x.inf"]):
            done = run(args, self.root)
            self.assertEqual(done.returncode, 120, args)
            self.assertTrue(done.stderr.startswith(b"qzinst32: "), args)
            self.assertFalse(os.path.exists(self.root), args)

    def test_options_after_the_command_number_are_refused(self):
        for args, word in ((["2", "./k90.inf", "K90", "LPT1:", "--what-if"], b"--what-if"),
                           (["1", "CIP1:", "--report", "json"], b"--report"),
                           (["1 CIP1: --json"], b"--json"),
                           (["--no-trace", "259", "--trace=t.txt"], b"--trace=t.txt"),
                           (["4", "Setup.exe", "--wait=3"], b"--wait=3")):
            done = run(args, self.root)
            self.assertEqual(done.returncode, 120, args)
            self.assertEqual(done.stdout, b"")
            self.assertIn(b"'" + word + b"' stands in the command text", done.stderr)
            self.assertIn(b"before the command number", done.stderr)
            self.assertIn(b"write -- before the command text", done.stderr)
            self.assertNotIn(b"lpstrCmdLine", done.stderr, "no command ran")
        self.assertFalse(os.path.exists(self.root))

    def test_double_dash_passes_option_words_and_other_words_stay(self):
        done = run(["--", "7", "--what-if"], self.root)
        self.assertEqual(done.returncode, 11)
        self.assertIn(b"Param=`--what-if'", done.stderr)
        done = run(["4", "Setup.exe", "--silent", "-u"], self.root)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"Param=`Setup.exe --silent -u'", done.stderr)

    def test_a_command_that_creates_the_machine_says_so(self):
        done = run(["--no-trace", "259"], self.root)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(done.stderr.decode(),
                         "qzinst32: created a Windows 98 machine at %s\n" % self.root)
        self.assertTrue(os.path.exists(os.path.join(self.root, "machine.ini")))
        done = run(["--no-trace", "259"], self.root)
        self.assertEqual(done.stderr, b"", "only the run that creates it says so")

    def test_unknown_option_is_refused_and_nothing_runs(self):
        done = run(["--frobnicate", "7", "x"], self.root)
        self.assertEqual(done.returncode, 120)
        self.assertIn(b"unknown option '--frobnicate'", done.stderr)
        self.assertNotIn(b"lpstrCmdLine", done.stderr)

    def test_exit_status_table(self):
        for command, status in (("7 x", 11), ("", 10), ("259", 0), ("300 x", 11)):
            done = run(["--no-trace", "--", command] if command else ["--no-trace"], self.root)
            self.assertEqual(done.returncode, status, command)

    def test_trace_goes_to_stderr_exactly(self):
        run(["--no-trace", "259"], self.root)
        done = run(["7", "x"], self.root)
        lines = done.stderr.decode().splitlines()
        self.assertEqual(lines[0], "lpstrCmdLine=7 x")
        self.assertEqual(lines[-2], "WinMain()=0x0403")
        self.assertEqual(lines[-1], "qzinst32: result 1027 (0x0403), unknown command number")
        self.assertIn("Cmd=`7' Param=`x'", lines)
        self.assertEqual(done.stdout, b"")

    def test_arguments_join_with_single_spaces(self):
        done = run(["4", "Setup.exe", "-u"], self.root)
        self.assertIn(b"ProcessCommand(\"4 Setup.exe -u\")\n", done.stderr)

    def test_a_high_first_byte_stays_in_the_command_text(self):
        done = run(["--", b"\xb2" b"259"], self.root)
        self.assertEqual(done.returncode, 11)  # unknown command, not the no-op 259
        self.assertIn(b"lpstrCmdLine=\xb2" b"259\n", done.stderr)

    def test_trace_to_file_and_silenced(self):
        run(["--no-trace", "259"], self.root)
        trace = os.path.join(tempfile.gettempdir(), "qzentry-trace-%d.txt" % os.getpid())
        try:
            for option in (["--trace=" + trace], ["--trace", trace]):
                done = run(option + ["259"], self.root)
                self.assertEqual(done.returncode, 0, option)
                self.assertEqual(done.stderr, b"")
                with open(trace, "rb") as f:
                    self.assertIn(b"WinMain()=0x0000\n", f.read())
                os.unlink(trace)
        finally:
            if os.path.exists(trace):
                os.unlink(trace)
        done = run(["--no-trace", "259"], self.root)
        self.assertEqual(done.stderr, b"")

    def test_long_command_line_is_traced_whole_in_pieces(self):
        text = "7 " + "x" * 4000
        done = run([text], self.root)
        self.assertEqual(done.returncode, 11)
        self.assertIn(("lpstrCmdLine=" + text + "\n").encode(), done.stderr)
        self.assertIn(("Param=`" + "x" * 4000 + "'\n").encode(), done.stderr)

    def test_any_bytes_never_crash(self):
        for blob in (b"\xff\xfe\x81\x5c 2 \x81", b"2 " + bytes(range(1, 256)), b"3 " + b"\x81" * 3000):
            done = run(["--no-trace", blob], self.root)
            self.assertIn(done.returncode, (10, 11), blob[:10])

    def test_machine_root_is_private(self):
        run(["259"], self.root)
        self.assertEqual(os.stat(self.root).st_mode & 0o777, 0o700)
        self.assertEqual(os.stat(os.path.join(self.root, "machine.ini")).st_mode & 0o777, 0o600)

    def test_damaged_root_is_reported_and_left_alone(self):
        os.makedirs(self.root)
        ini = os.path.join(self.root, "machine.ini")
        with open(ini, "wb") as f:
            f.write(b"\x00garbage")
        done = run(["259"], self.root)
        self.assertEqual(done.returncode, 121)
        self.assertIn(b"damaged", done.stderr)
        with open(ini, "rb") as f:
            self.assertEqual(f.read(), b"\x00garbage")

    def test_registry_without_machine_ini_keeps_its_personality(self):
        os.makedirs(self.root)
        ini = os.path.join(self.root, "machine.ini")
        with open(ini, "w") as f:
            f.write("[Machine]\nOS=nt\nCodePage=1252\n")
        self.assertEqual(run(["--no-trace", "1", "NETPRN1:"], self.root).returncode, 0)
        os.unlink(ini)
        with open(os.path.join(self.root, "registry.db"), "rb") as f:
            registry = f.read()
        for command in (["259"], ["1", "NETPRN2:"]):
            done = run(["--no-trace"] + command, self.root)
            self.assertEqual(done.returncode, 121, command)
            self.assertIn(b"holds registry.db but no machine.ini", done.stderr)
            self.assertFalse(os.path.exists(ini), "the machine must not be given a personality")
        with open(os.path.join(self.root, "registry.db"), "rb") as f:
            self.assertEqual(f.read(), registry)

    def test_settings_with_trailing_characters_are_damaged(self):
        os.makedirs(self.root)
        ini = os.path.join(self.root, "machine.ini")
        with open(ini, "w") as f:
            f.write("[Machine]\nOS=nt\nCodePage=1252x\n")
        done = run(["259"], self.root)
        self.assertEqual(done.returncode, 121)
        self.assertIn(b"damaged (line 3: CodePage '1252x' is not a number)", done.stderr)
        with open(ini) as f:
            self.assertEqual(f.read(), "[Machine]\nOS=nt\nCodePage=1252x\n")

    def test_root_that_is_a_file(self):
        with open(self.root, "wb") as f:
            f.write(b"x")
        try:
            done = run(["259"], self.root)
            self.assertEqual(done.returncode, 121)
            self.assertIn(b"not a folder", done.stderr)
        finally:
            os.unlink(self.root)


class GuardTest(unittest.TestCase):
    """The instance guard: one lock per machine root, released by the system."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qzguard.")
        run(["--no-trace", "259"], self.root)  # creates the machine

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def hold_lock_in_child(self):
        code = ("import fcntl,sys,time\n"
                "f=open(sys.argv[1],'a')\n"
                "fcntl.flock(f,fcntl.LOCK_EX)\n"
                "print('held',flush=True)\n"
                "time.sleep(60)\n")
        child = subprocess.Popen([sys.executable, "-c", code, os.path.join(self.root, "instance.lock")],
                                 stdout=subprocess.PIPE)
        self.assertEqual(child.stdout.readline().strip(), b"held")
        return child

    def test_second_instance_gets_256_and_a_killed_one_frees_the_guard(self):
        holder = self.hold_lock_in_child()
        try:
            done = run(["259"], self.root)
            self.assertEqual(done.returncode, 1)  # result 256
            self.assertIn(b"WinMain()=0x0100\n", done.stderr)
            self.assertNotIn(b"ProcessCommand", done.stderr)
        finally:
            holder.kill()
            holder.wait()
        done = run(["259"], self.root)
        self.assertEqual(done.returncode, 0)

    def test_crowd_of_real_instances(self):
        procs = [subprocess.Popen([PROGRAM, "--no-trace", "259"], env=dict(os.environ, QZINST_ROOT=self.root))
                 for _ in range(24)]
        statuses = [p.wait() for p in procs]
        self.assertTrue(set(statuses) <= {0, 1}, statuses)
        self.assertIn(0, statuses)
        done = run(["--no-trace", "259"], self.root)
        self.assertEqual(done.returncode, 0, "the guard is free after the crowd")


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
