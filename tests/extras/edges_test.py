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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from package_files import place_example_package  # noqa: E402

try:
    import jsonschema
except ImportError:  # a missing validator fails every validating test, never skips it
    jsonschema = None

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
        place_example_package(self.root, osname)  # as the package's setup copies its files

    def run(self, *args, **kwargs):
        kwargs.setdefault("env", self.env)
        return subprocess.run([QZINST32] + list(args), capture_output=True, **kwargs)

    def qzreg(self, *args, **kwargs):
        kwargs.setdefault("env", self.env)
        return subprocess.run([QZREG] + list(args), capture_output=True, **kwargs)

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


def validate(case, document, name):
    case.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
    with open(os.path.join(SCHEMAS, name)) as f:
        schema = json.load(f)
    errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(document), key=str)
    case.assertEqual([e.message for e in errors], [], json.dumps(document)[:400])


class JsonTest(EdgeCase):
    """--json gives JSON on every outcome, and each document meets its schema."""

    def installed(self, osname):
        m = self.machine(osname)
        if osname == "nt":
            system = os.path.join(m.root, "drive_c", "WINDOWS", "system32")
            for dll in ("hrtpmon.dll", "hrtlmon.dll"):
                open(os.path.join(system, dll), "wb").close()
        section = "RT2210N" if osname == "nt" else "RT2210"
        done = m.run("--no-trace", "2", EXAMPLE_INF, section, "LPT1:")
        if osname == "win98":
            self.assertEqual(done.returncode, 0, done.stderr)
        return m

    def test_listings_and_queries_meet_their_schemas(self):
        for osname in ("win98", "nt"):
            m = self.installed(osname)
            for listing in ("printers", "drivers", "monitors", "processors", "ports"):
                args = [listing, "--json"] + (["--all"] if listing == "monitors" else [])
                done = m.qzreg(*args)
                self.assertEqual(done.returncode, 0, done.stderr)
                rows = json.loads(done.stdout)
                # NT refuses the printer without its NT driver.
                if osname == "win98" or listing != "printers":
                    self.assertTrue(rows, (osname, listing))
                validate(self, rows, listing + ".schema.json")
            for args in (["HKLM\\System", "/s"], ["HKLM\\Software", "/ve"],
                         ["HKLM", "/f", "Print", "/s"]):
                done = m.qzreg("query", *args, "--json")
                self.assertEqual(done.returncode, 0, (args, done.stderr))
                rows = json.loads(done.stdout)
                self.assertTrue(rows, args)
                validate(self, rows, "query.schema.json")

    def test_usage_and_machine_errors_print_json_too(self):
        m = self.machine()
        missing = dict(os.environ, QZINST_ROOT=os.path.join(self.files, "none"))
        damaged = os.path.join(self.files, "damaged")
        os.mkdir(damaged)
        with open(os.path.join(damaged, "machine.ini"), "w") as f:
            f.write("garbage\n")
        broken = dict(os.environ, QZINST_ROOT=damaged)
        cases = [
            ([QZINST32, "--json", "--bogus", "1", "X:"], m.env, 120),
            ([QZINST32, "--bogus", "--report", "json", "1", "X:"], m.env, 120),
            ([QZINST32, "--json", "1", "X:", "--whatif"], m.env, 120),
            ([QZINST32, "--check-inf", "--json", "only-a-file"], m.env, 120),
            ([QZINST32, "--json", "--no-trace", "1", "X:"], broken, 121),
            ([QZREG, "printers", "--json", "--bogus"], m.env, 120),
            ([QZREG, "query", "HKLM", "/k", "--json"], m.env, 120),
            ([QZREG, "ports", "--json"], missing, 121),
            ([QZREG, "query", "HKLM", "--json"], broken, 121),
        ]
        for args, env, status in cases:
            done = subprocess.run(args, env=env, capture_output=True)
            self.assertEqual(done.returncode, status, (args, done.stderr))
            document = json.loads(done.stdout)
            validate(self, document, "error.schema.json")
            self.assertEqual(document["status"], status)
            self.assertIn(document["message"], done.stderr.decode(), args)
        self.assertFalse(os.path.exists(os.path.join(self.files, "none")))
        # Without --json, or with it in the command text, the output stays empty.
        for args in (["--bogus", "1", "X:"], ["1", "X:", "--json"], ["--trace", "--json", "--wait", "5", "1", "X:"]):
            done = m.run(*args, cwd=self.files)
            self.assertEqual((done.returncode, done.stdout), (120, b""), args)


class RegistryHabitTest(EdgeCase):
    """Windows' type names, and reg.exe's export FILE, /ve, /f, and init's options."""

    def test_types_have_windows_names_in_text_and_json(self):
        m = self.machine()
        reg = self.file("t.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\T]\n"
                        '"q"=hex(b):01,02,00,00,00,00,00,00\n"l"=hex(6):41,00\n'
                        '"r"=hex(8):00\n"f"=hex(9):00\n"rr"=hex(a):00\n'
                        '"be"=hex(5):00,00,01,00\n"u"=hex(1a):01\n')
        self.assertEqual(m.qzreg("import", reg).returncode, 0)
        done = m.qzreg("add", "HKLM\\Software\\T", "/v", "q2", "/t", "REG_QWORD", "/d",
                       "0x123456789")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, b"")
        expected = {"q": ("REG_QWORD", "0x201"), "l": ("REG_LINK", "4100"),
                    "r": ("REG_RESOURCE_LIST", "00"), "f": ("REG_FULL_RESOURCE_DESCRIPTOR", "00"),
                    "rr": ("REG_RESOURCE_REQUIREMENTS_LIST", "00"),
                    "be": ("REG_DWORD_BIG_ENDIAN", "0x100"), "u": ("REG_0x1A", "01"),
                    "q2": ("REG_QWORD", "0x123456789")}
        rows = json.loads(m.qzreg("query", "HKLM\\Software\\T", "--json").stdout)
        self.assertEqual({r["name"]: (r["type"], r["data"]) for r in rows}, expected)
        text = m.qzreg("query", "HKLM\\Software\\T").stdout.decode()
        for name, (kind, data) in expected.items():
            self.assertIn("    %s    %s    %s\n" % (name, kind, data), text)
        exported = m.qzreg("export", "HKLM\\Software\\T").stdout
        self.assertIn(b'"q2"=hex(b):89,67,45,23,01,00,00,00', exported)
        for bad in ("0x10000000000000000", "-1", "x"):
            done = m.qzreg("add", "HKLM\\Software\\T", "/v", "q3", "/t", "REG_QWORD", "/d", bad)
            self.assertEqual(done.returncode, 120, bad)

    def test_reg_exe_habits(self):
        m = self.machine()
        key = "HKLM\\Software\\Halden"
        m.qzreg("add", key + "\\Sub", "/v", "Price", "/d", "5 euro")
        # export KEY FILE, refused over a file without /y.
        out = os.path.join(self.files, "h.reg")
        done = m.qzreg("export", key, out)
        self.assertEqual((done.returncode, done.stdout), (0, b""), done.stderr)
        with open(out, "rb") as f:
            self.assertIn(b'"Price"="5 euro"', f.read())
        self.assertEqual(m.qzreg("export", key, out).returncode, 1)
        self.assertEqual(m.qzreg("export", key, out, "/y").returncode, 0)
        # /ve on a key without a default value.
        done = m.qzreg("query", key, "/ve")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"    (Default)    REG_SZ    (value not set)\n", done.stdout)
        # /f finds keys and values, /s below; none found is status 1.
        done = m.qzreg("query", key, "/f", "EURO", "/s")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(b"    Price    REG_SZ    5 euro", done.stdout)
        self.assertIn(b"End of search: 1 match(es) found.", done.stdout)
        done = m.qzreg("query", key, "/f", "sub", "/k")
        self.assertIn(b"HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden\\Sub\n", done.stdout)
        self.assertEqual(m.qzreg("query", key, "/f", "EURO", "/s", "/c").returncode, 1)
        self.assertEqual(m.qzreg("query", key, "/f", "euro", "/s", "/e").returncode, 1)

    def test_init_force_codepage_and_from(self):
        m = self.machine("nt")
        m.qzreg("add", "HKLM\\Software\\Old")
        image = os.path.join(self.files, "m.qzm")
        self.assertEqual(m.qzreg("save", image).returncode, 0)
        self.assertEqual(m.qzreg("init").returncode, 1)
        done = m.qzreg("init", "--force", "--codepage=932")
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(m.root, "machine.ini")) as f:
            self.assertEqual(f.read().split(), ["[Machine]", "OS=win98", "CodePage=932"])
        self.assertEqual(m.qzreg("query", "HKLM\\Software\\Old").returncode, 1)
        self.assertEqual(m.qzreg("init", "--codepage", "437", "--force").returncode, 120)
        for extra in (["--os", "nt"], ["--codepage", "1252"]):
            done = m.qzreg("init", "--force", "--from", image, *extra)
            self.assertEqual(done.returncode, 120, extra)
            self.assertIn(b"the image holds its own", done.stderr)
        self.assertEqual(m.qzreg("init", "--force", "--from=" + image).returncode, 0)
        self.assertEqual(m.qzreg("query", "HKLM\\Software\\Old").returncode, 0)


class SmallThingsTest(EdgeCase):
    """Columns that fit their content, one style of version, monitors' own descriptions,
    error 53 in the table, the check's grammar, and a what-if that creates no file."""

    HEADERS = {
        "printers": ["Printer", "Driver", "Port", "Processor", "Datatype", "Attributes", "Default"],
        "drivers": ["Driver", "Environment", "Ver", "Driver file", "Monitor"],
        "monitors": ["Monitor", "Environment", "DLL"],
        "processors": ["Print processor", "Environment", "DLL"],
        "ports": ["Port", "Monitor", "Description", "Type"],
    }

    def test_listing_columns_fit_their_content(self):
        m = self.machine()
        with open(EXAMPLE_INF) as f:
            text = f.read()
        long_name = "Halden RT-2210 Series Receipt Printer Model"  # 43 of the 63 a driver keeps
        inf = self.file("long.inf", text.replace("device=Halden RT-2210 Series",
                                                 "device=" + long_name, 1))
        done = m.run("--no-trace", "2", inf, "RT2210", "LPT1:")
        self.assertEqual(done.returncode, 0, done.stderr)
        for listing, names in self.HEADERS.items():
            lines = m.qzreg(listing).stdout.decode().splitlines()
            header = lines[0]
            starts = []
            for name in names[1:]:
                starts.append(header.index(" " + name, starts[-1] if starts else 0) + 1)
            self.assertTrue(header.startswith(names[0] + " "), header)
            for line in lines[1:]:
                for start in starts:
                    self.assertTrue(len(line) < start or line[start - 1] == " ",
                                    (listing, header, line))
        drivers = m.qzreg("drivers").stdout.decode()
        self.assertIn(long_name + " Windows 4.0", drivers)
        for line in drivers.splitlines()[1:]:
            self.assertRegex(line, r" 0x[0-9a-f]+ ", line)

    def test_nt_driver_versions_in_one_style(self):
        m = self.machine("nt")
        key = ("HKLM\\System\\CurrentControlSet\\Control\\Print\\Environments\\"
               "Windows NT x86\\Drivers\\Version-3\\Halden NT")
        for name, kind, data in (("Driver", "REG_SZ", "HRTNT.DLL"), ("Version", "REG_DWORD", "3")):
            done = m.qzreg("add", key, "/v", name, "/t", kind, "/d", data)
            self.assertEqual(done.returncode, 0, done.stderr)
        # Command 2 adds its driver for "Windows 4.0" (version 0), then NT
        # refuses the printer.
        system = os.path.join(m.root, "drive_c", "WINDOWS", "system32")
        for dll in ("hrtpmon.dll", "hrtlmon.dll"):
            open(os.path.join(system, dll), "wb").close()
        m.run("--no-trace", "2", EXAMPLE_INF, "RT2210", "LPT1:")
        lines = m.qzreg("drivers").stdout.decode().splitlines()
        nt = [l for l in lines[1:] if l.startswith("Halden NT ")]
        old = [l for l in lines[1:] if "Windows 4.0" in l]
        self.assertEqual((len(nt), len(old)), (1, 1), lines)
        self.assertIn(" 0x3 ", nt[0])
        self.assertIn(" 0x0 ", old[0])

    def test_ports_are_described_by_their_monitor(self):
        m = self.machine("nt")
        monitors = "HKLM\\System\\CurrentControlSet\\Control\\Print\\Monitors\\"
        m.qzreg("add", monitors + "Standard TCP/IP Port", "/v", "Driver", "/d", "tcpmon.dll")
        m.qzreg("add", monitors + "Standard TCP/IP Port\\Ports\\IP_10.0.0.5")
        ports = {p["name"]: p for p in json.loads(m.qzreg("ports", "--json").stdout)}
        self.assertEqual(ports["IP_10.0.0.5"]["monitor"], "Standard TCP/IP Port")
        self.assertEqual(ports["IP_10.0.0.5"]["description"], "Standard TCP/IP Port")
        self.assertEqual(ports["LPT1:"]["description"], "Local Port")

    def test_error_53_and_the_checks_grammar(self):
        m = self.machine()
        done = m.run("--no-trace", "5", "\\\\server\\share\\x.ini")
        line = done.stderr.decode()
        self.assertIn("failed with 53 ERROR_BAD_NETPATH (", line)
        self.assertNotIn("outside the table", line)
        done = m.run("--no-trace", "--json", "5", "\\\\server\\share\\x.ini")
        self.assertEqual(json.loads(done.stdout)["error"]["name"], "ERROR_BAD_NETPATH")
        with open(EXAMPLE_INF) as f:
            text = f.read()
        inf = self.file("a.inf", text.replace("Attributes=0x840", "Attributes=lots", 1)
                        .replace("MakeDefault=1", "MakeDefault=", 1))
        done = m.run("--check-inf", inf, "RT2210")
        self.assertIn(b'"lots" is not a hexadecimal number; the program reads it as 0x0 for '
                      b"the printer attributes", done.stdout)
        self.assertNotIn(b"attributes is read", done.stdout)

    def test_what_if_on_a_fresh_machine_creates_no_file(self):
        for make in (["init"], ["init", "--bare"], None):
            m = self.machine()
            if make is None:  # a machine loaded from an image
                image = os.path.join(self.files, "m.qzm")
                m.qzreg("save", image)
                self.assertEqual(m.qzreg("init", "--force", "--from", image).returncode, 0)
            else:
                m.remove()
                self.assertEqual(m.qzreg(*make).returncode, 0)
            before = sorted(os.listdir(m.root))
            self.assertIn("instance.lock", before)
            done = m.run("--no-trace", "--what-if", "1", "HRT1:")
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(sorted(os.listdir(m.root)), before, make)


class Utf8EdgeTest(EdgeCase):
    """The machine holds code-page text; the host's side speaks the locale's UTF-8."""

    def utf8(self, m, locale="C.UTF-8"):
        env = dict(m.env, LANG=locale)
        env.pop("LC_ALL", None)
        env.pop("LC_CTYPE", None)
        return env

    def test_reg_files_arguments_and_output_convert(self):
        m = self.machine()
        env = self.utf8(m)
        body = 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Café]\n"Prix"="€ 5"\n'
        for name, data in (("bom.reg", b"\xef\xbb\xbf" + body.encode()), ("plain.reg", body.encode())):
            done = m.qzreg("import", self.file(name, data), env=env)
            self.assertEqual(done.returncode, 0, done.stderr)
            # The machine holds code page 1252: é is E9, € is 80.
            exported = m.qzreg("export", "HKLM\\Software\\Caf\xe9".encode("latin-1"),
                               env=dict(m.env, LANG="C"))
            self.assertEqual(exported.returncode, 0, exported.stderr)
            self.assertIn(b"Caf\xe9]", exported.stdout)
            self.assertIn(b'"Prix"="\x80 5"', exported.stdout)
            m.qzreg("delete", "HKLM\\Software\\Café", "/f", env=env)
        m.qzreg("import", self.file("again.reg", body.encode()), env=env)
        # A key typed in UTF-8 is found, and the text output is UTF-8.
        done = m.qzreg("query", "HKLM\\Software\\Café", env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("    Prix    REG_SZ    € 5\n".encode(), done.stdout)
        self.assertIn("SOFTWARE\\Café\n".encode(), done.stdout)
        done = m.qzreg("query", "HKLM\\Software", "/f", "é", "/k", env=env)
        self.assertIn("Café".encode(), done.stdout)
        # What code page 1252 cannot hold is refused, never stored garbled.
        done = m.qzreg("add", "HKLM\\Software\\日本", env=env)
        self.assertEqual(done.returncode, 120)
        self.assertIn("'日'".encode(), done.stderr)
        done = m.qzreg("import", self.file("j.reg", 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\J]\n'
                                           '"a"="日本"\n'), env=env)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"line 4", done.stderr)
        self.assertEqual(m.qzreg("query", "HKLM\\Software\\J", env=env).returncode, 1)
        # The C locale passes bytes as they are.
        done = m.qzreg("query", "HKLM\\Software\\Café", env=self.utf8(m, "C"))
        self.assertEqual(done.returncode, 1)

    def test_listings_print_utf8(self):
        m = self.machine()
        with open(EXAMPLE_INF, "rb") as f:
            text = f.read()
        inf = self.file("cp.inf", text.replace(b"device=Halden RT-2210 Series",
                                               b"device=Halden Caf\xe9 Printer", 1))
        done = m.run("--no-trace", "2", inf, "RT2210", "LPT1:")
        self.assertEqual(done.returncode, 0, done.stderr)
        done = m.qzreg("printers", "Halden Café*", env=self.utf8(m))
        self.assertIn("Halden Café Printer Halden Café Printer".encode(), done.stdout)
        # Beside an ASCII name the columns line up by characters, not bytes.
        done = m.run("--no-trace", "2", EXAMPLE_INF, "RT2210", "LPT2:")
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = m.qzreg("printers", env=self.utf8(m)).stdout.decode().splitlines()
        self.assertEqual(len(lines), 3, lines)
        starts = {line.index(" Halden", 7) for line in lines[1:]}
        self.assertEqual(len(starts), 1, lines)
        rows = json.loads(m.qzreg("printers", "--json").stdout)
        self.assertEqual(rows[0]["name"], "Halden Café Printer")

    def test_check_inf_warns_of_a_utf8_inf_and_names_the_result(self):
        m = self.machine()
        with open(EXAMPLE_INF) as f:
            text = f.read()
        inf = self.file("u.inf", text.replace("device=Halden RT-2210 Series",
                                              "device=Halden Café Printer", 1).encode())
        done = m.run("--check-inf", inf, "RT2210", env=self.utf8(m))
        self.assertEqual(done.returncode, 0, done.stdout)
        self.assertIn("the file is UTF-8 with non-ASCII characters".encode(), done.stdout)
        self.assertIn('the printer is named "Halden CafÃ© Printer"'.encode(), done.stdout)
        done = m.run("--check-inf", "--json", inf, "RT2210")
        findings = json.loads(done.stdout)["findings"]
        self.assertTrue(any("CafÃ©" in f["message"] for f in findings), findings)
        # A file in the code page itself draws no such warning.
        cp = self.file("cp.inf", text.replace("device=Halden RT-2210 Series",
                                              "device=Halden Café Printer", 1).encode("cp1252"))
        done = m.run("--check-inf", cp, "RT2210")
        self.assertNotIn(b"UTF-8", done.stdout)


if __name__ == "__main__":
    QZINST32, QZREG = (os.path.abspath(p) for p in sys.argv[1:3])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=1)
