#!/usr/bin/env python3
"""Kills: the writing commands killed with SIGKILL at random moments lose nothing.

Every round picks one of the commands that write (1, 2, 3, 4, 5, 257, 258)
and runs it to its end on a copy of the machine, which gives the state it
should reach and how long it takes. The same command is then started on the
machine itself and killed at a random moment within that time. Afterwards:
  - registry.db passes SQLite's integrity check, and no key or value has lost
    its parent (a tree change half made);
  - every key and value is either as it was before or as the finished run
    left it; every profile file holds its old text or its new one, never a
    cut one;
  - the instance guard is free;
  - the command, run again, ends as a finished run on either state ends.
A longer run: kill_test.py --qzinst32 build/host/qzinst32 --qzreg build/host/qzreg --kills 5000
"""

import os
import random
import signal
import sys
import time

import machine


def commands(rng):
    """The command lines of the writing commands, with fresh values each time."""
    return [
        ("1", "1 NETPRN%d:" % rng.randrange(40)),
        ("2", "2 C:\\RT2210.INF RT2210 LPT1:"),
        ("3", "3 C:\\RT2210.INF RT2210 LPT1:"),
        ("4", "4 C:\\PROGRA~1\\HALDEN\\UNINST.EXE -f%d" % rng.randrange(1000)),
        ("5", "5 C:\\QZNET.INI"),
        ("257", "257 C:\\SOURCE%d" % rng.randrange(1000)),
        ("258", "258"),
    ]


def state(m):
    problems = m.integrity()
    if problems != ["ok"]:
        raise AssertionError("integrity check: %s" % problems)
    texts, strays = m.profiles()
    return machine.flatten(m.registry()), texts, strays


def compare(before, after, now, what):
    """Every item of `now` must be its `before` or its `after` one."""
    faults = []
    for item in set(before) | set(after) | set(now):
        if now.get(item) not in (before.get(item), after.get(item)):
            faults.append("%s %r: %r is neither old %r nor new %r" % (
                what, item, now.get(item), before.get(item), after.get(item)))
    return faults


def unsettle_profile(m, rng):
    """Gives command 5 a change to make: another address in the profile file."""
    path = m.drive_c("QZNET.INI")
    text = "; written by the kill test\r\n[Config]\r\nServerAddress=10.0.0.%d\r\nOther=kept\r\n" % (
        rng.randrange(250))
    with open(path + ".new", "w") as f:
        f.write(text)
    os.replace(path + ".new", path)


def one_round(m, rng, counts):
    key, command = rng.choice(commands(rng))
    if key == "5":
        unsettle_profile(m, rng)
    reg0, files0, _ = state(m)

    ref = m.copy()
    try:
        started = time.monotonic()
        done = ref.run(command)
        took = time.monotonic() - started
        reg1, files1, _ = state(ref)
        again = ref.run(command).returncode  # what a run on the finished state gives
    finally:
        ref.remove()

    proc = m.start(command)
    time.sleep(rng.uniform(0, took))
    killed = proc.poll() is None
    if killed:
        proc.kill()
    proc.wait()
    proc.stderr.close()
    counts["killed" if killed else "finished"] += 1
    counts["by_command"][key] = counts["by_command"].get(key, 0) + killed

    reg2, files2, strays = state(m)
    faults = compare(reg0, reg1, reg2, "registry") + compare(files0, files1, files2, "profile")
    if not m.guard_is_free():
        faults.append("the instance guard is still held after the kill")
    for stray in strays:  # an interrupted atomic write leaves its temporary behind
        if not killed:
            faults.append("a run that finished left %s behind" % stray)
        counts["strays"] += 1
        os.unlink(m.drive_c(stray))

    rerun = m.run(command)
    if rerun.returncode not in (done.returncode, again):
        faults.append("run after the kill ended %d, a finished run ends %d or %d: %s" % (
            rerun.returncode, done.returncode, again, rerun.stderr.decode("latin-1")))
    if faults:
        raise AssertionError("after %s killed=%s:\n  %s" % (command, killed, "\n  ".join(faults)))


def main():
    args = machine.arguments(__doc__)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    m = machine.Machine(args, prefix="qzkill.")
    counts = {"killed": 0, "finished": 0, "strays": 0, "by_command": {}}
    try:
        m.prepare()
        rounds = 0
        # A run that ends before its kill is no kill: keep going until enough were.
        # A loaded machine finishes more runs early (their time varies more), so
        # the rounds allowed are generous; too few kills still fail the test.
        while counts["killed"] < args.kills and rounds < args.kills * 8:
            rounds += 1
            one_round(m, rng, counts)
        for _, command in commands(rng):
            done = m.run(command)
            if done.returncode in (machine.STATUS_RUNNING, machine.STATUS_MACHINE_FAILED):
                raise AssertionError("%s after the kills: %d %s" % (
                    command, done.returncode, done.stderr.decode("latin-1")))
    except AssertionError as e:
        print("FAILED (seed %d, root %s): %s" % (seed, m.root, e))
        return 1
    print("seed %d: %d runs killed, %d finished before their kill, nothing lost; "
          "killed per command %s; %d temporary files left by killed writes" % (
              seed, counts["killed"], counts["finished"], counts["by_command"], counts["strays"]))
    m.remove()
    return 0 if counts["killed"] >= args.kills else 1


if __name__ == "__main__":
    sys.exit(main())
