#!/usr/bin/env python3
"""Crowds: many instances on one machine root, and qzreg beside qzinst32.

1. A crowd of instances released at once: the one that takes the instance
   guard is frozen (SIGSTOP) while it holds it, and every other one must end
   with status 1 (result 256) while it is frozen, that is at once and without
   waiting for the guard. The frozen one then finishes its command normally.
2. qzinst32 writing in a loop while qzreg imports (each import a change of
   several keys in one file) and other qzreg processes export and list: no
   process ever fails with "database is locked", every export shows one import
   whole and never a mixture, and every value qzinst32 wrote is whole.
A larger crowd: crowd_test.py --qzinst32 ... --qzreg ... --crowd 256
"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

import machine

# The crowd's command reads a long INF (the example's sections after 8 MB of
# comments), so the instance holding the guard is still at work when it is
# looked for: a command of a few milliseconds may end before it is caught.
WRITING_COMMAND = "2 C:\\CROWD.INF RT2210 LPT1:"
PADDING_LINES = 170_000
CROWD_KEY = "HKEY_LOCAL_MACHINE\\Software\\QzCrowd"
MARKED_VALUES = 8
# Enough keys that one export takes longer than a moment, so a reader that
# does not read from one snapshot has the time to see an import land.
MARKED_KEYS = 1500
UNINSTALL_KEY = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "Halden RT-2210 Series")


def lock_holders(path):
    """Pids holding a flock on `path`, from /proc/locks."""
    st = os.stat(path)
    wanted = "%02x:%02x:%d" % (os.major(st.st_dev), os.minor(st.st_dev), st.st_ino)
    holders = set()
    with open("/proc/locks") as f:
        for line in f:
            fields = line.split()
            if "FLOCK" in fields and "->" not in fields and wanted in fields:
                holders.add(int(fields[fields.index(wanted) - 1]))
    return holders


def crowd_round(m, size):
    """One release of `size` instances. Returns (winner status, loser statuses) or None
    when the winner finished before it could be frozen (the round proves nothing)."""
    # Each instance waits behind a shell's read of one pipe; closing the pipe
    # releases them all at once.
    gate_r, gate_w = os.pipe()
    argv = ["/bin/sh", "-c", 'read _ignored; exec "$0" "$@"', m.qzinst32, "--no-trace", "--",
            WRITING_COMMAND]
    procs = [subprocess.Popen(argv, env=m.env, stdin=gate_r, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE) for _ in range(size)]
    os.close(gate_r)
    pids = {p.pid: p for p in procs}
    lock = m.path("instance.lock")
    os.close(gate_w)
    winner = None
    deadline = time.monotonic() + 10
    while winner is None and time.monotonic() < deadline:
        for pid in lock_holders(lock) & set(pids):
            os.kill(pid, signal.SIGSTOP)
            if pid in lock_holders(lock):
                winner = pids[pid]
                break
            else:
                os.kill(pid, signal.SIGCONT)
        if all(p.poll() is not None for p in procs):
            break
    try:
        if winner is None:
            return None
        # Ones that ended before the freeze may have held the guard alone
        # before the frozen one took it; they prove nothing either way.
        early = [p for p in procs if p is not winner and p.poll() is not None]
        if any(p.returncode not in (0, machine.STATUS_RUNNING) for p in early):
            return winner, [p.returncode for p in early]
        losers = [p for p in procs if p is not winner and p not in early]
        # A refused instance ends within a millisecond or two: on a busy
        # machine most may be gone before the holder is caught.
        if len(losers) < max(1, size // 8):
            return None  # too few were still starting: release again
        statuses = []
        deadline = time.monotonic() + 60
        for p in losers:
            try:
                statuses.append(p.wait(timeout=max(0.1, deadline - time.monotonic())))
            except subprocess.TimeoutExpired:
                statuses.append("still running while the guard's holder is frozen")
        return winner, statuses
    finally:
        if winner is not None:
            winner.send_signal(signal.SIGCONT)
        for p in procs:
            p.wait()
            p.stderr.close()


def check_crowd(m, size, faults):
    """Returns (releases needed, instances refused while the holder was frozen)."""
    for attempt in range(40):
        outcome = crowd_round(m, size)
        if outcome is None:
            continue
        winner, statuses = outcome
        wrong = [s for s in statuses if s != machine.STATUS_RUNNING]
        if wrong:
            faults.append("crowd of %d: others ended %s, not all 1" % (size, sorted(map(str, wrong))))
        if winner.returncode != 0:
            faults.append("crowd of %d: the working instance ended %d" % (size, winner.returncode))
        if not m.guard_is_free():
            faults.append("crowd of %d: the guard is held after everyone ended" % size)
        return attempt + 1, len(statuses)
    faults.append("crowd of %d: the guard's holder was never caught holding it" % size)
    return 0, 0


# --- qzreg beside qzinst32 ---------------------------------------------------

def marked_reg(marker):
    lines = ["REGEDIT4", "", "[-%s\\Tree]" % CROWD_KEY, "", "[%s]" % CROWD_KEY]
    lines += ['"V%d"="%s"' % (i, marker) for i in range(MARKED_VALUES)]
    for k in range(MARKED_KEYS):
        lines += ["", "[%s\\Tree\\K%d]" % (CROWD_KEY, k), '"Mark"="%s"' % marker]
    return "\r\n".join(lines) + "\r\n"


def check_export(text, faults):
    marks = re.findall(r'^"(?:V\d+|Mark)"="([^"]*)"', text, re.M)
    if len(marks) != MARKED_VALUES + MARKED_KEYS or len(set(marks)) != 1:
        seen = {mark: marks.count(mark) for mark in set(marks)}
        faults.append("export shows half an import: %d values, marks %s" % (len(marks), seen))


def check_uninstall(text, faults):
    values = re.findall(r'^"UninstallString"="(.*)"\s*$', text, re.M)
    if len(values) != 1:
        faults.append("the product key shows %d UninstallString values" % len(values))
    for value in values:
        if not re.fullmatch(r"C:\\\\UNINST\.EXE -f(\d+) x+ END\1", value):
            faults.append("a cut UninstallString: %r" % value[:80])


def side_by_side(m, seconds, faults):
    files = []
    for marker in ("first", "second"):
        fd, name = tempfile.mkstemp(suffix=".reg")
        os.write(fd, marked_reg(marker).encode())
        os.close(fd)
        files.append(name)
    counts = {"qzinst32": 0, "import": 0, "export": 0, "listing": 0}
    stop = time.monotonic() + seconds
    lock = threading.Lock()

    def note(kind, done, check=None):
        err = done.stderr.decode("latin-1")
        with lock:
            counts[kind] += 1
            if "locked" in err or "busy" in err:
                faults.append("%s: %s" % (kind, err.strip()))
            elif done.returncode != 0:
                faults.append("%s ended %d: %s" % (kind, done.returncode, err.strip()))
            elif check:
                check(done.stdout.decode("latin-1"), faults)

    def writer():
        n = 0
        while time.monotonic() < stop:
            n += 1
            command = "4 C:\\UNINST.EXE -f%d %s END%d" % (n, "x" * (n * 37 % 900 + 1), n)
            note("qzinst32", m.run(command, trace=False))

    def importer():
        n = 0
        while time.monotonic() < stop:
            n += 1
            note("import", subprocess.run([m.qzreg, "import", files[n % 2]], env=m.env,
                                          capture_output=True))

    def exporter():
        while time.monotonic() < stop:
            done = subprocess.run([m.qzreg, "export", CROWD_KEY], env=m.env, capture_output=True)
            if done.returncode == 1 and b"not" in done.stderr and counts["import"] == 0:
                continue  # before the first import the key is not there yet
            note("export", done, check_export)
            done = subprocess.run([m.qzreg, "export", UNINSTALL_KEY], env=m.env,
                                  capture_output=True)
            note("export", done, check_uninstall)

    def lister():
        while time.monotonic() < stop:
            for what in ("printers", "ports", "drivers"):
                note("listing", subprocess.run([m.qzreg, what], env=m.env, capture_output=True))

    subprocess.run([m.qzreg, "import", files[0]], env=m.env, check=True, capture_output=True)
    if m.run("4 C:\\UNINST.EXE -f0 x END0").returncode != 0:
        faults.append("command 4 does not work alone")
    threads = [threading.Thread(target=t) for t in (writer, importer, exporter, exporter, lister)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for name in files:
        os.unlink(name)
    return counts


def main():
    args = machine.arguments(__doc__)
    size = args.crowd
    m = machine.Machine(args, prefix="qzcrowd.")
    faults = []
    tries, refused, counts = 0, 0, {}
    try:
        m.prepare()
        with open(machine.EXAMPLE_INF, "rb") as f:
            example = f.read()
        with open(m.drive_c("CROWD.INF"), "wb") as f:
            f.write(b"; padding that makes the crowd's command last\r\n" * PADDING_LINES + example)
        if m.run(WRITING_COMMAND).returncode != 0:
            faults.append("the command the crowd runs does not work alone")
        tries, refused = check_crowd(m, size, faults)
        counts = side_by_side(m, args.seconds, faults)
        integrity = m.integrity()
        if integrity != ["ok"]:
            faults.append("integrity check: %s" % integrity)
    except AssertionError as e:
        faults.append(str(e))
    if faults:
        print("FAILED (root %s; %s):\n  %s" % (m.root, counts, "\n  ".join(faults[:20])))
        return 1
    print("crowd of %d: one worked, the %d still starting when it was frozen holding the guard "
          "all ended with 256 (%d release(s)); beside it: %s, no lock errors, no half changes" % (
              size, refused, tries, counts))
    m.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main())
