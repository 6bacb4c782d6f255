#!/usr/bin/env python3
"""The shipped programs start on Windows XP SP3 only if every function they import,
at start or on first call (a delay import), exists there. The minimum system of each
imported function is kept in scripts/imports.txt:

    DLL FUNCTION MINIMUM      e.g.  KERNEL32.DLL GetFileSizeEx 2000

MINIMUM is the oldest Windows that has the function: 95, NT4, 2000, XP, XP-SP2,
XP-SP3, or a later one (Vista, 7, ...), which no program may import directly.

    check-imports.py NM LIST PROGRAM...

fails when a program imports a function that is missing from the list or that needs
a system newer than XP SP3, or asks for a newer system in its header (XP is 5.1), and
prints the programs' imports with --print.
"""
import struct
import subprocess
import sys

XP_OR_OLDER = {"95", "NT4", "2000", "XP", "XP-SP2", "XP-SP3"}


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE image")
        sections, optional_size = struct.unpack_from("<H12xH", self.data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        self.pe32 = magic == 0x10B
        self.image_base = struct.unpack_from("<I" if self.pe32 else "<Q", self.data, optional + (28 if self.pe32 else 24))[0]
        self.os_version = struct.unpack_from("<HH", self.data, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", self.data, optional + 48)
        directories = optional + (96 if self.pe32 else 112)
        self.import_rva = struct.unpack_from("<I", self.data, directories + 8)[0]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            size, rva, raw_size, raw = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} outside every section")

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def names(self, lookup_rva):
        """Function names of an import lookup table (ordinals are named #N)."""
        step, flag = (4, 1 << 31) if self.pe32 else (8, 1 << 63)
        while True:
            at = self.offset(lookup_rva)
            entry = struct.unpack_from("<I" if self.pe32 else "<Q", self.data, at)[0]
            if entry == 0:
                return
            yield f"#{entry & 0xFFFF}" if entry & flag else self.text((entry & 0x7FFFFFFF) + 2)
            lookup_rva += step

    def imports(self):
        at = self.import_rva
        while self.import_rva:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, self.offset(at))
            if name == 0:
                break
            dll = self.text(name).upper()
            for function in self.names(lookup or thunks):
                yield dll, function
            at += 20

    def delay_imports(self, descriptor_addresses):
        """The delay imports made by dlltool: their descriptors, found by symbol, hold RVAs.
        A function whose address slot is empty has lost its stub (it would be called at 0)
        and comes back with the DLL name "EMPTY-SLOT"."""
        step = 4 if self.pe32 else 8
        for address in descriptor_addresses:
            rva = address - self.image_base
            dll = self.text(self.u32(rva + 4)).upper()
            slot = self.u32(rva + 12)
            for function in self.names(self.u32(rva + 16)):
                empty = not any(self.data[self.offset(slot):self.offset(slot) + step])
                yield ("EMPTY-SLOT" if empty else dll), function
                slot += step


def delay_descriptors(nm, program):
    out = subprocess.run([nm, program], capture_output=True, text=True, check=True).stdout
    return [int(line.split()[0], 16) for line in out.splitlines() if "__DELAY_IMPORT_DESCRIPTOR_" in line]


def main(argv):
    show = "--print" in argv
    argv = [a for a in argv if a != "--print"]
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    nm, list_path, programs = argv[1], argv[2], argv[3:]
    known = {}
    with open(list_path, encoding="utf-8") as f:
        for line in f:
            fields = line.split("#", 1)[0].split()
            if fields:
                dll, function, minimum = fields
                known[(dll.upper(), function)] = minimum
    failures = 0
    for program in programs:
        image = Image(program)
        for field in ("os_version", "subsystem_version"):
            if getattr(image, field) > (5, 1):
                print(f"{program}: its {field} is {getattr(image, field)}, newer than XP's 5.1", file=sys.stderr)
                failures += 1
        found = sorted(set(image.imports()) | set(image.delay_imports(delay_descriptors(nm, program))))
        if not found:
            print(f"{program}: no imports read", file=sys.stderr)
            failures += 1
        for dll, function in found:
            minimum = known.get((dll, function))
            if dll == "EMPTY-SLOT":
                print(f"{program}: the delay import {function} has no stub: declare it for direct calls "
                      "(system/DelayImports_win.h)", file=sys.stderr)
                failures += 1
            elif show:
                print(dll, function, minimum or "?")
            elif minimum is None:
                print(f"{program}: {dll} {function} is not in {list_path}: add it with its minimum system",
                      file=sys.stderr)
                failures += 1
            elif minimum not in XP_OR_OLDER:
                print(f"{program}: {dll} {function} needs Windows {minimum}: load it on first use",
                      file=sys.stderr)
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
