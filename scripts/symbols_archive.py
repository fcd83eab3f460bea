"""Archives a release's symbols apart from what ships: the exact shipped binaries and their PDBs,
in the layout of a Windows symbol store, as tovan-<version>-windows-x64-symbols.zip.

  python3 scripts/symbols_archive.py BUNDLE OUT_DIR [PDB_DIR ...]

BUNDLE is the folder that ships (tovan.exe and its DLLs); each binary goes in as
<name>/<TimeDateStamp><SizeOfImage>/<name>, and the PDB its debug directory names, found in
BUNDLE or one of the PDB_DIRs with the same GUID and age, as <pdb>/<GUID><age>/<pdb>. The
version is tovan.exe's own ProductVersion. A debugger given the unzipped folder as its symbol
path, and scripts/triage given the zip, find both by those keys. Fails when tovan.exe's PDB is
missing or when a shipped binary still carries DWARF debug sections.
"""

import os
import re
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from triage import PeFile, pdb_identity  # noqa: E402

# Fixed entry times: the same inputs give the same archive.
ZIP_TIME = (2020, 1, 1, 0, 0, 0)


def product_version(pe):
    """The ProductVersion string of the binary's version resource, before any '+' suffix."""
    key = "ProductVersion\0".encode("utf-16-le")
    at = pe.data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (-at) % 4  # the value is aligned to 32 bits
    end = at
    while end + 1 < len(pe.data) and pe.data[end:end + 2] != b"\0\0":
        end += 2
    return pe.data[at:end].decode("utf-16-le").split("+")[0] or None


def debug_sections(pe):
    names = []
    d = pe.data
    pe_at = int.from_bytes(d[0x3C:0x40], "little")
    count = int.from_bytes(d[pe_at + 6:pe_at + 8], "little")
    opt_size = int.from_bytes(d[pe_at + 20:pe_at + 22], "little")
    table = pe_at + 24 + opt_size
    for i in range(count):
        raw = d[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode("ascii", "replace")
        if raw.startswith(".debug") or raw.startswith("/"):
            names.append(raw)
    return names


def find_pdb(name, identity, folders):
    for folder in folders:
        for dirpath, _, files in os.walk(folder):
            for file in files:
                if file.lower() == name.lower():
                    path = os.path.join(dirpath, file)
                    if pdb_identity(path) == identity:
                        return path
    return None


def add(archive, path, member):
    info = zipfile.ZipInfo(member, ZIP_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    with open(path, "rb") as f:
        archive.writestr(info, f.read())


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    bundle, out_dir, pdb_dirs = argv[1], argv[2], argv[3:]
    binaries = sorted(f for f in os.listdir(bundle) if re.search(r"\.(exe|dll)$", f, re.I))
    exe = os.path.join(bundle, "tovan.exe")
    if not os.path.exists(exe):
        print(f"symbols: no tovan.exe in {bundle}", file=sys.stderr)
        return 1
    version = product_version(PeFile(exe))
    if not version:
        print("symbols: tovan.exe has no ProductVersion", file=sys.stderr)
        return 1
    target = os.path.join(out_dir, f"tovan-{version}-windows-x64-symbols.zip")
    entries = []
    problems = []
    for name in binaries:
        path = os.path.join(bundle, name)
        pe = PeFile(path)
        carried = debug_sections(pe)
        if carried:
            problems.append(f"{name} ships debug sections ({', '.join(carried)})")
        entries.append((path, f"{name}/{pe.timestamp:08X}{pe.size:x}/{name}"))
        if pe.cv is None:
            continue
        guid, age, pdb = pe.cv
        found = find_pdb(pdb, (guid, age), [bundle] + pdb_dirs)
        if found:
            entries.append((found, f"{pdb}/{guid}{age:x}/{pdb}"))
        elif name.lower() == "tovan.exe":
            problems.append(f"no {pdb} with GUID {guid} age {age} for tovan.exe")
        else:
            print(f"symbols: no PDB for {name} (only the binary is archived)")
    if problems:
        for problem in problems:
            print(f"symbols: {problem}", file=sys.stderr)
        return 1
    os.makedirs(out_dir, exist_ok=True)
    partial = target + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for path, member in sorted(entries, key=lambda e: e[1]):
            add(archive, path, member)
    os.replace(partial, target)
    for path, member in sorted(entries, key=lambda e: e[1]):
        print(f"symbols: {member} ({os.path.getsize(path)} bytes)")
    print(f"symbols: {target} ({os.path.getsize(target)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
