#!/usr/bin/env python3
"""qzreg's spooler administration against fresh machines: an NT machine staged
with `driver add` takes the example printer, refusals name Windows' errors, and
what is added can be removed again.

Usage: admin_test.py QZINST32 QZREG
"""
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
SCHEMA = os.path.join(SOURCE, "docs", "schemas", "qzreg-admin.schema.json")
PRINTER = "Halden RT-2210 Series"
DRIVER_FILES = ("HRT2210.DRV", "HRT2210.DAT", "HRT2210U.DLL", "HRT2210.HLP")
NT_DRIVER = ["driver", "add", PRINTER, "--environment", "Windows NT x86", "--driver",
             "HRT2210.DRV", "--data", "HRT2210.DAT", "--config", "HRT2210U.DLL", "--help",
             "HRT2210.HLP", "--monitor", "Halden Language Monitor", "--datatype", "RAW"]


class Machine:
    def __init__(self, osname):
        self.root = tempfile.mkdtemp(prefix="qzadmin.")
        self.env = dict(os.environ, QZINST_ROOT=self.root)
        self.qzreg("init", "--os", osname, check=True)
        windows = os.path.join(self.root, "drive_c", "WINDOWS")
        system = os.path.join(windows, "system32" if osname == "nt" else "SYSTEM")
        # What the package's setup copies first: the monitors into the system
        # directory, the driver files into the printer-driver directories.
        places = [system]
        if osname == "nt":
            drivers = os.path.join(system, "spool", "DRIVERS")
            places += [os.path.join(drivers, "W32X86"), os.path.join(drivers, "WIN40")]
        for place in places:
            os.makedirs(place, exist_ok=True)
            for name in DRIVER_FILES + ("hrtpmon.dll", "hrtlmon.dll", "tcpmon.dll"):
                open(os.path.join(place, name), "ab").close()

    def qzreg(self, *args, check=False):
        done = subprocess.run([QZREG] + list(args), env=self.env, capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError("qzreg %s: %s" % (" ".join(args), done.stderr))
        return done

    def listing(self, kind):
        return json.loads(self.qzreg(kind, "--json", check=True).stdout)

    def install(self):
        return subprocess.run([QZINST32, "--no-trace", "2", EXAMPLE_INF, "RT2210", "LPT1:"],
                              env=self.env, capture_output=True, text=True)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class AdminCase(unittest.TestCase):
    def setUp(self):
        self.machines = []

    def tearDown(self):
        for m in self.machines:
            m.remove()

    def machine(self, osname):
        m = Machine(osname)
        self.machines.append(m)
        return m

    def refused(self, m, args, code, *words):
        """The verb fails with status 1 and names the error; its JSON says the same."""
        done = m.qzreg(*args)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn(" %d " % code, done.stderr)
        for word in words:
            self.assertIn(word, done.stderr)
        report = json.loads(m.qzreg(*(list(args) + ["--json"])).stdout)
        self.validate(report)
        self.assertFalse(report["done"])
        self.assertEqual(report["error"]["code"], code)
        return done.stderr

    def validate(self, document):
        self.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
        with open(SCHEMA) as f:
            errors = list(jsonschema.Draft202012Validator(json.load(f)).iter_errors(document))
        self.assertEqual([e.message for e in errors], [], document)

    def test_nt_machine_staged_with_driver_add_takes_the_example_and_gives_it_back(self):
        m = self.machine("nt")
        self.assertEqual(m.install().returncode, 30, "without the NT driver: 1046")
        m.qzreg("printer", "delete", PRINTER)  # nothing to delete: it was refused
        done = m.qzreg(*(NT_DRIVER + ["--json"]))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.validate(json.loads(done.stdout))
        nt = [d for d in m.listing("drivers") if d["environment"] == "Windows NT x86"]
        self.assertEqual([(d["name"], d["version"], d["help_file"][-11:]) for d in nt],
                         [(PRINTER, 3, "HRT2210.HLP")])
        done = m.install()
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual([p["name"] for p in m.listing("printers")], [PRINTER])
        # What the printer holds cannot go first.
        self.refused(m, ["driver", "delete", PRINTER], 3001, "ERROR_PRINTER_DRIVER_IN_USE",
                     'qzreg printer delete "%s"' % PRINTER)
        self.refused(m, ["port", "delete", "LPT1:"], 170, "ERROR_BUSY")
        self.refused(m, ["monitor", "delete", "Halden Language Monitor"], 3008,
                     "ERROR_PRINT_MONITOR_IN_USE")
        self.assertEqual(m.qzreg("default", PRINTER).returncode, 0)
        self.assertTrue(m.listing("printers")[0]["default"])
        self.assertEqual(m.qzreg("printer", "delete", PRINTER).returncode, 0)
        self.assertEqual(m.listing("printers"), [])
        for env in ("Windows NT x86", "Windows 4.0"):
            done = m.qzreg("driver", "delete", PRINTER, "--environment", env)
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(m.listing("drivers"), [])
        self.assertEqual(m.qzreg("monitor", "delete", "Halden Language Monitor").returncode, 0)
        self.refused(m, ["monitor", "delete", "Halden Language Monitor"], 3000,
                     "ERROR_UNKNOWN_PRINT_MONITOR")

    def test_printers_ports_and_monitors_on_both_machines(self):
        for osname in ("win98", "nt"):
            with self.subTest(os=osname):
                m = self.machine(osname)
                if osname == "nt":
                    m.qzreg(*NT_DRIVER, check=True)
                else:
                    m.qzreg("driver", "add", PRINTER, "--environment", "Windows 4.0",
                            "--driver", "HRT2210.DRV", "--data", "HRT2210.DAT", "--config",
                            "HRT2210U.DLL", check=True)
                self.refused(m, ["printer", "add", "P1", "--driver", "Nobody", "--port", "LPT1:"],
                             1797, "qzreg driver add")
                self.refused(m, ["printer", "add", "P1", "--driver", PRINTER, "--port", "HRT5:"],
                             1796, "qzreg port add")
                m.qzreg("port", "add", "HRT5:", check=True)
                self.refused(m, ["port", "add", "hrt5:"], 183, "ERROR_ALREADY_EXISTS")
                m.qzreg("printer", "add", "P1", "--driver", PRINTER, "--port", "HRT5:",
                        "--default", check=True)
                rows = m.listing("printers")
                self.assertEqual([(r["name"], r["port"], r["print_processor"], r["default"])
                                  for r in rows], [("P1", "HRT5:", "WinPrint", True)])
                self.refused(m, ["printer", "add", "P1", "--driver", PRINTER, "--port", "LPT1:"],
                             1802)
                m.qzreg("printer", "delete", "P1", check=True)
                self.refused(m, ["printer", "delete", "P1"], 1801)
                m.qzreg("port", "delete", "HRT5:", check=True)
                self.assertNotIn("HRT5:", [p["name"] for p in m.listing("ports")])
                self.refused(m, ["monitor", "delete", "Nobody"], 3000 if osname == "nt" else 87)
                m.qzreg("monitor", "add", "Halden Port Monitor", "--dll", "hrtpmon.dll",
                        check=True)
                m.qzreg("monitor", "delete", "Halden Port Monitor", check=True)
                self.assertNotIn("Halden Port Monitor", [r["name"] for r in m.listing("monitors")])

    def test_tcpip_ports_where_the_monitor_is(self):
        m98 = self.machine("win98")
        self.assertIn("Windows 98 has no Standard TCP/IP Port monitor",
                      self.refused(m98, ["port", "add", "IP_1", "--tcpip", "10.0.0.9"], 87))
        m = self.machine("nt")
        self.refused(m, ["port", "add", "IP_1", "--tcpip", "10.0.0.9"], 3000,
                     'qzreg monitor add "Standard TCP/IP Port" --dll tcpmon.dll')
        m.qzreg("monitor", "add", "Standard TCP/IP Port", "--dll", "tcpmon.dll", check=True)
        m.qzreg("port", "add", "IP_10.0.0.9", "--tcpip", "10.0.0.9:9101", check=True)
        ports = {p["name"]: p["monitor"] for p in m.listing("ports")}
        self.assertEqual(ports.get("IP_10.0.0.9"), "Standard TCP/IP Port")
        done = m.qzreg("query", r"HKLM\System\CurrentControlSet\Control\Print\Monitors"
                       r"\Standard TCP/IP Port\Ports\IP_10.0.0.9", "/v", "PortNumber")
        self.assertIn("0x238d", done.stdout)
        m.qzreg("port", "delete", "IP_10.0.0.9", check=True)
        self.assertNotIn("IP_10.0.0.9", [p["name"] for p in m.listing("ports")])

    def test_usage_errors_and_help(self):
        m = self.machine("nt")
        for args in (["driver"], ["driver", "remove", "X"], ["driver", "add", "X"],
                     ["printer", "add", "X", "--port", "LPT1:"], ["port", "add"],
                     ["port", "add", "X", "--tcpip", "host:70000"], ["monitor", "add", "X"],
                     ["default"], ["port", "delete", "X", "--bogus"]):
            with self.subTest(args=args):
                self.assertEqual(m.qzreg(*args).returncode, 120)
        for verb in ("driver", "printer", "default", "port", "monitor"):
            done = m.qzreg(verb, "--help")
            self.assertEqual(done.returncode, 0)
            self.assertIn("Usage: qzreg " + verb, done.stdout)
        done = m.qzreg("driver", "add", "--help")
        self.assertIn("--dependent FILE", done.stdout)
        shutil.rmtree(m.root)
        self.assertEqual(m.qzreg("port", "add", "HRT1:").returncode, 121)


if __name__ == "__main__":
    QZINST32, QZREG = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
