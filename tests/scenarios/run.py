#!/usr/bin/env python3
"""Runs the data-driven scenarios against the host build or the Windows build under Wine.

A scenario is a folder under tests/scenarios/ holding:
  command        the command line text; with several lines each runs in turn on the
                 same machine and the last one's outcome is checked
  os             optional: "win98" (default) or "nt"
  seed.reg       optional: registry entries imported before the run
  drive_c/       optional: files copied onto drive C: before the run
  result         the expected result code (decimal)
  trace          the expected trace, line for line; "{*}" in a line matches any text
  registry.reg   optional: keys whose values must be exactly these afterwards;
                 [-KEY] means the key must not exist; a line "; some values" in a
                 key's section checks only the values named there, and "NAME"=-
                 means that value must not exist
  profile        optional: lines "PATH|SECTION|KEY|VALUE" (PATH relative to C:\\);
                 VALUE "<absent>" means the key must not be there
  spooler        optional: lines "KIND JSON" with KIND printers, drivers, monitors,
                 processors or ports, and JSON the array that qzreg's listing of
                 that kind gives (--json) afterwards; under Wine the test program
                 spoolstate.exe lists the same from the spooler's Enum* calls.
                 Print processors are compared by name and environment only, a
                 driver's file paths without regard to case.
  wine.result, wine.trace, wine.registry.reg, wine.profile, wine.spooler
                 optional: what the Wine run shows instead, where Wine's spooler or
                 version differs from the emulated machine; a file "wine.skip"
                 names why a scenario cannot run under Wine at all.
  wine.seed.reg  optional: imported under Wine after seed.reg, for state that the
                 emulated machine's default image holds and a fresh Wine prefix
                 does not (Plug and Play nodes, network transports, ...)
  wine.note      optional: why the wine.* files differ (read by people only)
A scenario's drive_c/ holds the package's files where its setup copies them: the
monitors in the system directory, the driver's files in the printer-driver directory
(C:\\WINDOWS\\SYSTEM on Windows 98, ...\\system32\\spool\\DRIVERS\\WIN40 for the "Windows
4.0" driver on NT), as empty files: the emulated spooler looks for them and loads
nothing. Under Wine every empty DLL in the system directory (the example's monitors
hrtpmon.dll and hrtlmon.dll among them) is then the test monitor built with the
Windows program, which Wine loads.
Under Wine the 32-bit program runs in a 32-bit prefix (a 32-bit Windows, as 98 and
NT 4.0 are: one system directory, one registry view). A scenario whose os is
"win98" runs with Wine's version set to Windows 98 (HKCU\\Software\\Wine, Version
= win98), so that GetVersion reports 9x and the program takes its Windows 98 road;
an "nt" scenario runs with Wine's own NT version. Wine keeps its NT folders on its
Windows 98 version: a Windows 98 trace's "acWinDir=C:\\WINDOWS\\" and
"acSysDir=C:\\WINDOWS\\SYSTEM\\" lines are expected as C:\\windows\\ and
C:\\windows\\system32\\, and the scenario's C:\\WINDOWS\\SYSTEM files go to the
latter as well.

--show prints the trace, exit status and (with --export KEY) registry keys that a
run actually gave, next to the verdict, to help write a new scenario.
"""

import argparse
import difflib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile


def read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, encoding="latin-1") as f:
        return f.read()


def exit_status_for(code):
    """The host program's exit status for a result code (README's table)."""
    if code == 0:
        return 0
    if code == 0x100:
        return 1
    if code == 0x301:
        return 2
    if code & 0xFFC0 == 0x400:
        return 8 + (code & 0x3F)
    return 125


# --- .reg parsing ------------------------------------------------------------

SOME_VALUES = "; some values"
PARTIAL = "\0partial"


def parse_reg(text):
    """Parses REGEDIT4 / 5.00 text into {KEY_UPPER: (key, {name_upper: (name, value)})}."""
    keys = {}
    current = None
    lines = text.replace("\r\n", "\n").split("\n")
    joined = []
    for line in lines:
        if joined and joined[-1].endswith("\\") and not joined[-1].startswith("["):
            joined[-1] = joined[-1][:-1] + line.strip()
        else:
            joined.append(line)
    for line in joined:
        line = line.strip()
        if line == SOME_VALUES and current is not None:
            current[PARTIAL] = (PARTIAL, True)
            continue
        if not line or line.startswith(";") or line.startswith("REGEDIT") or line.startswith("Windows Registry"):
            continue
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            if name.startswith("-"):
                keys[name[1:].upper()] = (name[1:], None)
                current = None
            else:
                current = {}
                keys[name.upper()] = (name, current)
            continue
        m = re.match(r'^("(?:[^"\\]|\\.)*"|@)=(.*)$', line)
        if m and current is not None:
            vname = m.group(1)
            vname = "" if vname == "@" else vname[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            current[vname.upper()] = (vname, normalise_value(m.group(2)))
    return keys


def normalise_value(text):
    text = text.strip()
    if text.startswith("hex") and ":" in text:
        kind, data = text.split(":", 1)
        return kind.lower() + ":" + data.replace(" ", "").replace("\\", "").lower()
    if text.startswith("dword:"):
        return "dword:" + text[6:].lower()
    return text


# --- the two ways to run -------------------------------------------------------

class HostRunner:
    name = "host"

    def __init__(self, program, qzreg):
        self.program = program
        self.qzreg = qzreg

    def prepare(self, scenario, osname):
        self.root = tempfile.mkdtemp(prefix="qzscenario.")
        self.env = dict(os.environ, QZINST_ROOT=self.root)
        self.call([self.qzreg, "init", "--os", osname])
        seed = os.path.join(scenario, "seed.reg")
        if os.path.exists(seed):
            self.call([self.qzreg, "import", seed])
        self.drive_c = os.path.join(self.root, "drive_c")

    def call(self, argv):
        done = subprocess.run(argv, env=self.env, capture_output=True, text=True, encoding="latin-1")
        if done.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(argv), done.stderr.strip()))
        return done.stdout

    def run(self, command):
        trace_file = os.path.join(self.root, "trace.txt")
        if os.path.exists(trace_file):
            os.remove(trace_file)  # the program appends; only this run's trace counts
        # The scenario's bytes as they stand (read as Latin-1), not their UTF-8 form.
        done = subprocess.run([self.program, "--trace=" + trace_file, "--", command.encode("latin-1")],
                              env=self.env,
                              capture_output=True)
        return done.returncode, read(trace_file, "")

    def status_for(self, code):
        return exit_status_for(code)

    def export(self, key):
        """The key as .reg text; empty when the key does not exist."""
        done = subprocess.run([self.qzreg, "export", key], env=self.env, capture_output=True, text=True,
                              encoding="latin-1")
        if done.returncode != 0:
            if "no key" in done.stderr:
                return ""
            raise RuntimeError("qzreg export %s failed: %s" % (key, done.stderr.strip()))
        return done.stdout

    @staticmethod
    def machine_trace(expected):
        return expected

    def place_monitors(self, osname):
        """Nothing: the scenario's drive_c/ holds the files a package's setup copies."""

    def spooler(self):
        """{kind: rows} from qzreg's listings."""
        return {kind: json.loads(self.call([self.qzreg, kind, "--json"])) for kind in SPOOLER_KINDS}

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


# The monitors of the example INF, which Wine loads: the built ones replace the
# scenario's empty files in the system directory before each run under Wine.
MONITOR_DLLS = ("hrtpmon.dll", "hrtlmon.dll")

# The program's folder in a Wine prefix, below C:\.
PROGRAM_FOLDER = "QZTEST"

WINE_TIMEOUT = 120  # seconds for one Wine call; one normally takes under a second

# Wine's 32-bit loader: the shipped program is a 32-bit one, and so are the test
# monitors, the lister and the tools (cmd, regedit) of a 32-bit prefix.
WINE = "/usr/lib/wine/wine"

# Wine's version for the whole prefix; a process reads it when it starts.
WIN98_VERSION = 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="win98"\r\n'


def pe_machine(path):
    """The machine field of a PE file's header (0x14c for 32-bit x86), or None."""
    with open(path, "rb") as f:
        data = f.read(4096)
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    pe = int.from_bytes(data[0x3C:0x40], "little")
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    return int.from_bytes(data[pe + 4:pe + 6], "little")


class WineRunner:
    name = "wine"

    def __init__(self, program, template):
        if pe_machine(program) != 0x14C:
            raise SystemExit("%s is no 32-bit Windows program: build it with cmake --preset mingw-i686"
                             % program)
        self.program = program
        self.template = template
        folder = os.path.dirname(os.path.abspath(program))
        # Built twice under the example's two names, one DLL: either serves.
        self.monitor = os.path.join(folder, MONITOR_DLLS[0])
        self.lister = os.path.join(folder, "spoolstate.exe")

    def prepare(self, scenario, osname):
        self.prefix = tempfile.mkdtemp(prefix="qzwine.")
        shutil.rmtree(self.prefix)
        shutil.copytree(self.template, self.prefix, symlinks=True)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        # One wine server for the whole scenario: started once, the seed, the run and
        # the read-back each cost a fraction of a second instead of a server start.
        # The system processes that the first call starts live as long as the server;
        # they must not hold the pipes of a later call open, so they start here.
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "cmd", "/c", "exit"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WINE_TIMEOUT)
        if osname == "win98":
            version = os.path.join(self.prefix, "qzversion.reg")
            with open(version, "w", encoding="latin-1", newline="") as f:
                f.write(WIN98_VERSION)
            self.wine(["regedit", "/S", self.to_windows(version)])
        for name in ("seed.reg", "wine.seed.reg"):
            seed = os.path.join(scenario, name)
            if os.path.exists(seed):
                self.wine(["regedit", "/S", self.to_windows(seed)])
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.scenario_drive = os.path.join(scenario, "drive_c")
        # The program runs from a folder of its own in the prefix: Wine's spooler
        # runs in the program's process and LoadLibrary looks in the program's
        # folder first, where the build folder holds the test monitors.
        folder = os.path.join(self.drive_c, PROGRAM_FOLDER)
        os.makedirs(folder, exist_ok=True)
        self.installed = os.path.join(folder, os.path.basename(self.program))
        shutil.copyfile(self.program, self.installed)

    def place_monitors(self, osname):
        r"""The package's files in Wine's system directory, monitors that load.

        Wine's system directory is C:\windows\system32 on its Windows 98 version
        too (GetSystemDirectoryA), so what a Windows 98 scenario puts into
        C:\WINDOWS\SYSTEM is put there as well. A scenario's DLLs are empty files
        that the emulated machine takes for good ones; Wine loads a monitor's DLL,
        so every empty DLL there becomes the test monitor. A DLL the scenario leaves
        out stays missing, as on the emulated machine."""
        system = find_ci(self.drive_c, "windows/system32")
        if osname == "win98":
            system98 = find_ci(self.scenario_drive, "WINDOWS/SYSTEM")
            if os.path.isdir(system98):
                copy_onto_drive(system98, system)
        if not os.path.exists(self.monitor):
            raise RuntimeError("no %s: build the Windows program with CMake" % self.monitor)
        for name in os.listdir(system):
            path = os.path.join(system, name)
            if name.lower().endswith(".dll") and os.path.isfile(path) and os.path.getsize(path) == 0:
                shutil.copyfile(self.monitor, path)

    # The Windows and system directories of the emulated Windows 98 machine as its
    # traces give them, and Wine's own (Wine's Windows 98 version keeps its NT folders).
    DIRECTORY_LINES = {"acWinDir=C:\\WINDOWS\\": "acWinDir=C:\\windows\\",
                       "acSysDir=C:\\WINDOWS\\SYSTEM\\": "acSysDir=C:\\windows\\system32\\"}

    def machine_trace(self, expected):
        """The expected trace with the machine's directories as Wine has them."""
        return "\n".join(self.DIRECTORY_LINES.get(line, line) for line in expected.split("\n"))

    def spooler(self):
        done = self.wine([self.lister])
        if done.returncode != 0:
            raise RuntimeError("spoolstate.exe failed with status %d" % done.returncode)
        lines = done.stdout.decode("latin-1").splitlines()
        return {kind: json.loads(line) for kind, line in zip(SPOOLER_KINDS, lines)}

    @staticmethod
    def to_windows(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def wine(self, args, debug="-all"):
        """Runs one Wine program and returns its status and output.

        The output goes through files, not pipes: a Wine system process started by
        this call (the desktop, a service) inherits the handles and can outlive the
        program; with pipes the call would wait for it as well."""
        env = dict(self.env, WINEDEBUG=debug)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run([WINE] + args, env=env, stdout=out, stderr=err,
                                  timeout=WINE_TIMEOUT)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())

    def run(self, command):
        if self.argv_carries(command):
            done = self.wine([self.installed] + command.split(" "), debug="-all,+debugstr")
        else:
            done = self.wine(["cmd", "/c", self.batch_for(command)], debug="-all,+debugstr")
        return done.returncode, self.trace_from(done.stderr.decode("latin-1"))

    @staticmethod
    def argv_carries(command):
        """Whether Wine's loader rebuilds this text exactly from single-word arguments.

        It quotes an empty or blank-holding argument and escapes double quotes, so
        an empty text, doubled or outer blanks and quotes need the batch route."""
        return (command != "" and '"' not in command and "\t" not in command
                and "  " not in command and command == command.strip(" "))

    def batch_for(self, command):
        """A batch file in the prefix whose one line starts the program with the command text
        exactly as it stands; cmd passes that line on and exits with the program's code."""
        if re.search(r'[&|<>^]', re.sub(r'"[^"]*"', "", command)):
            raise RuntimeError("command text with & | < > ^ outside quotes cannot go through cmd")
        line = '@"' + self.to_windows(self.installed) + '"' + (" " + command.replace("%", "%%") if command else "")
        path = os.path.join(self.drive_c, "qzscenario.bat")
        with open(path, "w", encoding="latin-1", newline="") as f:
            f.write(line + "\r\n")
        return "C:\\qzscenario.bat"

    @staticmethod
    def trace_from(stderr):
        out = []
        for line in stderr.splitlines():
            m = re.search(r'OutputDebugStringA "(.*)"$', line)
            if m:
                out.append(unescape(m.group(1)))
        return "".join(out)

    def status_for(self, code):
        # A Windows exit code reaches Unix through its low byte; Wine turns a non-zero
        # code whose low byte is 0 (1024) into 1 so that failure stays failure.
        if code != 0 and code & 0xFF == 0:
            return 1
        return code & 0xFF

    def export(self, key):
        out = os.path.join(self.prefix, "export.reg")
        if os.path.exists(out):
            os.remove(out)  # regedit writes nothing for a missing key
        self.wine(["regedit", "/E", self.to_windows(out), key])
        data = open(out, "rb").read() if os.path.exists(out) else b""
        if data.startswith(b"\xff\xfe"):
            return data[2:].decode("utf-16-le")
        return data.decode("latin-1")

    def cleanup(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        shutil.rmtree(self.prefix, ignore_errors=True)


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            if n.isdigit():
                j = i + 1
                while j < len(text) and j < i + 4 and text[j] in "01234567":
                    j += 1
                out.append(chr(int(text[i + 1:j], 8)))
                i = j
                continue
        out.append(c)
        i += 1
    return "".join(out)


# --- checks ------------------------------------------------------------------

def trace_matches(expected, actual):
    exp_lines = expected.split("\n")
    act_lines = actual.split("\n")
    if len(exp_lines) != len(act_lines):
        return False
    for e, a in zip(exp_lines, act_lines):
        pattern = "^" + ".*".join(re.escape(part) for part in e.split("{*}")) + "$"
        if not re.match(pattern, a, re.S):
            return False
    return True


def trace_diff(expected, actual):
    """A unified diff in which a line that the expected "{*}" line matches counts as equal."""
    exp_lines = expected.split("\n")
    act_lines = actual.split("\n")
    shown = list(exp_lines)
    matcher = difflib.SequenceMatcher(None, exp_lines, act_lines, autojunk=False)
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag == "replace" and i2 - i1 == j2 - j1:
            for k in range(i2 - i1):
                if trace_matches(exp_lines[i1 + k], act_lines[j1 + k]):
                    shown[i1 + k] = act_lines[j1 + k]
    return "\n".join(difflib.unified_diff(shown, act_lines, "expected", "actual", lineterm="", n=2))


def check_registry(runner, expected_text, problems):
    for key_upper, (key, values) in parse_reg(expected_text).items():
        actual = parse_reg(runner.export(key))
        got = actual.get(key_upper)
        if values is None:
            if got is not None and got[1] is not None:
                problems.append("key %s exists but should not" % key)
            continue
        if got is None:
            problems.append("key %s is missing" % key)
            continue
        want = {k: v[1] for k, v in values.items() if k != PARTIAL}
        have = {k: v[1] for k, v in got[1].items()}
        if PARTIAL in values:
            have = {k: have.get(k, "-") for k in want}
        if want != have:
            problems.append("key %s holds %s, expected %s" % (key, have, want))
            continue
        # Values are listed in the order they were created, as Windows lists
        # them; those the file lists must come in its order. Wine 8 lists a
        # key's values sorted by name, so its runs are not held to the order.
        if runner.name == "wine":
            continue
        want_order = [k for k in values if k != PARTIAL and want[k] != "-"]
        have_order = [k for k in got[1] if k in want_order]
        if want_order != have_order:
            problems.append("key %s lists its values in the order %s, expected %s" %
                            (key, have_order, want_order))


SPOOLER_KINDS = ("printers", "drivers", "monitors", "processors", "ports")


FILE_FIELDS = ("driver_file", "data_file", "config_file", "help_file")


def spooler_rows(kind, rows):
    """Rows as compared: a print processor without its DLL (its level-1 record has
    none), a driver's file paths without regard to case, as Windows treats them."""
    if kind == "processors":
        return [{k: v for k, v in row.items() if k != "dll"} for row in rows]
    if kind == "drivers":
        return [{k: v.upper() if k in FILE_FIELDS else v for k, v in row.items()} for row in rows]
    return rows


def check_spooler(runner, expected, problems):
    actual = runner.spooler()
    for line in expected.splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        kind, text = line.split(" ", 1)
        if kind not in SPOOLER_KINDS:
            raise ValueError("spooler: unknown kind %r" % kind)
        want = spooler_rows(kind, json.loads(text))
        have = spooler_rows(kind, actual[kind])
        if want != have:
            problems.append("spooler %s: %s, expected %s" % (kind, json.dumps(have), json.dumps(want)))


def ini_value(path, section, key):
    text = read(path)
    if text is None:
        return "<no file>"
    current = None
    for line in text.replace("\r\n", "\n").split("\n"):
        s = line.strip()
        if s.startswith("[") and "]" in s:
            current = s[1:s.index("]")].strip().upper()
        elif "=" in s and current == section.upper():
            k, v = s.split("=", 1)
            if k.strip().upper() == key.upper():
                return v.strip()
    return "<absent>"


def find_ci(base, relative):
    path = base
    for part in relative.replace("\\", "/").split("/"):
        if not part:
            continue
        match = part
        if os.path.isdir(path):
            for entry in os.listdir(path):
                if entry.upper() == part.upper():
                    match = entry
                    break
        path = os.path.join(path, match)
    return path


def copy_onto_drive(source, drive):
    """Copies a scenario's drive_c/ onto drive C:, matching names that are there already
    without regard to case (C:\WINDOWS is C:\windows in a Wine prefix)."""
    for entry in os.listdir(source):
        src = os.path.join(source, entry)
        dst = find_ci(drive, entry)
        if os.path.isdir(src):
            os.makedirs(dst, exist_ok=True)
            copy_onto_drive(src, dst)
        else:
            shutil.copyfile(src, dst)


def check_profile(runner, expected, problems):
    for line in expected.splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        rel, section, key, value = line.split("|", 3)
        got = ini_value(find_ci(runner.drive_c, rel), section, key)
        if got != value:
            problems.append("%s [%s] %s is %r, expected %r" % (rel, section, key, got, value))


def pick(scenario, runner, name):
    if runner.name == "wine":
        alt = read(os.path.join(scenario, "wine." + name))
        if alt is not None:
            return alt
    return read(os.path.join(scenario, name))


SHOW = {"on": False, "keys": [], "spooler": False}


def show_run(runner, status, trace):
    print("----- exit status %d, trace:" % status)
    sys.stdout.write(trace)
    for key in SHOW["keys"]:
        print("----- %s:" % key)
        sys.stdout.write(runner.export(key))
    if SHOW["spooler"]:
        print("----- spooler:")
        for kind, rows in runner.spooler().items():
            print(kind, json.dumps(rows))


def run_scenario(scenario, runner):
    osname = (read(os.path.join(scenario, "os"), "win98").strip())
    if runner.name == "wine":
        if os.path.exists(os.path.join(scenario, "wine.skip")):
            return "skip", read(os.path.join(scenario, "wine.skip")).strip()
    try:
        runner.prepare(scenario, osname)
        drive = os.path.join(scenario, "drive_c")
        if os.path.isdir(drive):
            copy_onto_drive(drive, runner.drive_c)
        runner.place_monitors(osname)
        # Earlier lines run first (a re-run); the last one is checked.
        commands = read(os.path.join(scenario, "command")).rstrip("\n").split("\n")
        for command in commands[:-1]:
            runner.run(command)
        status, trace = runner.run(commands[-1])
        if SHOW["on"]:
            show_run(runner, status, trace)
        problems = []
        code = int(pick(scenario, runner, "result").strip())
        if status != runner.status_for(code):
            problems.append("exit status %d, expected %d (result %d)" % (status, runner.status_for(code), code))
        expected_trace = pick(scenario, runner, "trace")
        if expected_trace is not None:
            expected_trace = runner.machine_trace(expected_trace)
        if expected_trace is not None and not trace_matches(expected_trace, trace):
            problems.append("trace differs (- expected, + actual):\n" + trace_diff(expected_trace, trace))
        registry = pick(scenario, runner, "registry.reg")
        if registry is not None:
            check_registry(runner, registry, problems)
        profile = pick(scenario, runner, "profile")
        if profile is not None:
            check_profile(runner, profile, problems)
        spooler = pick(scenario, runner, "spooler")
        if spooler is not None:
            check_spooler(runner, spooler, problems)
        return ("fail", "\n".join(problems)) if problems else ("pass", "")
    finally:
        runner.cleanup()


def run_once(scenario, runner):
    try:
        return run_scenario(scenario, runner)
    except subprocess.TimeoutExpired as error:
        return "timeout", "could not run: %s" % error
    except (RuntimeError, OSError, ValueError) as error:
        return "fail", "could not run: %s" % error


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", help="the host program qzinst32")
    parser.add_argument("--qzreg", help="the host tool qzreg")
    parser.add_argument("--wine", help="QZINST32.EXE (the 32-bit build) to run under Wine")
    parser.add_argument("--wine-template", help="an initialised 32-bit Wine prefix to copy per scenario")
    parser.add_argument("--dir", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--show", action="store_true", help="print what each run gave")
    parser.add_argument("--export", action="append", default=[], metavar="KEY",
                        help="with --show: also print this registry key afterwards")
    parser.add_argument("--show-spooler", action="store_true",
                        help="with --show: also print the spooler's listings afterwards")
    parser.add_argument("names", nargs="*", help="scenario names (default: all)")
    args = parser.parse_args()
    SHOW["on"] = args.show
    SHOW["keys"] = args.export
    SHOW["spooler"] = args.show_spooler
    if args.wine:
        runner = WineRunner(args.wine, args.wine_template)
    else:
        runner = HostRunner(args.host, args.qzreg)
    names = args.names or sorted(d for d in os.listdir(args.dir)
                                 if os.path.isfile(os.path.join(args.dir, d, "command")))
    failed = 0
    counts = {"pass": 0, "fail": 0, "skip": 0}
    by_os = {"nt": dict(counts), "win98": dict(counts)}
    second_runs = 0
    for name in names:
        outcome, detail = run_once(os.path.join(args.dir, name), runner)
        if outcome in ("timeout", "fail") and runner.name == "wine":
            # Wine itself now and then stalls or loses a step on a busy machine,
            # while the program does the same on every run: a second run in a
            # fresh prefix tells the two apart. The first result is shown.
            print("     first run under Wine of %s: %s" % (name, detail.replace("\n", "\n     ")))
            outcome, detail = run_once(os.path.join(args.dir, name), runner)
            second_runs += outcome == "pass"
        if outcome == "timeout":
            outcome = "fail"
        counts[outcome] += 1
        osname = read(os.path.join(args.dir, name, "os"), "win98").strip()
        by_os.setdefault(osname, {"pass": 0, "fail": 0, "skip": 0})[outcome] += 1
        print("%-4s %s %s" % (outcome.upper(), name, ("(" + detail + ")") if outcome == "skip" else ""))
        if outcome == "fail":
            failed += 1
            print("     " + detail.replace("\n", "\n     "))
    again = " (%d on a second run)" % second_runs if second_runs else ""
    roads = "; ".join("%s %d/%d/%d" % (("NT" if o == "nt" else "Windows 98"), c["pass"], c["fail"], c["skip"])
                      for o, c in sorted(by_os.items()))
    print("%s: %d passed%s, %d failed, %d skipped (passed/failed/skipped: %s)" %
          (runner.name, counts["pass"], again, counts["fail"], counts["skip"], roads))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
