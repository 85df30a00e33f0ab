"""Shared helpers of the reliability tests: machine roots, runs, snapshots."""

import argparse
import fcntl
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from package_files import place_example_package  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXAMPLE_INF = os.path.join(SOURCE, "examples", "rt2210.inf")
SEED_REG = os.path.join(HERE, "seed.reg")

# Host exit statuses (README): 1 another instance, 121 unusable root.
STATUS_RUNNING = 1
STATUS_MACHINE_FAILED = 121

# Files of the machine root that come and go with runs: the registry's log and
# shared-memory index (kept between runs), the instance guard, the settings.
MACHINE_FILES = {"registry.db", "registry.db-wal", "registry.db-shm", "instance.lock",
                 "machine.ini"}

# Root ids of the registry database's predefined keys.
ROOT_NAMES = {1: "HKEY_CLASSES_ROOT", 2: "HKEY_CURRENT_USER", 3: "HKEY_LOCAL_MACHINE",
              4: "HKEY_USERS"}


def arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--qzinst32", required=True)
    parser.add_argument("--qzreg", required=True)
    parser.add_argument("--kills", type=int, default=300, help="kill runs (kill test only)")
    parser.add_argument("--seed", type=int, default=None, help="random seed")
    parser.add_argument("--crowd", type=int, default=32, help="instances started at once")
    parser.add_argument("--seconds", type=float, default=8, help="length of the concurrent phase")
    return parser.parse_args()


class Machine:
    """One machine root with the programs that work on it."""

    def __init__(self, args, root=None, prefix="qzrel."):
        self.qzinst32 = os.path.abspath(args.qzinst32)
        self.qzreg = os.path.abspath(args.qzreg)
        self.root = root or tempfile.mkdtemp(prefix=prefix)
        self.env = dict(os.environ, QZINST_ROOT=self.root)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def drive_c(self, *parts):
        return os.path.join(self.root, "drive_c", *parts)

    def prepare(self, osname="win98"):
        """A fresh machine with the seed keys, the example INF at C:\\RT2210.INF and the
        package's files where its setup copies them."""
        os.rmdir(self.root)  # qzreg init refuses nothing, but makes the root itself
        self.check_call([self.qzreg, "init", "--os", osname])
        self.check_call([self.qzreg, "import", SEED_REG])
        shutil.copyfile(EXAMPLE_INF, self.drive_c("RT2210.INF"))
        place_example_package(self.root, osname)

    def check_call(self, argv):
        done = subprocess.run(argv, env=self.env, capture_output=True)
        if done.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (" ".join(argv), done.returncode,
                                                        done.stderr.decode("latin-1")))
        return done.stdout

    def run(self, command, trace=False, **kwargs):
        """Runs one command line to its end; returns the CompletedProcess."""
        argv = [self.qzinst32] + ([] if trace else ["--no-trace"]) + ["--", command]
        return subprocess.run(argv, env=self.env, capture_output=True, **kwargs)

    def start(self, command, trace=False):
        argv = [self.qzinst32] + ([] if trace else ["--no-trace"]) + ["--", command]
        return subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)

    def copy(self, prefix="qzrel.ref."):
        """A copy of the whole root (no process may be running on it)."""
        target = tempfile.mkdtemp(prefix=prefix)
        os.rmdir(target)
        shutil.copytree(self.root, target, symlinks=True)
        clone = Machine.__new__(Machine)
        clone.qzinst32, clone.qzreg, clone.root = self.qzinst32, self.qzreg, target
        clone.env = dict(os.environ, QZINST_ROOT=target)
        return clone

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def guard_is_free(self):
        """True when no process holds the instance guard of this root."""
        path = self.path("instance.lock")
        if not os.path.exists(path):
            return True
        fd = os.open(path, os.O_RDONLY)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return True
        except BlockingIOError:
            return False
        finally:
            os.close(fd)  # closing drops the lock

    # --- what the machine holds -------------------------------------------

    def integrity(self):
        with self.database() as db:
            return [row[0] for row in db.execute("PRAGMA integrity_check")]

    def database(self):
        uri = "file:%s?mode=rw" % self.path("registry.db")
        db = sqlite3.connect(uri, uri=True, timeout=30)
        return _Closing(db)

    def registry(self):
        """{key path: {value name: (type, data)}}, names upper-cased.

        Raises AssertionError for a key or value whose parent is gone: a
        tree change that was only half made.
        """
        with self.database() as db:
            keys = {row[0]: (row[1], bytes(row[2])) for row in
                    db.execute("SELECT id, parent, upper FROM keys")}
            paths = {}

            def path_of(key_id, depth=0):
                if key_id in ROOT_NAMES:
                    return ROOT_NAMES[key_id]
                if key_id in paths:
                    return paths[key_id]
                if key_id not in keys or depth > 512:
                    raise AssertionError("key %r has no parent chain" % key_id)
                parent, upper = keys[key_id]
                paths[key_id] = path_of(parent, depth + 1) + "\\" + upper.decode("latin-1")
                return paths[key_id]

            tree = {path_of(k): {} for k in keys}
            for key, upper, vtype, data in db.execute("SELECT key, upper, type, data FROM vals"):
                if key not in keys and key not in ROOT_NAMES:
                    raise AssertionError("value %r of a missing key %r" % (bytes(upper), key))
                tree.setdefault(path_of(key), {})[bytes(upper).decode("latin-1")] = \
                    (vtype, bytes(data))
            return tree

    def files(self):
        """Every file below the root, as paths relative to it."""
        found = set()
        for folder, _, names in os.walk(self.root):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.root))
        return found

    def strays(self, before):
        """Files that are not in `before` (a files() of earlier) and not the
        machine's own, and every temporary of an atomic write wherever it is:
        a refused or finished write leaves neither behind."""
        now = self.files()
        return sorted((now - before - MACHINE_FILES) |
                      {f for f in now if ".qztmp" in os.path.basename(f)})

    def profiles(self):
        """{path below drive_c: bytes} of every file but the INF and stray temporaries."""
        texts, strays = {}, []
        top = self.drive_c()
        for folder, _, files in os.walk(top):
            for name in files:
                full = os.path.join(folder, name)
                rel = os.path.relpath(full, top)
                if ".qztmp" in name:
                    strays.append(rel)
                elif not name.upper().endswith(".INF"):
                    with open(full, "rb") as f:
                        texts[rel] = f.read()
        return texts, strays


class _Closing:
    def __init__(self, db):
        self.db = db

    def __enter__(self):
        return self.db

    def __exit__(self, *exc):
        self.db.close()


def flatten(tree):
    """{(key, value name or None for the key itself): data} for comparing."""
    items = {}
    for key, values in tree.items():
        items[(key, None)] = True
        for name, value in values.items():
            items[(key, name)] = value
    return items
