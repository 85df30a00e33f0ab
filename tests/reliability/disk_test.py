#!/usr/bin/env python3
"""Full disks, read-only roots and missing folders: a write that cannot be made
fails loudly and loses nothing.

Each writing command gets a change to make on a machine whose earlier state
is known, under three conditions:
  - the machine root on a full file system (a small tmpfs filled up; needs
    root to mount);
  - a read-only root (a read-only bind mount as root, where modes do not stop
    writes; chmod 0500/0400 otherwise);
  - command 5 with a profile path in a folder that does not exist.
Each run must end with a non-zero status, name the failure on standard error
(the trace or the host's message), leave the registry and every profile file
exactly as they were and no file behind (no temporary of an atomic write, in
the root or beside a profile); afterwards the database passes its integrity
check and, with the condition lifted, the same command succeeds and leaves no
temporary either.

A condition that cannot be set up here (no root, no mounts) makes the whole
test report itself skipped (status 77) after running the rest; any fault
fails it.
"""

import contextlib
import os
import re
import subprocess
import sys
import tempfile

import machine

# What the run must say, and what it must not: a full disk or a read-only
# root is not a damaged registry, and calling it one invites deleting it.
CLEAR = {
    "full disk": re.compile(rb"(?i)disk is full|disk full|no space|full"),
    "read-only root": re.compile(rb"(?i)read-only|permission|denied|cannot write|write-protect"),
    "missing folder": re.compile(rb"(?i)fail|not found|no such"),
}
MISLEADING = re.compile(rb"(?i)damaged")

# ctest's SKIP_RETURN_CODE: a condition could not be set up on this machine.
SKIPPED = 77


class CannotSetUp(Exception):
    """The condition a case needs cannot be made here."""


def writing_commands():
    """Each with a change still to make after the baseline below."""
    return [
        "1 NEWPORT9:",
        "2 C:\\RT2210.INF RT2210 LPT1:",
        "3 C:\\RT2210.INF RT2210 LPT1:",
        "4 C:\\UNINST.EXE -changed",
        "5 C:\\QZNET.INI",
        "257 C:\\NEWSOURCE",
        "258",
    ]


def baseline(m):
    """Earlier values for every command to overwrite: a port, an uninstall entry,
    an address, a saved source path."""
    for command in ("1 OLDPORT1:", "4 C:\\UNINST.EXE -old", "257 C:\\OLDSOURCE"):
        done = m.run(command)
        if done.returncode != 0:
            raise AssertionError("baseline %s ended %d" % (command, done.returncode))
    with open(m.drive_c("QZNET.INI"), "w") as f:
        f.write("[Config]\r\nServerAddress=10.9.9.9\r\nOther=kept\r\n")


def snapshot(m):
    texts, _ = m.profiles()
    return machine.flatten(m.registry()), texts


def last_lines(data):
    return data.decode("latin-1").strip().splitlines()[-1:]


def check_refused(m, command, faults, what):
    files = m.files()
    done = m.run(command, trace=True)
    for stray in m.strays(files):
        faults.append("%s: %s left %s behind" % (what, command, stray))
    if done.returncode == 0:
        faults.append("%s: %s ended 0" % (what, command))
    if done.returncode < 0:
        faults.append("%s: %s died of signal %d" % (what, command, -done.returncode))
    if not CLEAR[what].search(done.stderr) or MISLEADING.search(done.stderr):
        faults.append("%s: %s does not say what went wrong: %s" % (
            what, command, last_lines(done.stderr)))
    return done


def compare_exact(m, before, faults, what, command):
    integrity = m.integrity()
    if integrity != ["ok"]:
        faults.append("%s: %s: integrity check %s" % (what, command, integrity))
    after = snapshot(m)
    for part, old, new in (("registry", before[0], after[0]), ("profile", before[1], after[1])):
        for item in set(old) | set(new):
            if old.get(item) != new.get(item):
                faults.append("%s: %s changed %s %r: %r -> %r" % (
                    what, command, part, item, old.get(item), new.get(item)))


def sh(*argv):
    subprocess.run(argv, check=True, capture_output=True)


@contextlib.contextmanager
def small_tmpfs(size_kb):
    point = tempfile.mkdtemp(prefix="qzdisk.")
    try:
        sh("mount", "-t", "tmpfs", "-o", "size=%dk,mode=0700" % size_kb, "tmpfs", point)
    except (subprocess.CalledProcessError, OSError):
        os.rmdir(point)
        raise
    try:
        yield point
    finally:
        subprocess.run(["umount", "-l", point])
        os.rmdir(point)


def fill(folder):
    """Writes until the file system is full; returns the filler's path."""
    path = os.path.join(folder, "filler")
    chunk = b"\0" * 4096
    with open(path, "wb", buffering=0) as f:
        try:
            while True:
                f.write(chunk)
        except OSError:
            pass
        try:
            while True:
                f.write(b"\0")
        except OSError:
            pass
    return path


def run_again(m, command, faults, what):
    """The same command with the condition lifted: it succeeds, leaving no temporary."""
    files = m.files()
    again = m.run(command)
    if again.returncode != 0:
        faults.append("%s: %s once possible again ended %d: %s" % (
            what, command, again.returncode, again.stderr.decode("latin-1")[-300:]))
    for stray in m.strays(files):
        if ".qztmp" in stray:
            faults.append("%s: %s once possible again left %s behind" % (what, command, stray))


def full_disk(args, faults, report):
    if os.geteuid() != 0:
        raise CannotSetUp("mounting a small tmpfs needs root")
    try:
        mount = small_tmpfs(4096)
        point = mount.__enter__()
    except (subprocess.CalledProcessError, OSError) as e:
        raise CannotSetUp("cannot mount a tmpfs: %s" % e)
    try:
        tried = 0
        for command in writing_commands():
            m = machine.Machine(args, root=os.path.join(point, "root"))
            os.mkdir(m.root)
            m.prepare()
            baseline(m)
            before = snapshot(m)  # closing the database folds its log away
            filler = fill(point)
            check_refused(m, command, faults, "full disk")
            os.unlink(filler)
            compare_exact(m, before, faults, "full disk", command)
            run_again(m, command, faults, "full disk")
            m.remove()
            tried += 1
        report.append("full disk: %d commands refused on a full 4 MB tmpfs, nothing lost" % tried)
        full_disk_while_open(args, point, faults, report)
    finally:
        mount.__exit__(None, None, None)


def full_disk_while_open(args, point, faults, report):
    """The registry held open by another reader, so its log and index exist and
    the run gets past opening: the disk fills under writes made mid-command.
    Either the command finds room and ends as it would (0, the finished state),
    or it fails with a non-zero status and each value is old or new."""
    outcomes = {"done": 0, "refused": 0, "silent": 0}
    for command in writing_commands():
        m = machine.Machine(args, root=os.path.join(point, "root"))
        os.mkdir(m.root)
        m.prepare()
        baseline(m)
        before = snapshot(m)
        ref = m.copy()
        ref.run(command)
        finished = snapshot(ref)
        ref.remove()
        with m.database() as reader:
            reader.execute("SELECT count(*) FROM keys").fetchall()
            files = m.files()
            filler = fill(point)
            done = m.run(command, trace=True)
            strays = [f for f in m.strays(files) if ".qztmp" in f]
        os.unlink(filler)
        for stray in strays:
            faults.append("full disk, open registry: %s left %s behind" % (command, stray))
        integrity = m.integrity()
        if integrity != ["ok"]:
            faults.append("full disk, open registry: %s: integrity %s" % (command, integrity))
        now = snapshot(m)
        for part in (0, 1):
            for item in set(before[part]) | set(finished[part]) | set(now[part]):
                if now[part].get(item) not in (before[part].get(item), finished[part].get(item)):
                    faults.append("full disk, open registry: %s: %r is neither old nor new" % (
                        command, item))
        if done.returncode == 0 and now[0] != finished[0]:
            faults.append("full disk, open registry: %s ended 0 without its registry change" %
                          command)
        if done.returncode != 0:
            outcomes["refused"] += 1
        else:
            outcomes["done" if now[0] == finished[0] else "silent"] += 1
        m.remove()
    report.append("full disk under an open registry: %(done)d commands found room, "
                  "%(refused)d refused, %(silent)d ended 0 having written nothing; "
                  "every value old or new" % outcomes)


@contextlib.contextmanager
def read_only(root):
    if os.geteuid() == 0:
        sh("mount", "--bind", root, root)  # CalledProcessError: no mounts here
        try:
            sh("mount", "-o", "remount,bind,ro", root)
            yield "a read-only bind mount"
        finally:
            subprocess.run(["umount", "-l", root])
    else:
        modes = {}
        for folder, dirs, files in os.walk(root):
            for name in [folder] + [os.path.join(folder, f) for f in files]:
                modes[name] = os.stat(name).st_mode & 0o7777
                os.chmod(name, 0o500 if os.path.isdir(name) else 0o400)
        try:
            yield "modes 0500/0400"
        finally:
            for name, mode in sorted(modes.items()):
                os.chmod(name, mode | 0o700 if os.path.isdir(name) else mode)


def read_only_root(args, faults, report):
    how = None
    tried = 0
    for command in writing_commands():
        m = machine.Machine(args, prefix="qzro.")
        m.prepare()
        baseline(m)
        before = snapshot(m)
        try:
            with read_only(m.root) as how:
                check_refused(m, command, faults, "read-only root")
        except subprocess.CalledProcessError as e:
            m.remove()
            raise CannotSetUp("root, but cannot mount: %s" % e)
        compare_exact(m, before, faults, "read-only root", command)
        run_again(m, command, faults, "read-only root")
        m.remove()
        tried += 1
    report.append("read-only root (%s): %d commands refused, nothing lost" % (how, tried))


def read_only_words(args, faults, report):
    """On a read-only root every refusal says that the root is read-only, not
    only "access denied" or "error 5": qzreg add and import, command 5's
    profile, and a what-if run (which predicts the run's own failure)."""
    m = machine.Machine(args, prefix="qzrow.")
    m.prepare()
    reg = os.path.join(os.path.dirname(m.root), os.path.basename(m.root) + ".reg")
    with open(reg, "wb") as f:
        f.write(b"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QzReadOnly]\r\n")
    runs = [[m.qzreg, "add", "HKLM\\Software\\QzReadOnly"], [m.qzreg, "import", reg],
            [m.qzinst32, "--no-trace", "5 C:\\QZNET.INI"],
            [m.qzinst32, "--no-trace", "--what-if", "1 ROPORT1:"]]
    try:
        with read_only(m.root) as how:
            for argv in runs:
                done = subprocess.run(argv, env=m.env, capture_output=True)
                if b"is read-only" not in done.stderr:
                    faults.append("read-only root: %s says %r" % (" ".join(argv[1:3]),
                                                                  done.stderr.strip()[-200:]))
    except subprocess.CalledProcessError as e:
        raise CannotSetUp("root, but cannot mount: %s" % e)
    finally:
        os.unlink(reg)
        m.remove()
    report.append("read-only root (%s): %d refusals say so" % (how, len(runs)))


def missing_folder(args, faults, report):
    m = machine.Machine(args, prefix="qzmiss.")
    m.prepare()
    baseline(m)
    before = snapshot(m)
    command = "5 C:\\NO SUCH FOLDER\\QZNET.INI"
    check_refused(m, command, faults, "missing folder")
    compare_exact(m, before, faults, "missing folder", command)
    if os.path.exists(m.drive_c("NO SUCH FOLDER")):
        faults.append("missing folder: the folder was created")
    m.remove()
    report.append("profile in a missing folder: refused, nothing created")


def main():
    args = machine.arguments(__doc__)
    faults, report, skipped = [], [], []
    for case in (full_disk, read_only_root, read_only_words, missing_folder):
        try:
            case(args, faults, report)
        except AssertionError as e:
            faults.append("%s: %s" % (case.__name__, e))
        except CannotSetUp as e:
            skipped.append("%s: %s" % (case.__name__, e))
    print("\n".join(report))
    if faults:
        print("FAILED:\n  " + "\n  ".join(faults[:40]))
        return 1
    if skipped:
        print("SKIPPED, could not set up:\n  " + "\n  ".join(skipped))
        return SKIPPED
    return 0


if __name__ == "__main__":
    sys.exit(main())
