#!/usr/bin/env python3
"""Makes the benchmark machines and the large INF.

  generate_machine.py machine ROOT --qzreg PATH [--os nt|win98] [--size default|50k|500k]
  generate_machine.py inf FILE [--mb 20]

A machine starts as a fresh default machine (`qzreg init`); the larger sizes
then get their extra keys written straight into registry.db with SQLite, in
one transaction, in the registry's own schema (tables keys and vals, names
kept as first spelled and upper-cased for lookups). A .reg import of half a
million keys would be far slower and measure the importer, not the commands.

What the sizes hold besides the default image:

  size   keys     Enum nodes  drivers  ports  monitors
  50k     50,000      10,000    1,000    500       200
  500k   500,000     100,000   10,000  5,000     2,000

The Enum nodes sit under HKLM\\Enum\\BIOS in devices that sort before the
default image's parallel port node, so command 3 walks all of them before it
finds LPT1. The drivers belong to the environment the program does not install
into ("Windows NT x86"; command 2 installs "Windows 4.0" drivers), so the
spooler must not read them to answer the program. Ports and monitors are real
entries: every EnumPorts and EnumMonitors returns them. The rest, up to the
key count, is an application's class tree under HKLM\\SOFTWARE\\Classes.

The INF holds the printer sections of examples/rt2210.inf, with filler
sections (and keys) before and after them so that the printer section lies
past the middle of the file.
"""

import argparse
import os
import sqlite3
import subprocess
import sys

SIZES = {
    "default": None,
    "50k": dict(keys=50_000, enum=10_000, drivers=1_000, ports=500, monitors=200),
    "500k": dict(keys=500_000, enum=100_000, drivers=10_000, ports=5_000, monitors=2_000),
}

HKLM = 3  # the fixed id of HKEY_LOCAL_MACHINE in the registry's schema
REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 3, 4, 7
PRINT = "System\\CurrentControlSet\\Control\\Print"


def upper(name):
    # Generated names are ASCII: the registry's 1252 upper-casing is plain upper().
    return name.upper().encode("latin-1")


class Writer:
    """Adds keys and values to an open registry.db; counts the keys it made."""

    def __init__(self, db):
        self.db = db
        self.made = 0
        self.next_id = db.execute("SELECT max(id) FROM keys").fetchone()[0] + 1
        self.keys = []
        self.vals = []

    def find(self, path):
        kid = HKLM
        for part in path.split("\\"):
            row = self.db.execute("SELECT id FROM keys WHERE parent=? AND upper=?",
                                  (kid, upper(part))).fetchone()
            if row is None:
                return None
            kid = row[0]
        return kid

    def path(self, path):
        """The id of path below HKLM, creating missing keys."""
        kid = HKLM
        for part in path.split("\\"):
            row = self.db.execute("SELECT id FROM keys WHERE parent=? AND upper=?",
                                  (kid, upper(part))).fetchone()
            if row is None:
                self.flush()
                kid = self.key(kid, part)
                self.flush()
            else:
                kid = row[0]
        return kid

    def key(self, parent, name):
        kid = self.next_id
        self.next_id += 1
        self.keys.append((kid, parent, name.encode("latin-1"), upper(name)))
        self.made += 1
        if len(self.keys) >= 20_000:
            self.flush()
        return kid

    def value(self, key, name, vtype, data):
        if vtype == REG_SZ:
            data = data.encode("latin-1") + b"\0"
        elif vtype == REG_DWORD:
            data = int(data).to_bytes(4, "little")
        elif vtype == REG_MULTI_SZ:
            data = b"".join(s.encode("latin-1") + b"\0" for s in data) + b"\0"
        self.vals.append((key, name.encode("latin-1"), upper(name), vtype, data))
        if len(self.vals) >= 20_000:
            self.flush()

    def flush(self):
        self.db.executemany("INSERT INTO keys(id, parent, name, upper) VALUES(?,?,?,?)", self.keys)
        self.db.executemany("INSERT INTO vals(key, name, upper, type, data) VALUES(?,?,?,?,?)",
                            self.vals)
        self.keys, self.vals = [], []


def stored_sz(db, key_id, name):
    row = db.execute("SELECT data FROM vals WHERE key=? AND upper=?", (key_id, upper(name))).fetchone()
    return row[0] if row else None


def add_enum(w, count):
    """count nodes under Enum\\BIOS: devices *GEN0000... with instances 0000..."""
    bios = w.path("Enum\\BIOS")
    per_device = 99
    devices = max(1, count // (per_device + 1))
    made = 0
    for d in range(devices):
        dev = w.key(bios, "*GEN%04X" % d)
        made += 1
        for i in range(per_device):
            if made >= count:
                break
            node = w.key(dev, "%04d" % i)
            made += 1
            w.value(node, "Class", REG_SZ, "System")
            w.value(node, "DeviceDesc", REG_SZ, "Generic device %d.%d" % (d, i))
            w.value(node, "HardwareID", REG_SZ, "*GEN%04X" % d)
    while made < count:  # whatever the even split left over
        w.key(bios, "*GEX%06d" % made)
        made += 1


def add_drivers(w, count, nt):
    env = PRINT + "\\Environments\\Windows NT x86\\Drivers"
    parent = w.path(env + ("\\Version-3" if nt else ""))
    for n in range(count):
        k = w.key(parent, "Bench Driver %05d" % n)
        for name, text in (("Driver", "BD%05d.DLL" % n), ("Data File", "BD%05d.PPD" % n),
                           ("Configuration File", "BDUI.DLL"), ("Help File", "BD.HLP"),
                           ("Monitor", ""), ("Datatype", "RAW")):
            w.value(k, name, REG_SZ, text)
        w.value(k, "Dependent Files", REG_MULTI_SZ, ["BDRES.DLL"])
        w.value(k, "Previous Names", REG_MULTI_SZ, [])
        w.value(k, "Version", REG_DWORD, 3 if nt else 0x400)


def add_ports(w, count, nt, root):
    names = ["BENCH%05d:" % n for n in range(count)]
    if nt:
        key = w.path("Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports")
        for name in names:
            w.value(key, name, REG_SZ, "")
        return
    # Windows 98 keeps ports in WIN.INI [Ports] and as keys under Print\Ports.
    half = count // 2
    parent = w.path(PRINT + "\\Ports")
    for name in names[:half]:
        w.key(parent, name)
    ini = os.path.join(root, "drive_c", "WINDOWS", "WIN.INI")
    with open(ini, "rb") as f:
        text = f.read()
    extra = "".join("%s=\r\n" % n for n in names[half:]).encode("latin-1")
    marker = b"[Ports]"
    at = text.find(marker)
    at = text.find(b"\n", at) + 1 if at >= 0 else len(text)
    if at == 0:
        text += b"\r\n[Ports]\r\n"
        at = len(text)
    with open(ini, "wb") as f:
        f.write(text[:at] + extra + text[at:])


def add_monitors(w, count):
    parent = w.path(PRINT + "\\Monitors")
    for n in range(count):
        k = w.key(parent, "Bench Monitor %04d" % n)
        w.value(k, "Driver", REG_SZ, "bmon%04d.dll" % n)


def add_filler(w, count):
    """count keys of an application's class tree: 100 per folder."""
    classes = w.path("SOFTWARE\\Classes")
    made = 0
    folder = 0
    while made < count:
        f = w.key(classes, ".bench%05d" % folder)
        made += 1
        w.value(f, "", REG_SZ, "BenchFile.%d" % folder)
        for i in range(min(99, count - made)):
            k = w.key(f, "ShellEx%02d" % i)
            made += 1
            w.value(k, "", REG_SZ, "{%08X-0000-0000-0000-000000000000}" % (folder * 100 + i))
        folder += 1


def make_machine(args):
    if os.path.exists(args.root):
        sys.exit("generate_machine: %s exists; remove it first" % args.root)
    env = dict(os.environ, QZINST_ROOT=args.root)
    subprocess.run([args.qzreg, "init", "--os", args.os], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    # The example's monitors, where the package's setup copies them: NT's
    # AddMonitorA wants the DLL in the system directory.
    system = os.path.join(args.root, "drive_c", "WINDOWS", "system32" if args.os == "nt" else "SYSTEM")
    for dll in ("hrtpmon.dll", "hrtlmon.dll"):
        open(os.path.join(system, dll), "ab").close()
    plan = SIZES[args.size]
    if plan is not None:
        fill_machine(args, plan)
    # The root as any run leaves it: the registry's log files (kept between
    # runs; the connection above removed them, and a run of qzreg makes them
    # again) and the instance lock file.
    for listing in ("monitors", "ports"):
        subprocess.run([args.qzreg, listing], env=env, check=True, stdout=subprocess.DEVNULL)
    os.close(os.open(os.path.join(args.root, "instance.lock"), os.O_WRONLY | os.O_CREAT, 0o600))


def fill_machine(args, plan):
    db = sqlite3.connect(os.path.join(args.root, "registry.db"), isolation_level=None)
    db.execute("PRAGMA journal_mode=WAL")
    db.execute("BEGIN IMMEDIATE")
    w = Writer(db)
    nt = args.os == "nt"
    add_enum(w, plan["enum"])
    add_drivers(w, plan["drivers"], nt)
    add_ports(w, plan["ports"], nt, args.root)
    add_monitors(w, plan["monitors"])
    w.flush()
    total = db.execute("SELECT count(*) FROM keys").fetchone()[0]
    add_filler(w, max(0, plan["keys"] - total))
    w.flush()
    db.execute("COMMIT")
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    total = db.execute("SELECT count(*) FROM keys").fetchone()[0]
    db.close()
    print("%s: %d keys (%s, %s)" % (args.root, total, args.size, args.os))


def make_inf(args):
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "examples", "rt2210.inf"), "rb") as f:
        example = f.read().replace(b"\r\n", b"\n")
    target = int(args.mb * 1024 * 1024)
    # About 60% of the file before the printer sections, the rest after them.
    parts = []
    size = 0
    n = 0

    def filler(limit):
        nonlocal size, n
        while size < limit:
            lines = ["[Filler.%06d]" % n]
            lines += ["Key%03d=Value of key %d in filler section %d, \"quoted\"" % (k, k, n)
                      for k in range(40)]
            lines.append("")
            block = ("\r\n".join(lines) + "\r\n").encode("latin-1")
            parts.append(block)
            size += len(block)
            n += 1

    # [Version] first, as INF files begin.
    head, _, rest = example.partition(b"[Manufacturer]")
    parts.append(head.replace(b"\n", b"\r\n"))
    size += len(parts[-1])
    filler(target * 6 // 10)
    body = (b"[Manufacturer]" + rest).replace(b"\n", b"\r\n")
    parts.append(body)
    size += len(body)
    filler(target)
    with open(args.file, "wb") as f:
        f.write(b"".join(parts))
    print("%s: %.1f MB, %d filler sections" % (args.file, size / 1048576.0, n))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    sub = p.add_subparsers(dest="what", required=True)
    m = sub.add_parser("machine")
    m.add_argument("root")
    m.add_argument("--qzreg", required=True)
    m.add_argument("--os", choices=["win98", "nt"], default="win98")
    m.add_argument("--size", choices=list(SIZES), default="default")
    i = sub.add_parser("inf")
    i.add_argument("file")
    i.add_argument("--mb", type=float, default=20)
    args = p.parse_args()
    make_machine(args) if args.what == "machine" else make_inf(args)


if __name__ == "__main__":
    main()
