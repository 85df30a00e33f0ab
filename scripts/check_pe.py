#!/usr/bin/env python3
"""Checks that QZINST32.EXE loads on the Windows it is built for.

  check_pe.py EXE MACHINE [ALLOW-LIST]     MACHINE: i686 or x86_64

The i686 program is for Windows 98, NT 4.0 and every later Windows; the
x86_64 one, which is not shipped, for 64-bit Windows. Checked:
  - the header fields an old loader reads: a GUI program, OS and subsystem
    version 4.0 (Windows 95/98 refuse a higher subsystem version), sections
    aligned on 4 KB pages, files on 512 bytes, an image base the 9x loader
    can use (4 MB up to 2 GB); x86_64: versions no higher than 5.2, the first
    64-bit Windows;
  - every import, by name, against the allow-list (per DLL, with its sources
    for Windows 98 and NT 4.0);
    no import by ordinal, no delay-load or bound imports;
  - the TLS directory: Windows 95/98 never call TLS callbacks, so each one must
    be the runtime's own: __dyn_tls_init, which the start-up code also calls
    itself for the main thread, or a destructor that only matters when a
    thread ends (the program starts none);
  - the version resource that setup programs and Explorer read: its file and
    product version are the project's (CMakeLists.txt), with the product name
    and a description;
  - no debug sections (.debug_*) in the file that ships.
"""

import os
import re
import struct
import subprocess
import sys

TLS_CALLBACKS_ALLOWED = {"__dyn_tls_init", "__dyn_tls_dtor", "__mingw_TLScallback"}
PRODUCT_NAME = "Halden RT-2210 Series"
RT_VERSION = 16


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsect, _, symbols, nsymbols, optsize, self.flags = struct.unpack_from("<HHIIIHH", data, pe + 4)
        strings = symbols + 18 * nsymbols if symbols else 0
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.plus = self.magic == 0x20B
        if self.plus:
            self.image_base = struct.unpack_from("<Q", data, opt + 24)[0]
        else:
            self.image_base = struct.unpack_from("<I", data, opt + 28)[0]
        (self.section_alignment, self.file_alignment, self.os_major, self.os_minor, _, _,
         self.sub_major, self.sub_minor) = struct.unpack_from("<IIHHHHHH", data, opt + 32)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (112 if self.plus else 96)
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(nsect):
            s = opt + optsize + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode("latin-1")
            if name.startswith("/") and name[1:].isdigit() and strings:
                # A long name ("/4"): an offset into the COFF string table.
                start = strings + int(name[1:])
                name = data[start:data.index(b"\0", start)].decode("latin-1")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, va, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size and rva - va < rawsize:
                return rawptr + rva - va
        raise ValueError("RVA 0x%x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def pointer(self, off):
        return struct.unpack_from("<Q" if self.plus else "<I", self.data, off)[0]

    def imports(self):
        """[(DLL upper-case, name or None for an ordinal)]"""
        rva, size = self.dirs[1]
        out = []
        if size == 0:
            return out
        off = self.offset(rva)
        while True:
            lookup, _, _, name_rva, iat = struct.unpack_from("<IIIII", self.data, off)
            if name_rva == 0:
                break
            dll = self.cstring(name_rva).upper()
            entry = self.offset(lookup or iat)
            step = 8 if self.plus else 4
            ordinal_bit = 1 << (63 if self.plus else 31)
            while True:
                value = self.pointer(entry)
                if value == 0:
                    break
                out.append((dll, None if value & ordinal_bit else self.cstring((value & 0x7FFFFFFF) + 2)))
                entry += step
            off += 20
        return out

    def tls_callbacks(self):
        """Addresses (virtual) of the TLS callbacks; None without a TLS directory."""
        rva, size = self.dirs[9]
        if size == 0:
            return None
        off = self.offset(rva)
        field = 8 if self.plus else 4
        table = self.pointer(off + 3 * field)
        out = []
        if table == 0:
            return out
        entry = self.offset(table - self.image_base)
        while True:
            value = self.pointer(entry)
            if value == 0:
                return out
            out.append(value)
            entry += field


    def resource(self, type_id):
        """The bytes of the first resource of a type (any name, any language); None if there is none."""
        rva, size = self.dirs[2]
        if size == 0:
            return None
        base = self.offset(rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            return [struct.unpack_from("<II", self.data, directory + 16 + 8 * i) for i in range(named + ids)]

        for ident, target in entries(base):
            if ident != type_id:
                continue
            while target & 0x80000000:
                below = entries(base + (target & 0x7FFFFFFF))
                if not below:
                    return None
                target = below[0][1]
            data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
            start = self.offset(data_rva)
            return self.data[start:start + data_size]
        return None


def version_block(blob, off):
    """One block of a version resource: ((key, value, children), offset of the next block)."""
    length, value_length, text = struct.unpack_from("<HHH", blob, off)
    key_end = off + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[off + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    if text:
        value = blob[pos:pos + 2 * value_length].decode("utf-16-le").rstrip("\0")
        pos += 2 * value_length
    else:
        value = blob[pos:pos + value_length]
        pos += value_length
    children = []
    pos = (pos + 3) & ~3
    while pos < off + length:
        child, pos = version_block(blob, pos)
        children.append(child)
    return (key, value, children), (off + length + 3) & ~3


def version_info(blob):
    """(file version, product version, {name: text}) of a VS_VERSIONINFO resource."""
    (key, fixed, children), _ = version_block(blob, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52 or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise ValueError("not a VS_VERSIONINFO block")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    texts = {}
    for name, _, tables in children:
        if name == "StringFileInfo":
            for _, _, strings in tables:
                texts.update((string, value) for string, value, _ in strings)
    return split(file_ms, file_ls), split(product_ms, product_ls), texts


def project_version():
    """The version in the project's CMakeLists.txt, as four numbers."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "CMakeLists.txt")
    found = re.search(r"project\(\s*qzinst32\s+VERSION\s+([0-9.]+)", open(path, encoding="utf-8").read())
    numbers = [int(n) for n in found.group(1).split(".")] if found else []
    return tuple((numbers + [0, 0, 0, 0])[:4])


def check_version(pe, problems):
    """The version resource against the project's version; a line to print."""
    blob = pe.resource(RT_VERSION)
    if blob is None:
        problems.append("no version resource")
        return "no version resource"
    try:
        file_version, product_version, texts = version_info(blob)
    except (ValueError, struct.error, UnicodeDecodeError) as error:
        problems.append("version resource unreadable: %s" % error)
        return "version resource unreadable"
    want = project_version()
    dotted = lambda numbers: ".".join(str(n) for n in numbers)
    for what, got in (("file", file_version), ("product", product_version)):
        if got != want:
            problems.append("%s version %s, the project's is %s" % (what, dotted(got), dotted(want)))
    for name in ("FileVersion", "ProductVersion"):
        if texts.get(name) != dotted(want[:3]):
            problems.append("%s is %r, not %s" % (name, texts.get(name), dotted(want[:3])))
    if texts.get("ProductName") != PRODUCT_NAME:
        problems.append("ProductName is %r, not %r" % (texts.get("ProductName"), PRODUCT_NAME))
    if not texts.get("FileDescription"):
        problems.append("no FileDescription in the version resource")
    return "version %s, %s" % (dotted(file_version), ", ".join("%s %r" % item for item in sorted(texts.items())))


def read_allow_list(path, build):
    """{(DLL, function): sources} for the build; every entry must name a declared
    source for each Windows it is for: 98 and NT 4.0, or 64-bit Windows."""
    sources = {}
    entries = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].split()
            if not line:
                continue
            where = "%s:%d" % (path, number)
            if line[0] == "source":
                if len(line) < 4 or line[2] not in ("98", "nt4", "x64"):
                    raise ValueError("%s: expected source KEY 98|nt4|x64 TEXT" % where)
                sources[line[1]] = line[2]
            else:
                entries.append((where, line))
    allowed = {}
    for where, line in entries:
        if len(line) == 5 and line[2] == "all":
            wanted = (("98", line[3]), ("nt4", line[4]))
        elif len(line) == 4 and line[2] == "x64":
            wanted = (("x64", line[3]),)
        else:
            raise ValueError("%s: expected DLL FUNCTION all SOURCE-98 SOURCE-NT4, or DLL FUNCTION x64 SOURCE"
                             % where)
        for system, key in wanted:
            if sources.get(key) != system:
                raise ValueError("%s: %s is no source declared for %s" % (where, key, system))
        if line[2] == "all" or build == "x64":
            allowed[(line[0].upper(), line[1])] = line[3:]
    return allowed


def symbol_names(exe, machine):
    """Address -> name from the program's symbol table (decoration removed)."""
    done = subprocess.run([machine + "-w64-mingw32-nm", exe], capture_output=True, text=True)
    names = {}
    for line in done.stdout.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in "Tt":
            name = parts[2]
            if machine == "i686" and name.startswith("_"):
                name = name[1:]
            names[int(parts[0], 16)] = name.split("@")[0]
    return names


def check(exe, machine, allow_path):
    pe = Pe(open(exe, "rb").read())
    problems = []
    x64 = machine == "x86_64"
    if pe.machine != (0x8664 if x64 else 0x14C) or pe.plus != x64:
        problems.append("machine 0x%x is not %s" % (pe.machine, machine))
    if pe.subsystem != 2:
        problems.append("subsystem %d is not the Windows GUI (2)" % pe.subsystem)
    limit = (5, 2) if x64 else (4, 0)
    for what, version in (("OS", (pe.os_major, pe.os_minor)), ("subsystem", (pe.sub_major, pe.sub_minor))):
        if (version > limit) if x64 else (version != limit):
            problems.append("%s version %d.%d, expected %s%d.%d" %
                            (what, version[0], version[1], "at most " if x64 else "", limit[0], limit[1]))
    if pe.section_alignment != 0x1000:
        problems.append("section alignment 0x%x, expected 0x1000 (a page)" % pe.section_alignment)
    if pe.file_alignment < 0x200:
        problems.append("file alignment 0x%x, below 0x200" % pe.file_alignment)
    if not x64 and not 0x400000 <= pe.image_base < 0x80000000:
        problems.append("image base 0x%x outside 0x400000-0x7FFFFFFF" % pe.image_base)
    if pe.dirs[11][1] or pe.dirs[13][1]:
        problems.append("bound or delay-load imports")

    allowed = read_allow_list(allow_path, "x64" if x64 else "i686")
    counts = {}
    for dll, name in pe.imports():
        if name is None:
            problems.append("%s imported by ordinal" % dll)
        elif (dll, name) not in allowed:
            problems.append("%s!%s is not in %s" % (dll, name, os.path.basename(allow_path)))
        else:
            counts[dll] = counts.get(dll, 0) + 1

    callbacks = pe.tls_callbacks()
    tls = "no TLS directory"
    if callbacks is not None:
        names = symbol_names(exe, machine)
        if callbacks and not names:
            problems.append("TLS callbacks but no symbols to name them (a stripped program?)")
        named = [names.get(address, "0x%x" % address) for address in callbacks]
        for name in named:
            if name not in TLS_CALLBACKS_ALLOWED:
                problems.append("TLS callback %s is not one of the runtime's own" % name)
        tls = "TLS callbacks: " + (", ".join(named) or "none")

    debug = [name for name, _, _, _, _ in pe.sections if name.startswith((".debug", ".zdebug"))]
    if debug:
        problems.append("debug sections in the file that ships: " + ", ".join(debug))
    version = check_version(pe, problems)

    print("%s (%s): %s GUI, OS %d.%d, subsystem %d.%d, sections 0x%x, file 0x%x, base 0x%x; %s" %
          (exe, machine, "PE32+" if x64 else "PE32", pe.os_major, pe.os_minor, pe.sub_major, pe.sub_minor,
           pe.section_alignment, pe.file_alignment, pe.image_base, tls))
    print("imports allowed: " + ", ".join("%s %d" % (dll, counts[dll]) for dll in sorted(counts)) +
          " (%d in all)" % sum(counts.values()))
    print("sections: " + " ".join(name for name, _, _, _, _ in pe.sections))
    print(version)
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in ("i686", "x86_64"):
        sys.stderr.write(__doc__)
        return 2
    allow = sys.argv[3] if len(sys.argv) == 4 else os.path.join(os.path.dirname(__file__), "pe-imports.allow")
    try:
        return check(sys.argv[1], sys.argv[2], allow)
    except ValueError as error:
        print("FAIL: %s" % error)
        return 1


if __name__ == "__main__":
    sys.exit(main())
