#!/usr/bin/env python3
"""Machine images beside running programs, and images and registries that
someone else shaped.

1. Saves beside commands: command 1 creates ports in a loop while qzreg saves
   the machine in a loop. Every image must hold one state the machine had:
   each port of WIN.INI [Ports] with its key, each key with its entry (torn
   images: 0).
2. Loads beside writers: commands (with --wait) and a program outside that
   keeps its SQLite connection open commit in loops while qzreg loads an image
   in a loop. No process may die of a signal, no command may fail, and no
   commit that was reported done may be missing when no load ran meanwhile
   (crashes 0, lost commits 0). A commit on the registry a load swapped out
   is refused, not stored where no one reads it.
3. A program that holds the registry's write lock makes a load refuse (or
   wait with --wait), and its commit stays.
4. Hostile images are refused with the reason, the root untouched: path
   tricks, missing tables and roots, foreign triggers, a damaged machine.ini,
   drive_c as a file, a cycle of keys, keys deeper than Windows allows.
"""

import fcntl
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

import machine

PORTS_KEY = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Ports"
WIN_INI = "drive_c/WINDOWS/WIN.INI"
PROBE_KEY = 3  # values of the outside program go on HKEY_LOCAL_MACHINE itself


def image_ports(path):
    """(ports in WIN.INI [Ports], port keys) of an image file, names upper-cased."""
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        row = db.execute("SELECT data FROM machine_files WHERE path = ?", (WIN_INI,)).fetchone()
        text = bytes(row[0]).decode("latin-1") if row else ""
        keys = {r[0]: (r[1], bytes(r[2]).decode("latin-1")) for r in
                db.execute("SELECT id, parent, upper FROM keys")}
    finally:
        db.close()
    entries, section = set(), None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line.upper()
        elif section == "[PORTS]" and "=" in line:
            entries.add(line.split("=", 1)[0].strip().upper())

    def path_of(key):
        names = []
        while key in keys and len(names) < 600:
            parent, upper = keys[key]
            names.append(upper)
            key = parent
        return "\\".join(reversed(names))

    ports = {path_of(k).rsplit("\\", 1)[1] for k in keys
             if path_of(k).rsplit("\\", 1)[0] == PORTS_KEY.upper()}
    return ({e for e in entries if e.startswith("SV")}, {p for p in ports if p.startswith("SV")})


def saves_beside_commands(m, seconds, faults):
    folder = tempfile.mkdtemp(prefix="qzimages.")
    counts = {"saves": 0, "commands": 0, "torn": 0}
    stop = time.monotonic() + seconds

    def commands():
        n = 0
        while time.monotonic() < stop:
            n += 1
            done = m.run("1 SV%d:" % n, trace=False)
            if done.returncode not in (0, machine.STATUS_RUNNING):
                faults.append("command 1 SV%d: ended %d" % (n, done.returncode))
            counts["commands"] += 1

    def saves():
        n = 0
        while time.monotonic() < stop:
            n += 1
            image = os.path.join(folder, "m%d.qzm" % n)
            done = subprocess.run([m.qzreg, "save", "--wait=10", image], env=m.env,
                                  capture_output=True)
            if done.returncode != 0:
                faults.append("save ended %d: %s" % (done.returncode, done.stderr.strip()))
                continue
            counts["saves"] += 1
            entries, keys = image_ports(image)
            if entries != keys:
                counts["torn"] += 1
                faults.append("image %d is torn: [Ports] only %s, keys only %s" % (
                    n, sorted(entries - keys)[:3], sorted(keys - entries)[:3]))
            os.unlink(image)

    threads = [threading.Thread(target=t) for t in (commands, saves)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    shutil.rmtree(folder, ignore_errors=True)
    if counts["saves"] < 5:
        faults.append("only %d saves ran beside the commands" % counts["saves"])
    return counts


class Outside:
    """A program outside that keeps one connection to the registry, as the
    sqlite3 shell does, and reconnects when its writes are refused."""

    def __init__(self, m):
        self.m = m
        self.db = None

    def connect(self):
        if self.db is not None:
            self.db.close()
        self.db = sqlite3.connect(self.m.path("registry.db"), timeout=30, isolation_level=None)

    def commit(self, name):
        """True when the value was committed, False when the write was refused."""
        if self.db is None:
            self.connect()
        try:
            self.db.execute("BEGIN IMMEDIATE")
            self.db.execute("INSERT INTO vals(key, name, upper, type, data) VALUES(?, ?, ?, 1, ?)",
                            (PROBE_KEY, name.encode(), name.upper().encode(), b"x\0"))
            self.db.execute("COMMIT")
            return True
        except sqlite3.Error:
            if self.db.in_transaction:
                self.db.execute("ROLLBACK")
            self.connect()
            return False


def has_value(m, name):
    db = sqlite3.connect("file:%s?mode=ro" % m.path("registry.db"), uri=True, timeout=30)
    try:
        return db.execute("SELECT 1 FROM vals WHERE key = ? AND upper = ?",
                          (PROBE_KEY, name.upper().encode())).fetchone() is not None
    finally:
        db.close()


def loads_beside_writers(m, image, seconds, faults):
    counts = {"loads": 0, "commands": 0, "outside commits": 0, "refused on a swapped-out registry":
              0, "crashes": 0, "lost commits": 0}
    stop = time.monotonic() + seconds
    lock = threading.Lock()
    loads = {"running": 0, "ended": 0}

    def crashed(what, done):
        if done.returncode < 0:
            with lock:
                counts["crashes"] += 1
                faults.append("%s died of signal %d" % (what, -done.returncode))
            return True
        return False

    def loader():
        while time.monotonic() < stop:
            with lock:
                loads["running"] += 1
            done = subprocess.run([m.qzreg, "load", "--wait=20", image], env=m.env,
                                  capture_output=True)
            with lock:
                loads["running"] -= 1
                loads["ended"] += 1
            if not crashed("load", done) and done.returncode != 0:
                faults.append("load ended %d: %s" % (done.returncode, done.stderr.strip()))
            counts["loads"] += 1
            time.sleep(0.05)

    def commands():
        n = 0
        while time.monotonic() < stop:
            n += 1
            argv = [m.qzinst32, "--no-trace", "--wait=20", "--", "1 LD%d:" % n]
            done = subprocess.run(argv, env=m.env, capture_output=True)
            if not crashed("command 1", done) and done.returncode != 0:
                faults.append("command 1 LD%d: ended %d: %s" % (n, done.returncode,
                                                                 done.stderr.strip()))
            counts["commands"] += 1

    def outside():
        writer, n = Outside(m), 0
        while time.monotonic() < stop:
            n += 1
            name = "Outside%d" % n
            with lock:
                before = (loads["running"], loads["ended"])
            if not writer.commit(name):
                counts["refused on a swapped-out registry"] += 1
                continue
            counts["outside commits"] += 1
            present = has_value(m, name)
            with lock:
                quiet = before[0] == 0 and loads["running"] == 0 and loads["ended"] == before[1]
            if not present and quiet:
                counts["lost commits"] += 1
                faults.append("the outside commit %s is not in the machine" % name)
            time.sleep(0.01)
        writer.db.close()

    threads = [threading.Thread(target=t) for t in (loader, commands, outside)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if counts["loads"] < 5:
        faults.append("only %d loads ran beside the writers" % counts["loads"])
    return counts


def lock_held_across_load(m, image, faults):
    """The sqlite3 shell's case: BEGIN IMMEDIATE, a change, a load, COMMIT."""
    shell = sqlite3.connect(m.path("registry.db"), timeout=30, isolation_level=None)
    try:
        shell.execute("BEGIN IMMEDIATE")
        shell.execute("INSERT INTO vals(key, name, upper, type, data) VALUES(3, ?, ?, 1, ?)",
                      (b"Held", b"HELD", b"x\0"))
        done = subprocess.run([m.qzreg, "load", image], env=m.env, capture_output=True)
        if done.returncode != machine.STATUS_MACHINE_FAILED or b"locked" not in done.stderr:
            faults.append("a load beside a held write lock ended %d: %s" % (
                done.returncode, done.stderr.strip()))
        waiting = subprocess.Popen([m.qzreg, "load", "--wait=20", image], env=m.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(0.5)
        if waiting.poll() is not None:
            faults.append("load --wait did not wait for the write lock (ended %d)" %
                          waiting.returncode)
        shell.execute("COMMIT")
        if waiting.wait() != 0:
            faults.append("load --wait ended %d after the lock was released: %s" % (
                waiting.returncode, waiting.stderr.read().strip()))
        waiting.stderr.close()
        committed_before = True
    finally:
        shell.close()
    # The shell's commit came before the waiting load took the machine: the
    # load replaced it. Refused without --wait, the commit stayed.
    return committed_before


def refused_without_wait(m, image, faults):
    """Another instance holds the machine: load and save end with status 1 at once."""
    fd = os.open(m.path("instance.lock"), os.O_RDWR | os.O_CREAT, 0o600)
    fcntl.flock(fd, fcntl.LOCK_EX)
    try:
        for argv in ([m.qzreg, "load", image], [m.qzreg, "save", image + ".other"],
                     [m.qzreg, "load", "--wait=0.3", image]):
            done = subprocess.run(argv, env=m.env, capture_output=True, timeout=300)
            if done.returncode != machine.STATUS_RUNNING or b"another instance" not in done.stderr:
                faults.append("%s beside another instance ended %d: %s" % (
                    " ".join(argv[1:2]), done.returncode, done.stderr.strip()))
    finally:
        os.close(fd)


def exclusive_lock(m, faults):
    """A program holding the registry in SQLite's exclusive locking mode: runs
    wait as long as --wait says, once, then end with 121 and say the registry
    is locked by another program (not that the disk cannot be written)."""
    holder = subprocess.Popen([sys.executable, "-c", (
        "import sqlite3, sys, time\n"
        "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
        "db.execute('PRAGMA locking_mode=EXCLUSIVE'); db.execute('BEGIN EXCLUSIVE')\n"
        "db.execute('COMMIT'); db.execute('SELECT count(*) FROM keys').fetchone()\n"
        "print('held', flush=True); time.sleep(8)\n"), m.path("registry.db")],
        stdout=subprocess.PIPE)
    try:
        holder.stdout.readline()
        for argv in ([m.qzinst32, "--no-trace", "--wait=1", "1", "EXL1:"],
                     [m.qzreg, "save", "--wait=1", m.root + ".exl.qzm"]):
            done = subprocess.run(argv, env=m.env, capture_output=True, timeout=300)
            if done.returncode != machine.STATUS_MACHINE_FAILED or \
                    b"locked by another program" not in done.stderr:
                faults.append("%s beside an exclusive lock ended %d: %s" % (
                    argv[1], done.returncode, done.stderr.strip()))
            if holder.poll() is not None:
                faults.append("%s waited past the holder's 8 seconds" % argv[1])
    finally:
        holder.kill()
        holder.wait()
        holder.stdout.close()


# --- hostile images --------------------------------------------------------

def hostile(base, name, sql, params=()):
    path = base + "." + name
    shutil.copyfile(base, path)
    db = sqlite3.connect(path)
    db.executescript(sql) if not params else db.execute(sql, params)
    db.commit()
    db.close()
    return path


DEEP = ("WITH RECURSIVE d(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM d WHERE n < 520)"
        " INSERT INTO keys(id, parent, name, upper) SELECT 100000 + n,"
        " CASE n WHEN 1 THEN 3 ELSE 99999 + n END, 'D', 'D' FROM d;")

HOSTILE = [
    ("prefix", "INSERT INTO machine_files VALUES('drive_cevil', 448, NULL);"
               "INSERT INTO machine_files VALUES('drive_cevil/x', 384, x'41');", "drive_cevil"),
    ("dotdot", "INSERT INTO machine_files VALUES('drive_c/../x', 384, x'41');", "drive_c/../x"),
    ("absolute", "INSERT INTO machine_files VALUES('/tmp/qzevil', 384, x'41');", "/tmp/qzevil"),
    ("beside", "INSERT INTO machine_files VALUES('registry.db-wal', 384, x'41');",
     "registry.db-wal"),
    ("nofolder", "INSERT INTO machine_files VALUES('drive_c/none/x', 384, x'41');",
     "not the folder"),
    ("nokeys", "DROP TABLE keys;", "no table keys"),
    ("noformat", "DROP TABLE registry_format;", "registry_format"),
    ("noroot", "DELETE FROM keys WHERE id = 3;", "root"),
    ("trigger", "CREATE TRIGGER evil AFTER INSERT ON vals BEGIN DELETE FROM keys; END;",
     "trigger evil"),
    ("ini", "UPDATE machine_files SET data = CAST('[Machine]\r\nOS=win98\r\n' AS BLOB)"
            " WHERE path = 'machine.ini';", "machine.ini is damaged"),
    ("drivefile", "DELETE FROM machine_files WHERE path LIKE 'drive_c/%';"
                  "UPDATE machine_files SET data = x'41' WHERE path = 'drive_c';",
     "drive_c is a file"),
    ("cycle", "UPDATE keys SET parent = (SELECT max(id) FROM keys WHERE parent > 4) WHERE id ="
              " (SELECT parent FROM keys WHERE id = (SELECT max(id) FROM keys WHERE parent > 4));",
     "below no root"),
    ("orphan", "UPDATE keys SET parent = 987654 WHERE id = (SELECT max(id) FROM keys);",
     "below no root"),
    ("deep", DEEP, "512"),
]


def hostile_images(m, image, faults):
    refused = 0
    before = m.registry()
    listing = sorted(os.listdir(os.path.dirname(m.root)))
    for name, sql, reason in HOSTILE:
        bad = hostile(image, name, sql)
        for argv in ([m.qzreg, "load", bad],):
            done = subprocess.run(argv, env=m.env, capture_output=True)
            err = done.stderr.decode("latin-1")
            if done.returncode != 1 or reason not in err:
                faults.append("hostile image %s: load ended %d: %s" % (name, done.returncode,
                                                                      err.strip()))
            else:
                refused += 1
        fresh = tempfile.mkdtemp(prefix="qzfrom.")
        os.rmdir(fresh)
        done = subprocess.run([m.qzreg, "init", "--from", bad], env=dict(m.env, QZINST_ROOT=fresh),
                              capture_output=True)
        if done.returncode != 1 or os.path.exists(fresh):
            faults.append("hostile image %s: init --from ended %d" % (name, done.returncode))
            shutil.rmtree(fresh, ignore_errors=True)
        os.unlink(bad)
    if os.path.exists("/tmp/qzevil") or os.path.exists(m.path("..", "x")):
        faults.append("a hostile image wrote outside the root")
    try:
        if m.registry() != before:
            faults.append("a refused image changed the machine")
    except (AssertionError, TypeError, sqlite3.Error) as e:
        faults.append("a refused image left a registry that cannot be read: %s" % e)
    strays = sorted(set(os.listdir(os.path.dirname(m.root))) - set(listing))
    if any(os.path.basename(m.root) in s for s in strays):
        faults.append("refused loads left %s" % strays)
    return refused


def damaged_registries(m, faults):
    """A cycle of keys and keys deeper than Windows allows, written by another
    program: every walk ends with 121 and the machine as it was; import and add
    refuse what would be too deep."""
    walks = 0
    cases = {
        "a cycle through a root": "UPDATE keys SET parent = (SELECT max(id) FROM keys) WHERE id = 3",
        "a cycle below a root": "UPDATE keys SET parent = (SELECT max(id) FROM keys) WHERE id ="
                                " (SELECT parent FROM keys WHERE id = (SELECT max(id) FROM keys))",
        "keys 2000 levels deep": DEEP.replace("520", "2000"),
    }
    for name, sql in cases.items():
        c = m.copy(prefix="qzdamaged.")
        with c.database() as db:
            db.executescript(sql)
            db.commit()
        before = c.files()
        for argv in ([c.qzinst32, "--no-trace", "--what-if", "1", "CY1:"],
                     [c.qzinst32, "--no-trace", "--json", "1", "CY1:"],
                     [c.qzreg, "export", "--all"], [c.qzreg, "query", "HKLM", "/s"],
                     [c.qzreg, "save", c.root + ".qzm"]):
            done = subprocess.run(argv, env=c.env, capture_output=True, timeout=300)
            walks += 1
            if argv[1] == "save":  # a damaged machine saves; its image is refused
                done = subprocess.run([c.qzreg, "init", "--from", c.root + ".qzm"],
                                      env=dict(c.env, QZINST_ROOT=c.root + ".from"),
                                      capture_output=True)
                os.unlink(c.root + ".qzm")
                expected = 1
            else:
                expected = machine.STATUS_MACHINE_FAILED
            if done.returncode != expected or b"damaged" not in done.stderr:
                faults.append("%s: %s ended %d: %s" % (name, " ".join(argv[1:4]), done.returncode,
                                                       done.stderr[:200]))
        with c.database() as db:
            if db.execute("SELECT count(*) FROM keys WHERE upper = 'CY1:'").fetchone()[0]:
                faults.append("%s: a refused run stored its port" % name)
        if c.files() - before:
            faults.append("%s: refused runs left %s" % (name, sorted(c.files() - before)))
        c.remove()
    deep = tempfile.NamedTemporaryFile(suffix=".reg", delete=False)
    deep.write(b"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE" + b"\\D" * 100000 + b"]\r\n")
    deep.close()
    for argv in ([m.qzreg, "import", deep.name], [m.qzreg, "add", "HKLM" + "\\D" * 513]):
        done = subprocess.run(argv, env=m.env, capture_output=True, timeout=300)
        if done.returncode != 1 or b"512" not in done.stderr:
            faults.append("%s of keys too deep ended %d: %s" % (argv[1], done.returncode,
                                                                 done.stderr[:200]))
    os.unlink(deep.name)
    return walks


def kill_when(argv, env, appears, faults, what):
    """Starts argv and kills it (SIGKILL) once `appears()` is true; False when
    it ended first (no kill)."""
    p = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while p.poll() is None and time.monotonic() < deadline:
        if appears(p.pid):
            p.kill()
            p.wait()
            return True
        time.sleep(0.002)
    p.wait()
    return False


def killed_leftovers(m, faults):
    """Saves, loads and what-if runs killed in the middle leave temporaries
    that the next save, load or what-if run removes. Returns the kills."""
    kills = 0
    parent = os.path.dirname(m.root)
    base = os.path.basename(m.root)
    tmp = tempfile.mkdtemp(prefix="qztmpdir.")
    env = dict(m.env, TMPDIR=tmp)
    with open(m.drive_c("BIG.BIN"), "wb") as f:
        f.write(os.urandom(1 << 20) * 48)  # a save and a load of some length
    image = m.root + ".big.qzm"
    m.check_call([m.qzreg, "save", image])

    def named(folder, prefix):
        return lambda pid: any(n.startswith(prefix + str(pid) + "-") for n in os.listdir(folder))

    for _ in range(3):
        kills += kill_when([m.qzreg, "save", image + ".2"], env,
                           named(parent, os.path.basename(image) + ".2.qzsave-"), faults, "save")
        kills += kill_when([m.qzreg, "load", image], env, named(parent, base + ".load-"), faults,
                           "load")
        kills += kill_when([m.qzinst32, "--no-trace", "--what-if", "2", "C:\\RT2210.INF",
                            "RT2210", "LPT1:"], env, named(tmp, "qzinst32-whatif-"), faults,
                           "what-if")
    m.check_call([m.qzreg, "save", image + ".2"])
    m.check_call([m.qzreg, "load", image])
    subprocess.run([m.qzinst32, "--no-trace", "--what-if", "259"], env=env, capture_output=True)
    left = [n for n in os.listdir(parent) if n.startswith(base + ".load-") or ".qzsave-" in n
            and n.startswith(os.path.basename(image))]
    left += [n for n in os.listdir(tmp) if n.startswith("qzinst32-whatif-")]
    if left:
        faults.append("killed saves, loads and what-if runs left %s" % left)
    if kills < 3:
        faults.append("only %d of the saves, loads and what-if runs were caught to be killed" % kills)
    for name in (image, image + ".2"):
        os.unlink(name)
    os.unlink(m.drive_c("BIG.BIN"))
    shutil.rmtree(tmp, ignore_errors=True)
    return kills


def what_if_without_machine(args, faults):
    """A what-if run on an empty or a missing root makes nothing there."""
    top = tempfile.mkdtemp(prefix="qzwhatif.")
    empty, missing = os.path.join(top, "empty"), os.path.join(top, "missing")
    os.mkdir(empty)
    for root in (empty, missing):
        env = dict(os.environ, QZINST_ROOT=root)
        done = subprocess.run([os.path.abspath(args.qzinst32), "--no-trace", "--what-if", "1",
                               "WI1:"], env=env, capture_output=True)
        if done.returncode != 0 or b'port "WI1:" added' not in done.stdout:
            faults.append("what-if on %s ended %d: %s" % (os.path.basename(root), done.returncode,
                                                         done.stderr.strip()))
    if os.listdir(empty) or os.path.exists(missing):
        faults.append("what-if made %s in a root without a machine" % (
            os.listdir(empty) or os.listdir(missing)))
    shutil.rmtree(top, ignore_errors=True)


def main():
    args = machine.arguments(__doc__)
    faults = []
    m = machine.Machine(args, prefix="qzimage.")
    folder = tempfile.mkdtemp(prefix="qzimagefiles.")
    image = os.path.join(folder, "base.qzm")
    counts = {}
    try:
        m.prepare()
        m.check_call([m.qzreg, "save", image])
        seconds = min(args.seconds, 5)
        counts["saves beside commands"] = saves_beside_commands(m, seconds, faults)
        counts["loads beside writers"] = loads_beside_writers(m, image, seconds, faults)
        lock_held_across_load(m, image, faults)
        refused_without_wait(m, image, faults)
        exclusive_lock(m, faults)
        counts["hostile images refused"] = hostile_images(m, image, faults)
        counts["walks of damaged registries refused"] = damaged_registries(m, faults)
        counts["killed saves, loads, what-ifs cleaned after"] = killed_leftovers(m, faults)
        what_if_without_machine(args, faults)
        if m.integrity() != ["ok"]:
            faults.append("integrity check: %s" % m.integrity())
    except AssertionError as e:
        faults.append(str(e))
    shutil.rmtree(folder, ignore_errors=True)
    if faults:
        print("FAILED (root %s; %s):\n  %s" % (m.root, counts, "\n  ".join(
            str(f) for f in faults[:20])))
        return 1
    print("images: %s" % counts)
    m.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main())
