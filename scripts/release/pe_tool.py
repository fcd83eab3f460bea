#!/usr/bin/env python3
"""Reads the headers of Windows PE files (executables and DLLs) for packaging.

    pe_tool.py closure BUNDLE ALLOW_LIST
        Checks that every DLL imported (directly or delay-loaded) by any PE
        file under BUNDLE is either beside tovan.exe in BUNDLE's top folder or
        named by ALLOW_LIST (one lower-case name a line, '#' comments; a line
        ending in '*' is a prefix). Prints one line for each DLL nobody ships,
        naming it and the file that imports it, and exits 1 if there is any.
    pe_tool.py unsigned FILE...
        Prints each FILE that carries no Authenticode signature.
    pe_tool.py timestamp FILE...
        Prints the link time stamp of each FILE ("FILE 0" when none).

Only the header fields these questions need are read; a file that is not a
PE file is skipped by `closure` and reported by the others.
"""
import os
import struct
import sys

DIR_IMPORT, DIR_SECURITY, DIR_DELAY_IMPORT = 1, 4, 13


class NotPE(Exception):
    pass


class PEFile:
    """The headers, sections and data directories of one PE file, held in memory."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if len(d) < 64 or d[:2] != b"MZ":
            raise NotPE(path)
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if pe + 24 > len(d) or d[pe:pe + 4] != b"PE\0\0":
            raise NotPE(path)
        _, sections, self.timestamp, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        if magic == 0x20B:  # PE32+
            self.image_base = struct.unpack_from("<Q", d, opt + 24)[0]
            count_at = opt + 108
        elif magic == 0x10B:  # PE32
            self.image_base = struct.unpack_from("<I", d, opt + 28)[0]
            count_at = opt + 92
        else:
            raise NotPE(path)
        count = struct.unpack_from("<I", d, count_at)[0]
        self.dirs = [struct.unpack_from("<II", d, count_at + 4 + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        at = opt + opt_size
        for _ in range(sections):
            vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", d, at + 8)
            self.sections.append((va, max(vsize, raw_size), raw_at))
            at += 40

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def offset(self, rva):
        for va, size, raw_at in self.sections:
            if va <= rva < va + size:
                return rva - va + raw_at
        raise ValueError("address 0x%x outside every section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii", "replace")

    def imports(self):
        """The DLL names of the import and delay-import tables, as written."""
        names = []
        rva, size = self.directory(DIR_IMPORT)
        if rva and size:
            at = self.offset(rva)
            while True:
                entry = struct.unpack_from("<5I", self.data, at)
                if not any(entry):
                    break
                names.append(self.text(entry[3]))
                at += 20
        rva, size = self.directory(DIR_DELAY_IMPORT)
        if rva and size:
            at = self.offset(rva)
            while True:
                attributes, name = struct.unpack_from("<II", self.data, at)
                if not attributes and not name:
                    break
                # Attribute bit 0 clear: an old-style descriptor holding addresses, not RVAs.
                names.append(self.text(name if attributes & 1 else name - self.image_base))
                at += 32
        return names

    def signed(self):
        # The certificate table's entry holds a file offset and size, not an RVA.
        at, size = self.directory(DIR_SECURITY)
        return bool(at and size)


def read_allow_list(path):
    names, prefixes = set(), []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip().lower()
            if line.endswith("*"):
                prefixes.append(line[:-1])
            elif line:
                names.add(line)
    return names, prefixes


def closure(bundle, allow_list):
    names, prefixes = read_allow_list(allow_list)
    beside = {n.lower() for n in os.listdir(bundle) if os.path.isfile(os.path.join(bundle, n))}
    problems = []
    for folder, dirs, files in sorted(os.walk(bundle)):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            try:
                pe = PEFile(path)
            except NotPE:
                continue
            for dll in pe.imports():
                key = dll.lower()
                if key in beside or key in names or any(key.startswith(p) for p in prefixes):
                    continue
                problems.append("%s imports %s, which is neither in the bundle nor a DLL of "
                                "Windows 10 x64 (%s)" % (os.path.relpath(path, bundle), dll,
                                                         os.path.basename(allow_list)))
    for line in problems:
        print(line)
    return 1 if problems else 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "closure" and len(argv) == 4:
        return closure(argv[2], argv[3])
    if len(argv) >= 3 and argv[1] in ("unsigned", "timestamp"):
        status = 0
        for path in argv[2:]:
            try:
                pe = PEFile(path)
            except (NotPE, OSError) as error:
                print("pe_tool: %s is not a readable PE file (%s)" % (path, error), file=sys.stderr)
                status = 1
                continue
            if argv[1] == "unsigned" and not pe.signed():
                print(path)
            elif argv[1] == "timestamp":
                print(path, pe.timestamp)
        return status
    print(__doc__.strip().split("\n\n")[0], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
