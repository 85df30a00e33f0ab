#!/usr/bin/env python3
"""Every option and command a program's --help names is in its man page.

Usage: manpage_test.py MANDIR QZINST32 QZREG
"""
import os
import re
import subprocess
import sys


def page_text(path):
    """The man page as a reader sees it: roff's escaped hyphens plain."""
    with open(path, encoding="utf-8") as f:
        return f.read().replace("\\-", "-").replace("\\e", "\\")


def help_words(program, with_commands):
    """The options of --help (and, for qzreg, its command names)."""
    done = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise SystemExit("%s --help failed with %d" % (program, done.returncode))
    words = set(re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", done.stdout))
    if with_commands:
        words |= set(re.findall(r"^  ([a-z]+)\b", done.stdout, re.M))
    return words


def main():
    mandir, qzinst32, qzreg = sys.argv[1:4]
    failures = 0
    for program, with_commands in ((qzinst32, False), (qzreg, True)):
        name = os.path.basename(program)
        page = page_text(os.path.join(mandir, name + ".1"))
        words = help_words(program, with_commands)
        if len(words) < 3:
            print("FAIL: %s --help names too few options to check: %s" % (name, sorted(words)))
            failures += 1
        for word in sorted(words):
            if not re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", page):
                print("FAIL: %s: '%s' is in --help but not in the man page" % (name, word))
                failures += 1
    if failures == 0:
        print("man pages: every option of --help is documented")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
