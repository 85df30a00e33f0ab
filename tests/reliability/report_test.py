#!/usr/bin/env python3
"""The report's spooler part against the listings.

Random sequences of steps on a Windows 98 and a Windows NT machine: commands
run with --json, and changes made outside the program (qzreg add and delete of
the spooler's keys, WIN.INI edited by hand, monitors without their DLL that
get one later). Around every command the five listings are read (monitors with
--all); the report's spooler part must be exactly their difference: each
object listed after but not before "added", before but not after "removed",
in both with other columns "changed", and nothing else.
"""

import json
import os
import random
import subprocess
import sys

import machine

PRINT = "HKLM\\System\\CurrentControlSet\\Control\\Print"
NT_PORTS = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
PRINTER = "Halden RT-2210 Series"
LISTINGS = (("printers", "printer"), ("drivers", "driver"), ("monitors", "monitor"),
            ("processors", "print processor"), ("ports", "port"))
QUALIFIED = ("driver", "print processor")  # objects whose environment the report names


def listed(m):
    """{(object, NAME, environment): other columns} of the five listings."""
    objects = {}
    for command, kind in LISTINGS:
        argv = [m.qzreg, command, "--json"] + (["--all"] if command == "monitors" else [])
        for row in json.loads(m.check_call(argv)):
            env = row.pop("environment", None) or ""
            name = row.pop("name")
            columns = {k: ("" if v is None else str(v).lower() if isinstance(v, bool) else str(v))
                       for k, v in row.items()}
            objects[(kind, name.upper(), env)] = columns
    return objects


def expected(before, after):
    changes = set()
    for key, columns in after.items():
        env = key[2] if key[0] in QUALIFIED else ""
        if key not in before:
            changes.add(("added", key[0], key[1], env))
        elif before[key] != columns:
            changes.add(("changed", key[0], key[1], env))
    for key in before:
        if key not in after:
            changes.add(("removed", key[0], key[1], key[2] if key[0] in QUALIFIED else ""))
    return changes


def reported(stdout):
    report = json.loads(stdout)
    return {(c["action"], c["object"], c["name"].upper(), c.get("environment", ""))
            for c in report["changes"] if c["area"] == "spooler"}


def qzreg(m, *argv):
    subprocess.run([m.qzreg] + list(argv), env=m.env, capture_output=True)


def outside_step(m, rng, nt, n):
    """One change of the spooler's keys or WIN.INI made without the program."""
    choice = rng.randrange(7)
    port = "KP%d:" % rng.randrange(6)
    monitor = "Outside Monitor %d" % rng.randrange(3)
    if choice == 0:
        if nt:
            qzreg(m, "add", NT_PORTS, "/v", port, "/d", "", "/f")
        else:
            qzreg(m, "add", PRINT + "\\Ports\\" + port)
    elif choice == 1:
        if nt:
            qzreg(m, "delete", NT_PORTS, "/v", port, "/f")
        else:
            qzreg(m, "delete", PRINT + "\\Ports\\" + port, "/f")
    elif choice == 2:  # a monitor without its DLL, claiming a port
        qzreg(m, "add", PRINT + "\\Monitors\\" + monitor + "\\Ports\\MP%d:" % n)
    elif choice == 3:  # ... which gets its DLL later
        qzreg(m, "add", PRINT + "\\Monitors\\" + monitor, "/v", "Driver", "/d", "out.dll", "/f")
    elif choice == 4:
        qzreg(m, "delete", PRINT + "\\Printers\\" + PRINTER, "/f")
    elif choice == 5 and not nt:  # WIN.INI [Ports] edited by hand
        path = m.drive_c("WINDOWS", "WIN.INI")
        with open(path, "rb") as f:
            text = f.read()
        entry = b"KW%d:=\r\n" % rng.randrange(4)
        if b"[Ports]\r\n" in text:
            text = text.replace(b"[Ports]\r\n", b"[Ports]\r\n" + entry, 1)
        else:
            text += b"\r\n[Ports]\r\n" + entry
        with open(path, "wb") as f:
            f.write(text)
    else:
        qzreg(m, "add", PRINT + "\\Environments\\Windows 4.0\\Print Processors\\OutProc",
              "/v", "Driver", "/d", "outproc.dll", "/f")


def command_step(rng, nt):
    port = rng.choice(["LPT1:", "RP%d:" % rng.randrange(5), "KP%d:" % rng.randrange(6),
                       "MP1:", "KW1:"])
    return rng.choice(["1 RP%d:" % rng.randrange(5),
                       "1 " + port,
                       "2 C:\\RT2210.INF RT2210 " + port,
                       "2 C:\\RT2210.INF RT2210 " + port,
                       "4 C:\\UNINST.EXE -f",
                       "259"])


def sequence(args, osname, seed, steps, faults):
    rng = random.Random(seed)
    m = machine.Machine(args, prefix="qzreport.")
    checked = 0
    try:
        m.prepare(osname)
        nt = osname == "nt"
        for n in range(steps):
            if rng.random() < 0.5:
                outside_step(m, rng, nt, n)
            command = command_step(rng, nt)
            before = listed(m)
            done = subprocess.run([m.qzinst32, "--no-trace", "--json", "--", command],
                                  env=m.env, capture_output=True)
            if done.returncode < 0 or done.returncode >= 120:
                faults.append("%s seed %d: %s ended %d: %s" % (osname, seed, command,
                                                              done.returncode, done.stderr[:200]))
                continue
            after = listed(m)
            want, got = expected(before, after), reported(done.stdout)
            checked += 1
            if want != got:
                faults.append("%s seed %d step %d %s: listings say %s, the report %s" % (
                    osname, seed, n, command, sorted(want - got), sorted(got - want)))
    finally:
        m.remove()
    return checked


def listings_beside_changes(args, faults):
    """A monitor key without its DLL is no monitor of monitors --all; and a
    port listing while WIN.INI [Ports] grows between EnumPortsA's two calls
    is whole, never error 122. Returns the listings read."""
    m = machine.Machine(args, prefix="qzlisting.")
    reads = 0
    try:
        m.prepare("nt")
        qzreg(m, "add", PRINT + "\\Monitors\\No DLL Monitor\\Ports\\ND1:")
        names = [r["name"] for r in json.loads(m.check_call([m.qzreg, "monitors", "--all",
                                                             "--json"]))]
        if "No DLL Monitor" in names:
            faults.append("monitors --all lists a monitor key without a Driver value")
        m.remove()
        m = machine.Machine(args, prefix="qzlisting.")
        m.prepare("win98")
        path = m.drive_c("WINDOWS", "WIN.INI")
        with open(path, "rb") as f:  # a long list, read twice by each listing
            text = f.read()
        with open(path, "wb") as f:
            f.write(text.replace(b"[Ports]\r\n", b"[Ports]\r\n" + b"".join(
                b"LONG%d:=\r\n" % i for i in range(3000)), 1))
        stop = [False]

        def grow():
            n = 0
            while not stop[0]:
                n += 1
                with open(path, "rb") as f:
                    text = f.read()
                text = text.replace(b"[Ports]\r\n", b"[Ports]\r\nGW%d:=\r\n" % n, 1)
                with open(path + ".new", "wb") as f:
                    f.write(text)
                os.replace(path + ".new", path)

        import threading
        writer = threading.Thread(target=grow)
        writer.start()
        try:
            for _ in range(150):
                done = subprocess.run([m.qzreg, "ports"], env=m.env, capture_output=True)
                reads += 1
                if done.returncode != 0:
                    faults.append("ports beside a growing [Ports] ended %d: %s" % (
                        done.returncode, done.stderr.strip()))
                    break
        finally:
            stop[0] = True
            writer.join()
    finally:
        m.remove()
    return reads


def main():
    args = machine.arguments(__doc__)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    faults = []
    checked = 0
    for osname in ("win98", "nt"):
        checked += sequence(args, osname, seed, 40, faults)
    reads = listings_beside_changes(args, faults)
    if faults:
        print("FAILED (seed %d):\n  %s" % (seed, "\n  ".join(faults[:20])))
        return 1
    print("report's spooler part equal to the listings' difference in %d runs (seed %d); %d port"
          " listings beside a growing [Ports], all whole" % (checked, seed, reads))
    return 0


if __name__ == "__main__":
    sys.exit(main())
