"""The built Setup.exe and Uninstall.exe are Windows GUI programs for the build's machine
(the shipped 32-bit x86 one, or the x86-64 one that runs the tests on hosts without 32-bit
code) that bind only KnownDLLs at load time; the shipped ones are small downloads.

Run by tools/run_tests.py after each Windows build, with MELVORA_SETUP_EXE_PATH and
MELVORA_UNINSTALL_EXE_PATH naming the files and MELVORA_EXE_ARCH (i686, the default, or
x86_64) the machine; it reads the PE headers and the import directory itself.
"""

import os
import struct
import sys
import unittest
from pathlib import Path

# The shipped 32-bit programs: the whole file (the download a user waits for), and its code
# and data outside the resources.
FILE_LIMIT_KIB = 512
SIZE_LIMIT_KIB = 300

# Per machine: (COFF machine, optional header magic, file characteristics it must have).
MACHINES = {"i686": (0x14C, 0x10B, 0x0100),      # i386, PE32, 32-bit machine
            "x86_64": (0x8664, 0x20B, 0x0020)}   # AMD64, PE32+, large addresses

# KnownDLLs: the only DLLs Windows never looks for beside the program. Any other DLL
# bound at load time would be taken from Setup.exe's folder if one of its name lay there
# (app/LateImports.cpp binds the others from the system folder when first used).
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
              "psapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll"}


class PeImage:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "no PE signature"
        self.machine, self.sections, _, _, _, opt_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        self.opt = pe + 24
        self.magic = struct.unpack_from("<H", data, self.opt)[0]
        self.subsystem = struct.unpack_from("<H", data, self.opt + 68)[0]
        # The data directories follow the fields that PE32+ widens to 64 bits.
        self.directories = self.opt + (96 if self.magic == 0x10B else 112)
        self.section_table = self.opt + opt_size

    def section_sizes(self):
        """(name, size in the file) of each section."""
        for i in range(self.sections):
            s = self.section_table + 40 * i
            name = self.data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            yield name, struct.unpack_from("<I", self.data, s + 16)[0]

    def rva_to_offset(self, rva):
        for i in range(self.sections):
            s = self.section_table + 40 * i
            vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", self.data, s + 8)
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rawptr + rva - vaddr
        raise ValueError(f"address {rva:#x} is in no section")

    def imported_dlls(self):
        import_rva = struct.unpack_from("<I", self.data, self.directories + 8)[0]   # data directory 1
        names = []
        at = self.rva_to_offset(import_rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, at)
            if not any(entry):
                return names
            name_at = self.rva_to_offset(entry[3])
            names.append(self.data[name_at:self.data.index(b"\0", name_at)].decode("ascii"))
            at += 20


class SetupExeTest(unittest.TestCase):
    VARIABLE, NAME = "MELVORA_SETUP_EXE_PATH", "Setup.exe"

    @classmethod
    def setUpClass(cls):
        path = os.environ.get(cls.VARIABLE)
        if not path:
            raise unittest.SkipTest(f"{cls.VARIABLE} is not set")
        cls.image = PeImage(Path(path).read_bytes())
        cls.arch = os.environ.get("MELVORA_EXE_ARCH", "i686")

    def test_is_a_gui_program_for_the_builds_machine(self):
        machine, magic, characteristic = MACHINES[self.arch]
        self.assertEqual(self.image.machine, machine)
        self.assertEqual(self.image.magic, magic)
        self.assertEqual(self.image.subsystem, 2)         # Windows GUI
        self.assertTrue(self.image.characteristics & characteristic)

    def test_imports_only_known_dlls_at_load_time(self):
        dlls = {name.lower() for name in self.image.imported_dlls()}
        self.assertTrue(dlls, "no imports found")
        self.assertLessEqual(dlls, KNOWN_DLLS, f"bound at load time: {sorted(dlls - KNOWN_DLLS)}; "
                                               "give their functions a line in app/LateImports.cpp")
        # The compiler's own runtime libraries are linked in, never needed at run time.
        self.assertFalse({d for d in dlls if d.startswith(("libgcc", "libstdc++", "libwinpthread"))})

    def test_code_and_data_outside_the_resources_stay_small(self):
        kib = sum(size for name, size in self.image.section_sizes() if name != ".rsrc") / 1024
        # Shown in the test run's own output, so a growing program is noticed before the limit.
        print(f"  {self.NAME}: {kib:.1f} KiB of code and data outside the resources (limit {SIZE_LIMIT_KIB})",
              file=sys.__stdout__, flush=True)
        self.assertLess(kib, SIZE_LIMIT_KIB)

    def test_the_whole_file_is_a_small_download(self):
        kib = len(self.image.data) / 1024
        print(f"  {self.NAME}: {kib:.1f} KiB in all (limit {FILE_LIMIT_KIB})", file=sys.__stdout__, flush=True)
        self.assertLessEqual(kib, FILE_LIMIT_KIB)


class UninstallExeTest(SetupExeTest):
    VARIABLE, NAME = "MELVORA_UNINSTALL_EXE_PATH", "Uninstall.exe"


def load_tests(loader, tests, pattern):
    """The size limits are the shipped 32-bit programs': a build for another machine is not
    held to them (and not counted as a skipped test either)."""
    if os.environ.get("MELVORA_EXE_ARCH", "i686") == "i686":
        return tests
    kept = unittest.TestSuite()
    for case in _cases(tests):
        if case._testMethodName not in ("test_code_and_data_outside_the_resources_stay_small",
                                        "test_the_whole_file_is_a_small_download"):
            kept.addTest(case)
    return kept


def _cases(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from _cases(item)
        else:
            yield item


if __name__ == "__main__":
    unittest.main()
