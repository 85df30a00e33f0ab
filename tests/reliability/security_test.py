#!/usr/bin/env python3
"""File modes: the machine root and everything the programs create in it are
readable by their owner only, whatever the umask, and hostile text on the
command line is never taken as a format.

Runs under umask 000, so any mode wider than 0700/0600 would show: the root
and its folders, machine.ini, registry.db with its -wal and -shm (looked at
while a reader holds the database open, so they exist), WIN.INI, the lock
file, and the profile files commands 5 writes.
"""

import os
import stat
import sys

import machine


def wide(path):
    mode = stat.S_IMODE(os.lstat(path).st_mode)
    limit = 0o700 if os.path.isdir(path) else 0o600
    return mode & ~limit & 0o777


def main():
    args = machine.arguments(__doc__)
    os.umask(0)
    faults = []
    m = machine.Machine(args, prefix="qzmodes.")
    try:
        os.rmdir(m.root)
        # A machine made by the program itself on first use, then by its commands.
        for command in ("259", "1 NETPRN1:", "4 C:\\UNINST.EXE -f", "5 C:\\QZNET.INI",
                        "5 NEWPROF.INI"):
            m.run(command)
        m.check_call([m.qzreg, "import", machine.SEED_REG])
        for command in ("5 C:\\QZNET.INI", "5 NEWPROF.INI"):
            done = m.run(command)
            if done.returncode != 0:
                faults.append("%s ended %d" % (command, done.returncode))
        with m.database() as reader:
            reader.execute("SELECT count(*) FROM keys").fetchall()
            files = []
            for folder, dirs, names in os.walk(m.root):
                files.append(folder)
                files += [os.path.join(folder, n) for n in names]
            for path in files:
                if wide(path):
                    faults.append("%s has mode %o" % (os.path.relpath(path, m.root),
                                                     stat.S_IMODE(os.lstat(path).st_mode)))
            seen = {os.path.relpath(p, m.root) for p in files}
        for needed in ("registry.db", "registry.db-wal", "registry.db-shm", "machine.ini",
                       os.path.join("drive_c", "WINDOWS", "WIN.INI"),
                       os.path.join("drive_c", "QZNET.INI"),
                       os.path.join("drive_c", "WINDOWS", "NEWPROF.INI")):
            if needed not in seen:
                faults.append("%s was not there to be checked" % needed)

        # Conversions in the text the program echoes into its trace.
        hostile = "4 %s%s%s%n%n%x%p " + "%s" * 200
        done = m.run(hostile, trace=True)
        if done.returncode < 0:
            faults.append("a command text of conversions killed the program (signal %d)" %
                          -done.returncode)
        elif ("Param=`" + hostile[2:] + "'").encode() not in done.stderr:
            faults.append("the trace does not show the command text as it was given")
    finally:
        m.remove()
    if faults:
        print("FAILED:\n  " + "\n  ".join(faults))
        return 1
    print("root, folders and %d files owner-only under umask 000; conversions in the "
          "command text printed as text" % len(seen))
    return 0


if __name__ == "__main__":
    sys.exit(main())
