#!/usr/bin/env python3
"""qzreg's value data through its verbs: what `add` stores (strings with their
terminator) as `export` writes it, and `query --json` as a CI step reads it
(strings up to their first NUL, a list's items joined by the two characters
backslash and zero, text in Unicode from the machine's code page).

Usage: qzreg_data_test.py QZREG
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

QZREG = None
KEY = "HKLM\\Software\\Halden"
FULL = "HKEY_LOCAL_MACHINE\\Software\\Halden"


class Machine:
    def __init__(self, *init):
        self.root = tempfile.mkdtemp(prefix="qzregdata.")
        self.env = dict(os.environ, QZINST_ROOT=os.path.join(self.root, "m"))
        self.ok("init", *init)

    def run(self, *args, stdin=None):
        return subprocess.run([QZREG] + list(args), env=self.env, capture_output=True,
                              input=stdin)

    def ok(self, *args, stdin=None):
        done = self.run(*args, stdin=stdin)
        assert done.returncode == 0, (args, done.stderr)
        return done.stdout

    def lines(self, *args):
        """The export's lines as bytes, without their CRLF."""
        return self.ok(*args).decode("latin-1").split("\r\n")

    def query_json(self, *args):
        out = self.ok("query", *args, "--json")
        return out, json.loads(out)

    def remove(self):
        shutil.rmtree(self.root)


class AddThenExport(unittest.TestCase):
    def setUp(self):
        self.m = Machine("--bare")

    def tearDown(self):
        self.m.remove()

    def test_strings_added_keep_their_terminator(self):
        self.m.ok("add", KEY, "/v", "Name", "/d", "RT-2210")
        self.m.ok("add", KEY, "/v", "Empty", "/d", "")
        self.m.ok("add", KEY, "/ve", "/d", "dflt")
        self.m.ok("add", KEY, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%W%\\x")
        self.m.ok("add", KEY, "/v", "Ports", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "a,b")
        lines = self.m.lines("export", KEY)
        self.assertEqual(lines[2:8], [
            "[" + FULL + "]",
            '"Name"="RT-2210"',
            '"Empty"=""',
            '@="dflt"',
            '"Path"=hex(2):25,57,25,5c,78,00',
            '"Ports"=hex(7):61,00,62,00,00',
        ], lines)
        # A string stored without its terminator would only show as hex(1).
        self.assertNotIn("hex(1)", "\n".join(lines))

    def test_an_export_of_added_values_imports_as_the_same(self):
        self.m.ok("add", KEY, "/v", "Name", "/d", "RT-2210")
        self.m.ok("add", KEY + "\\Sub", "/v", "Level", "/t", "REG_DWORD", "/d", "42")
        exported = self.m.ok("export", KEY)
        copy = Machine("--bare")
        try:
            copy.ok("import", "-", stdin=exported)
            self.assertEqual(copy.ok("export", KEY), exported)
            out, rows = copy.query_json(KEY, "/v", "Name")
            self.assertEqual(rows[0]["data"], "RT-2210")
        finally:
            copy.remove()


class QueryJson(unittest.TestCase):
    def setUp(self):
        self.m = Machine("--bare")
        self.m.ok("import", "-", stdin=(
            b"REGEDIT4\r\n\r\n[" + FULL.encode() + b"]\r\n"
            b'"Nul"=hex(1):61,00,62,00\r\n'          # "a", NUL, "b", NUL
            b'"Bare"=hex(1):61,62\r\n'               # no terminator
            b'"List"=hex(7):61,00,00,62,00,00\r\n'   # "a", "", "b"
            b'"Price"="\x80 5"\r\n'                  # the euro sign of code page 1252
            b'"Level"=dword:0000002a\r\n'
            b"[" + FULL.encode() + b"\\Sub]\r\n"
            b'"Deep"="d"\r\n'))

    def tearDown(self):
        self.m.remove()

    def data(self, name):
        out, rows = self.m.query_json(KEY, "/v", name)
        self.assertNotIn(b"\\u0000", out)
        self.assertEqual(len(rows), 1, out)
        self.assertEqual((rows[0]["key"], rows[0]["name"]), (FULL, name))
        return rows[0]["type"], rows[0]["data"]

    def test_strings_end_at_their_first_nul(self):
        self.assertEqual(self.data("Nul"), ("REG_SZ", "a"))
        self.assertEqual(self.data("Bare"), ("REG_SZ", "ab"))

    def test_list_items_are_joined_by_backslash_zero(self):
        self.assertEqual(self.data("List"), ("REG_MULTI_SZ", "a\\0\\0b"))

    def test_other_data_as_the_text_query_shows_it(self):
        self.assertEqual(self.data("Level"), ("REG_DWORD", "0x2a"))
        self.assertEqual(self.data("Price"), ("REG_SZ", "\u20ac 5"))

    def test_a_key_and_its_tree(self):
        out, rows = self.m.query_json(KEY)
        self.assertNotIn(b"\\u0000", out)
        self.assertEqual([r["name"] for r in rows], ["Nul", "Bare", "List", "Price", "Level"])
        out, rows = self.m.query_json(KEY, "/s")
        self.assertEqual(rows[-1], {"key": FULL + "\\Sub", "name": "Deep", "type": "REG_SZ",
                                    "data": "d"})

    def test_a_missing_value_prints_no_json(self):
        done = self.m.run("query", KEY, "/v", "Nope", "--json")
        self.assertEqual((done.returncode, done.stdout), (1, b""))


class QueryJson932(unittest.TestCase):
    def setUp(self):
        self.m = Machine("--bare")
        ini = os.path.join(self.m.env["QZINST_ROOT"], "machine.ini")
        with open(ini) as f:
            text = f.read()
        with open(ini, "w") as f:
            f.write(text.replace("CodePage=1252", "CodePage=932"))

    def tearDown(self):
        self.m.remove()

    def test_double_byte_names_and_data_in_unicode(self):
        # U+30A2, and U+8868 whose second byte is a backslash's.
        name, data = "\u30a2".encode("cp932"), "\u8868\u30a2".encode("cp932")
        self.m.ok("add", KEY.encode() + b"\\" + data, "/v", name, "/d", data)
        out, rows = self.m.query_json(KEY, "/s")
        self.assertEqual(rows, [{"key": FULL + "\\\u8868\u30a2", "name": "\u30a2",
                                 "type": "REG_SZ", "data": "\u8868\u30a2"}])


if __name__ == "__main__":
    QZREG = sys.argv.pop(1)
    unittest.main()
