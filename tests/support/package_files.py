"""The example package's files, put where its setup copies them on a machine.

Empty files: the emulated spooler looks for a monitor's DLL in the system
directory, a driver's files in the printer-driver directory of its environment
and a print processor's DLL in the print-processor directory, and loads nothing.
"""

import os

MONITORS = ("hrtlmon.dll", "hrtpmon.dll")
DRIVER_FILES = ("HRT2210.DRV", "HRT2210.DAT", "HRT2210N.DAT", "HRT2210U.DLL", "HRT2210.HLP")
PROCESSOR = "hrtproc.dll"


def example_package_paths(osname):
    """Paths below drive_c/ of each file: on Windows 98 all in C:\\WINDOWS\\SYSTEM; on NT
    the monitors in system32, the "Windows 4.0" driver in spool\\DRIVERS\\WIN40 and the
    print processor ("Windows NT x86") in spool\\PRTPROCS\\W32X86."""
    if osname != "nt":
        return ["WINDOWS/SYSTEM/" + name for name in MONITORS + DRIVER_FILES]
    system = "WINDOWS/system32/"
    return ([system + name for name in MONITORS] +
            [system + "spool/DRIVERS/WIN40/" + name for name in DRIVER_FILES] +
            [system + "spool/PRTPROCS/W32X86/" + PROCESSOR])


def place_example_package(root, osname):
    """Copies (empty) files of the example package onto the machine at `root`."""
    for relative in example_package_paths(osname):
        path = os.path.join(root, "drive_c", *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "ab").close()
