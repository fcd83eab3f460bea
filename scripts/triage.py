"""Turns a crash of tovan.exe (its minidump and last_native_crash.txt) into the exception, the
faulting thread's frames as module!function file:line, the audio cells and the version.

Run through scripts/triage; `scripts/triage --help` says how. Symbols come from a symbols zip
(symbol-store layout), an unzipped one, or a folder of binaries with their PDBs beside them (a
build's bundle/). A binary is used only when it is the one the dump recorded (PDB GUID and age,
else PE timestamp and size); any other is refused by name, and its frames stay module+offset.
"""

import argparse
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

TRIAGE_STREAM = 0x54560001
TRIAGE_MAGIC = b"TOVTRI01"

EXCEPTIONS = {
    0x80000002: "EXCEPTION_DATATYPE_MISALIGNMENT",
    0x80000003: "EXCEPTION_BREAKPOINT",
    0x80000004: "EXCEPTION_SINGLE_STEP",
    0xC0000005: "EXCEPTION_ACCESS_VIOLATION",
    0xC0000006: "EXCEPTION_IN_PAGE_ERROR",
    0xC000001D: "EXCEPTION_ILLEGAL_INSTRUCTION",
    0xC0000025: "EXCEPTION_NONCONTINUABLE_EXCEPTION",
    0xC000008C: "EXCEPTION_ARRAY_BOUNDS_EXCEEDED",
    0xC000008E: "EXCEPTION_FLT_DIVIDE_BY_ZERO",
    0xC0000094: "EXCEPTION_INT_DIVIDE_BY_ZERO",
    0xC0000095: "EXCEPTION_INT_OVERFLOW",
    0xC0000096: "EXCEPTION_PRIV_INSTRUCTION",
    0xC00000FD: "EXCEPTION_STACK_OVERFLOW",
    0xC0000374: "STATUS_HEAP_CORRUPTION",
    0xC0000409: "STATUS_STACK_BUFFER_OVERRUN (fail fast)",
    0xC0000417: "STATUS_INVALID_CRUNTIME_PARAMETER",
    0xE06D7363: "C++ exception (MSVC)",
    0x20474343: "C++ exception (GCC/clang runtime)",
}
ACCESS_KINDS = {0: "reading", 1: "writing", 8: "executing"}
# The codes of CrashDiagnostics::lastAudioOp (crash/crash_diagnostics.h).
AUDIO_OPS = {
    0: "none yet",
    1: "kRingtoneStarted",
    2: "kRingtoneStopped",
    4: "kVolumeSet",
    5: "kEndpointsEnumerated",
    6: "kDefaultEndpointSwitch",
}
WINE_DLL_DIRS = ["/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/wine/x86_64-windows",
                 "/usr/lib64/wine/x86_64-windows"]
MAX_FALLBACK_FRAMES = 100000
HEAD_FRAMES = 512  # innermost frames the triage stream keeps of a deep stack


class Refused(Exception):
    pass


# --- Minidump -----------------------------------------------------------------------------------

class Module:
    def __init__(self, base, size, timestamp, name, version):
        self.base, self.size, self.timestamp = base, size, timestamp
        self.path = name
        self.name = re.split(r"[\\/]", name)[-1]
        self.version = version
        self.cv = None  # (guid hex, age, pdb name) from the dump or the triage stream
        self.pe = None  # the matching binary at hand, a PeFile
        self.names = True  # whether its PDB (or DWARF) names functions; Wine's DLLs only unwind
        self.wine_path = None
        self.note = None  # why its frames stay unnamed although the binary matched
        self.refusal = None

    def contains(self, address):
        return self.base <= address < self.base + self.size


class Minidump:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:4] != b"MDMP":
            raise Refused(f"{path} is not a minidump")
        count, rva = struct.unpack_from("<II", d, 8)
        self.streams = {}
        for i in range(count):
            kind, size, at = struct.unpack_from("<III", d, rva + 12 * i)
            self.streams.setdefault(kind, (at, size))
        self.modules = self._modules()
        self.threads = self._threads()
        self.exception = self._exception()
        self.memory = self._memory()
        self.triage = self._triage()

    def _string(self, rva):
        (length,) = struct.unpack_from("<I", self.data, rva)
        return self.data[rva + 4:rva + 4 + length].decode("utf-16-le", "replace")

    def _modules(self):
        modules = []
        if 4 not in self.streams:
            return modules
        at, _ = self.streams[4]
        (count,) = struct.unpack_from("<I", self.data, at)
        for i in range(count):
            m = at + 4 + 108 * i
            base, size, _, stamp, name_rva = struct.unpack_from("<QIIII", self.data, m)
            ms, ls = struct.unpack_from("<II", self.data, m + 24 + 8)
            version = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
            module = Module(base, size, stamp, self._string(name_rva), version)
            cv_size, cv_rva = struct.unpack_from("<II", self.data, m + 24 + 52)
            if cv_size > 24 and self.data[cv_rva:cv_rva + 4] == b"RSDS":
                guid = self.data[cv_rva + 4:cv_rva + 20]
                (age,) = struct.unpack_from("<I", self.data, cv_rva + 20)
                pdb = self.data[cv_rva + 24:cv_rva + cv_size].split(b"\0")[0].decode("utf-8", "replace")
                module.cv = (guid_key(guid), age, re.split(r"[\\/]", pdb)[-1])
            modules.append(module)
        return modules

    def _threads(self):
        threads = {}
        if 3 not in self.streams:
            return threads
        at, _ = self.streams[3]
        (count,) = struct.unpack_from("<I", self.data, at)
        for i in range(count):
            t = at + 4 + 48 * i
            tid = struct.unpack_from("<I", self.data, t)[0]
            _, ctx_rva = struct.unpack_from("<II", self.data, t + 40)
            threads[tid] = ctx_rva
        return threads

    def _exception(self):
        if 6 not in self.streams:
            return None
        at, _ = self.streams[6]
        tid, = struct.unpack_from("<I", self.data, at)
        code, flags, _, address, nparams = struct.unpack_from("<IIQQI", self.data, at + 8)
        params = struct.unpack_from("<15Q", self.data, at + 8 + 32)[:min(nparams, 15)]
        _, ctx_rva = struct.unpack_from("<II", self.data, at + 8 + 152)
        return {"thread": tid, "code": code, "address": address, "params": params,
                "context": ctx_rva}

    def _memory(self):
        ranges = []
        if 5 in self.streams:
            at, _ = self.streams[5]
            (count,) = struct.unpack_from("<I", self.data, at)
            for i in range(count):
                start, size, rva = struct.unpack_from("<QII", self.data, at + 4 + 16 * i)
                ranges.append((start, size, rva))
        if 9 in self.streams:
            at, _ = self.streams[9]
            count, rva = struct.unpack_from("<QQ", self.data, at)
            for i in range(count):
                start, size = struct.unpack_from("<QQ", self.data, at + 16 + 16 * i)
                ranges.append((start, size, rva))
                rva += size
        return ranges

    def read(self, address, size):
        for start, length, rva in self.memory:
            if start <= address and address + size <= start + length:
                return self.data[rva + address - start:rva + address - start + size]
        return None

    def _triage(self):
        if TRIAGE_STREAM not in self.streams:
            return None
        at, size = self.streams[TRIAGE_STREAM]
        d = self.data[at:at + size]
        if len(d) < 32 or d[:8] != TRIAGE_MAGIC:
            return None
        header, tid, nframes, nmodules, flags, skipped = struct.unpack_from("<IIIIII", d, 8)
        frames = [struct.unpack_from("<QQQ", d, header + 24 * i) for i in range(nframes)]
        at = header + 24 * nframes
        for _ in range(nmodules):
            base, size_, stamp = struct.unpack_from("<QII", d, at)
            guid = d[at + 16:at + 32]
            age, length = struct.unpack_from("<IH", d, at + 32)
            pdb = d[at + 38:at + 38 + length].decode("utf-8", "replace")
            at += 38 + length
            for module in self.modules:
                if module.base == base and module.cv is None:
                    module.cv = (guid_key(guid), age, re.split(r"[\\/]", pdb)[-1])
        return {"thread": tid, "frames": frames, "complete": bool(flags & 1), "skipped": skipped}

    def module_at(self, address):
        for module in self.modules:
            if module.contains(address):
                return module
        return None

    def context(self, rva):
        regs = struct.unpack_from("<16Q", self.data, rva + 120)
        (rip,) = struct.unpack_from("<Q", self.data, rva + 248)
        return list(regs), rip


def guid_key(raw):
    """A GUID's bytes as in memory, written as symbol stores key it (Data1-3 as numbers)."""
    d1, d2, d3 = struct.unpack_from("<IHH", raw)
    return f"{d1:08X}{d2:04X}{d3:04X}{raw[8:16].hex().upper()}"


# --- PE files and their unwind information ------------------------------------------------------

class PeFile:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = d = f.read()
        if d[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        nsections, self.timestamp = struct.unpack_from("<HI", d, pe + 6)
        opt_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        if struct.unpack_from("<H", d, opt)[0] != 0x20B:
            raise ValueError("not a 64-bit PE file")
        self.image_base = struct.unpack_from("<Q", d, opt + 24)[0]
        self.size = struct.unpack_from("<I", d, opt + 56)[0]
        ndirs = struct.unpack_from("<I", d, opt + 108)[0]
        self.dirs = [struct.unpack_from("<II", d, opt + 112 + 8 * i) for i in range(ndirs)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", d, s + 8)
            self.sections.append((va, max(vsize, rawsize), raw, rawsize))
        self.cv = self._codeview()
        self._functions = None

    def read(self, rva, size):
        for va, vsize, raw, rawsize in self.sections:
            if va <= rva and rva + size <= va + vsize:
                off = rva - va
                chunk = self.data[raw + off:raw + min(off + size, rawsize)]
                return chunk + b"\0" * (size - len(chunk))
        return None

    def _codeview(self):
        if len(self.dirs) <= 6 or self.dirs[6][1] == 0:
            return None
        rva, size = self.dirs[6]
        table = self.read(rva, size) or b""
        for i in range(len(table) // 28):
            kind, length, address = struct.unpack_from("<IIIxxxx", table, 28 * i + 12)
            if kind != 2:
                continue
            record = self.read(address, length) or b""
            if record[:4] == b"RSDS":
                age = struct.unpack_from("<I", record, 20)[0]
                name = record[24:].split(b"\0")[0].decode("utf-8", "replace")
                return (guid_key(record[4:20]), age, re.split(r"[\\/]", name)[-1])
        return None

    def function(self, rva):
        """The .pdata entry (begin, end, unwind rva) that covers rva, or None."""
        if self._functions is None:
            self._functions = []
            if len(self.dirs) > 3 and self.dirs[3][1]:
                at, size = self.dirs[3]
                table = self.read(at, size) or b""
                self._functions = sorted(struct.unpack_from("<III", table, 12 * i)
                                         for i in range(len(table) // 12))
        lo, hi = 0, len(self._functions)
        while lo < hi:
            mid = (lo + hi) // 2
            begin, end, _ = self._functions[mid]
            if rva < begin:
                hi = mid
            elif rva >= end:
                lo = mid + 1
            else:
                return self._functions[mid]
        return None


def pdb_identity(path):
    """(guid key, age) of a PDB file, read from its MSF directory's stream 1."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"Microsoft C/C++ MSF 7.00\r\n\x1aDS"):
        return None
    block, _, _, dir_bytes, _, map_block = struct.unpack_from("<6I", data, 32)
    ndir = (dir_bytes + block - 1) // block
    dir_blocks = struct.unpack_from(f"<{ndir}I", data, map_block * block)
    directory = b"".join(data[b * block:(b + 1) * block] for b in dir_blocks)
    nstreams = struct.unpack_from("<I", directory, 0)[0]
    sizes = struct.unpack_from(f"<{nstreams}I", directory, 4)
    at = 4 + 4 * nstreams
    at += 4 * ((sizes[0] + block - 1) // block if sizes[0] != 0xFFFFFFFF else 0)
    first = struct.unpack_from("<I", directory, at)[0]
    _, _, age = struct.unpack_from("<III", data, first * block)
    guid = data[first * block + 12:first * block + 28]
    return guid_key(guid), age


def unwind_step(dump, module, regs, rip, first):
    """One virtual unwind of the x64 frame at rip; (regs, rip) of the caller, or None."""
    pe = module.pe
    rva = rip - module.base
    rsp = regs[4]

    def load(address):
        raw = dump.read(address, 8)
        return None if raw is None else struct.unpack("<Q", raw)[0]

    entry = pe.function(rva) if pe else None
    if entry is None:
        if not first:
            return None
        code = pe.read(rva - 0x16, 0x1a) if pe else None
        code2 = pe.read(rva - 0x2b, 0x2f) if pe else None
        start = bytes.fromhex("51 50 48 3d 00 10 00 00 48 8d 4c 24 18")
        if (code and code.startswith(start)) or (code2 and code2.startswith(start)):
            ret = load(rsp + 16)  # ___chkstk_ms: two pushes before its probe
            regs = regs[:]
            regs[4] = rsp + 24
            return (regs, ret) if ret is not None else None
        ret = load(rsp)  # a leaf function
        regs = regs[:]
        regs[4] = rsp + 8
        return (regs, ret) if ret is not None else None
    regs = regs[:]
    begin, _, unwind = entry
    offset_in_function = rva - begin
    for depth in range(8):
        info = pe.read(unwind, 4)
        if info is None:
            return None
        flags, prolog, ncodes, frame = info[0] >> 3, info[1], info[2], info[3]
        codes = struct.unpack_from(f"<{ncodes}H", pe.read(unwind + 4, 2 * ncodes) or b"\0" * 2 * ncodes)
        if depth == 0 and frame & 0x0F and offset_in_function >= prolog:
            regs[4] = regs[frame & 0x0F] - 16 * (frame >> 4)
        i = 0
        while i < ncodes:
            code_offset, op, opinfo = codes[i] & 0xFF, (codes[i] >> 8) & 0x0F, codes[i] >> 12
            applies = depth > 0 or offset_in_function >= code_offset
            slots = {1: (2 if opinfo == 0 else 3), 4: 2, 5: 3, 8: 2, 9: 3}.get(op, 1)
            if applies:
                if op == 0:
                    value = load(regs[4])
                    if value is None:
                        return None
                    regs[opinfo] = value
                    regs[4] += 8
                elif op == 1:
                    regs[4] += codes[i + 1] * 8 if opinfo == 0 else codes[i + 1] | (codes[i + 2] << 16)
                elif op == 2:
                    regs[4] += opinfo * 8 + 8
                elif op == 4 or op == 5:
                    offset = codes[i + 1] * 8 if op == 4 else codes[i + 1] | (codes[i + 2] << 16)
                    value = load(regs[4] + offset)
                    if value is not None:
                        regs[opinfo] = value
                elif op == 10:
                    ret = load(regs[4] + (8 if opinfo else 0))
                    regs[4] = load(regs[4] + (8 if opinfo else 0) + 24)
                    return (regs, ret) if regs[4] is not None and ret is not None else None
            i += slots
        if not flags & 4:
            break
        chained = pe.read(unwind + 4 + 2 * ((ncodes + 1) & ~1), 12)
        begin, _, unwind = struct.unpack("<III", chained)
    ret = load(regs[4])
    if ret is None:
        return None
    regs[4] += 8
    return regs, ret


def walk_stack(dump, thread_context):
    regs, rip = dump.context(thread_context)
    frames = []
    while rip and len(frames) < MAX_FALLBACK_FRAMES:
        frames.append(rip)
        module = dump.module_at(rip)
        if module is None or binary_of(module) is None:
            break
        step = unwind_step(dump, module, regs, rip, len(frames) == 1)
        if step is None or step[0][4] <= regs[4]:
            break
        regs, rip = step
    return frames


# --- Symbols ------------------------------------------------------------------------------------

class Symbols:
    """Finds the binary (and its PDB beside it) for each module of the dump."""

    def __init__(self, source, work):
        self.source, self.work = (os.path.abspath(source) if source else None), work
        source = self.source
        self.zip = zipfile.ZipFile(source) if source and zipfile.is_zipfile(source) else None
        self.names = {}
        if self.zip:
            for name in self.zip.namelist():
                self.names.setdefault(name.split("/")[0].lower(), []).append(name)
        elif source:
            for path in glob.glob(os.path.join(glob.escape(source), "**", "*"), recursive=True):
                if os.path.isfile(path):
                    self.names.setdefault(os.path.basename(path).lower(), []).append(path)

    def _fetch(self, member):
        target = os.path.join(self.work, member.replace("/", "_"))
        if not os.path.exists(target):
            with self.zip.open(member) as src, open(target, "wb") as dst:
                shutil.copyfileobj(src, dst)
        return target

    def find(self, module):
        """Sets module.pe to the matching binary at hand, or module.refusal to why none is used."""
        if not self.source:
            return
        key = f"{module.timestamp:08X}{module.size:x}"
        candidates = self.names.get(module.name.lower(), [])
        if self.zip:
            wanted = f"{module.name}/{key}/{module.name}".lower()
            members = [m for m in candidates if m.lower() == wanted]
            if not members:
                if candidates:
                    module.refusal = (f"the symbols hold {module.name} only for other builds "
                                      f"(wanted {key}, have "
                                      f"{', '.join(sorted({m.split('/')[1] for m in candidates if m.count('/') == 2}))})")
                return
            candidates = [self._fetch(members[0])]
        for path in candidates:
            if self.zip is None and f"/{module.name.lower()}/" in path.lower() and key.lower() not in path.lower():
                continue  # another build's entry of an unzipped store
            try:
                pe = PeFile(path)
            except (OSError, ValueError, struct.error):
                continue
            problem = self._mismatch(module, pe)
            if problem:
                module.refusal = problem
                continue
            module.pe, module.refusal = pe, None
            if not pe.cv or not self._place_pdb(pe):
                # The binary still serves the unwinding; without its PDB no frame of it is named.
                module.names = False
                module.note = (f"no PDB {pe.cv[2]} (GUID {pe.cv[0]}, age {pe.cv[1]}) for {module.name}"
                               if pe.cv else f"no PDB recorded in {module.name}")
            return

    def _mismatch(self, module, pe):
        if module.cv and pe.cv and module.cv[:2] != pe.cv[:2]:
            return (f"{pe.path} is another build of {module.name}: the dump has PDB GUID "
                    f"{module.cv[0]} age {module.cv[1]}, the file {pe.cv[0]} age {pe.cv[1]}")
        if pe.timestamp != module.timestamp or pe.size != module.size:
            return (f"{pe.path} is another build of {module.name}: the dump has timestamp "
                    f"{module.timestamp:08X} size {module.size:#x}, the file "
                    f"{pe.timestamp:08X} size {pe.size:#x}")
        return None

    def _place_pdb(self, pe):
        """Makes the matching PDB sit beside the binary, where llvm-symbolizer looks for it."""
        guid, age, name = pe.cv
        beside = os.path.join(os.path.dirname(pe.path), name)
        if os.path.exists(beside) and pdb_identity(beside) == (guid, age):
            return True
        options = []
        if self.zip:
            wanted = f"{name}/{guid}{age:x}/{name}".lower()
            options = [self._fetch(m) for m in self.names.get(name.lower(), []) if m.lower() == wanted]
        else:
            options = [p for p in self.names.get(name.lower(), [])]
        for path in options:
            if pdb_identity(path) == (guid, age):
                if os.path.abspath(path) != os.path.abspath(beside):
                    # Side by side in the work folder, never written into the symbols given.
                    folder = tempfile.mkdtemp(dir=self.work)
                    shutil.copyfile(pe.path, os.path.join(folder, os.path.basename(pe.path)))
                    shutil.copyfile(path, os.path.join(folder, name))
                    pe.path = os.path.join(folder, os.path.basename(pe.path))
                return True
        return False


def wine_dlls(dump):
    """Modules without symbols at hand are looked for among Wine's own DLLs when the dump came from
    Wine; they serve the unwinding only. Read when a walk reaches them."""
    if not any(m.name.lower() == "ntdll.dll" for m in dump.modules):
        return
    for module in dump.modules:
        if module.pe or module.refusal:
            continue
        for folder in WINE_DLL_DIRS:
            path = os.path.join(folder, module.name.lower())
            if os.path.exists(path):
                module.wine_path, module.names = path, False
                break


def binary_of(module):
    if module.pe is None and module.wine_path:
        try:
            pe = PeFile(module.wine_path)
            if pe.size == module.size:
                module.pe = pe
        except (OSError, ValueError, struct.error):
            pass
        module.wine_path = None
    return module.pe


def symbolize(frames):
    """Fills each frame's lines, [(function, file, line)], with llvm-symbolizer in one run."""
    queries = [f for f in frames
               if f["module"] is not None and f["module"].pe is not None and f["module"].names]
    if not queries:
        return
    tool = shutil.which("llvm-symbolizer") or shutil.which("llvm-symbolizer-14")
    if tool is None:
        raise Refused("llvm-symbolizer is not installed (scripts/setup installs it)")
    keys = []
    for f in queries:
        module = f["module"]
        address = module.pe.image_base + f["address"] - module.base - (0 if f["first"] else 1)
        keys.append(f'"{module.pe.path}" {address:#x}')
    lines = sorted(set(keys))
    out = subprocess.run([tool, "--output-style=JSON", "--inlining", "--demangle"],
                         input="\n".join(lines) + "\n", capture_output=True, text=True,
                         cwd=os.path.dirname(os.path.abspath(__file__))).stdout
    answers = {}
    for key, line in zip(lines, out.splitlines()):
        try:
            symbols = json.loads(line).get("Symbol", [])
        except ValueError:
            continue
        answers[key] = [(s.get("FunctionName", ""), s.get("FileName", ""), s.get("Line", 0))
                        for s in symbols if s.get("FunctionName") not in ("", "??", None)]
    for f, key in zip(queries, keys):
        f["lines"] = answers.get(key, [])


def source_path(path):
    """The source file relative to the tree: the builds record paths relative to their source folder,
    which llvm-symbolizer prefixes with its own and the compile folder; the shortest ending that
    names a file of this tree is the one."""
    path = path.replace("\\", "/")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parts = [p for p in path.split("/") if p not in ("", ".")]
    for i in range(len(parts) - 1, -1, -1):
        candidate = "/".join(parts[i:])
        if not os.path.exists(os.path.join(root, candidate)):
            continue
        # Take the longest ending that still exists in the tree.
        while i > 0 and os.path.exists(os.path.join(root, "/".join(parts[i - 1:]))):
            i -= 1
        return "/".join(parts[i:])
    return path


def describe(frame):
    module = frame["module"]
    if module is None:
        return [f"{frame['address']:#018x} (in no module of the dump)"]
    where = f"{module.name}+{frame['address'] - module.base:#x}"
    if not frame.get("lines"):
        return [where]
    texts = []
    for i, (function, file, line) in enumerate(frame["lines"]):
        inlined = " (inlined)" if i + 1 < len(frame["lines"]) else ""
        location = f" {source_path(file)}:{line}" if file and line else ""
        texts.append(f"{module.name}!{function}{location}{inlined}")
    return texts


def collapse(rows):
    """Folds runs of repeated frames or frame cycles (recursion) into one entry each."""
    out, i = [], 0
    while i < len(rows):
        best = None
        for period in (1, 2, 3, 4):
            block = rows[i:i + period]
            repeats = 1
            while rows[i + repeats * period:i + (repeats + 1) * period] == block:
                repeats += 1
            if repeats >= 3 and (best is None or repeats * period > best[0] * best[1]):
                best = (repeats, period)
        if best:
            repeats, period = best
            out.append((i, i + repeats * period - 1, rows[i:i + period], repeats))
            i += repeats * period
        else:
            out.append((i, i, rows[i:i + 1], 1))
            i += 1
    return out


# --- Crash files --------------------------------------------------------------------------------

def read_report(path):
    values = {}
    if path and os.path.exists(path):
        with open(path, "rb") as f:
            for raw in f.read().decode("utf-8", "replace").splitlines():
                key, sep, value = raw.partition("=")
                if sep:
                    values[key.strip()] = value.strip()
    return values


def find_files(args):
    dump = report = None
    if args.path and os.path.isfile(args.path):
        dump, report = args.path, args.report
        if report is None:
            beside = os.path.join(os.path.dirname(os.path.abspath(dump)), "last_native_crash.txt")
            named = read_report(beside).get("dumpPath", "")
            if re.split(r"[\\/]", named)[-1] == os.path.basename(dump):
                report = beside
        return dump, report
    folder = args.path or "."
    if not os.path.isdir(folder):
        raise Refused(f"{folder}: no such crash folder or dump")
    pattern = os.path.join(glob.escape(folder), "**")
    reports = sorted(glob.glob(os.path.join(pattern, "last_native_crash.txt"), recursive=True),
                     key=os.path.getmtime)
    dumps = sorted(glob.glob(os.path.join(pattern, "*.dmp"), recursive=True), key=os.path.getmtime)
    report = reports[-1] if reports else None
    named = re.split(r"[\\/]", read_report(report).get("dumpPath", ""))[-1]
    matching = [d for d in dumps if os.path.basename(d) == named]
    dump = (matching or dumps or [None])[-1]
    if dump is None:
        raise Refused(f"no minidump (*.dmp) in {folder}")
    if report and named != os.path.basename(dump):
        report = None  # the newest report belongs to another crash
    return dump, report


def main():
    parser = argparse.ArgumentParser(
        prog="scripts/triage",
        description="Shows where tovan.exe crashed, from its minidump and last_native_crash.txt.")
    parser.add_argument("path", nargs="?", help="crash folder (newest files taken) or a .dmp file")
    parser.add_argument("report", nargs="?", help="last_native_crash.txt of that dump")
    parser.add_argument("--symbols", help="symbols zip, unzipped symbols, or a bundle/ folder")
    args = parser.parse_args()
    try:
        dump_path, report_path = find_files(args)
        dump = Minidump(dump_path)
    except (Refused, OSError, struct.error) as error:
        print(f"triage: {error}", file=sys.stderr)
        return 2
    report = read_report(report_path)
    work = tempfile.mkdtemp(prefix="tovan-triage-")
    try:
        return show(dump, dump_path, report, report_path, args, work)
    except Refused as error:
        print(f"triage: {error}", file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(work, ignore_errors=True)


def show(dump, dump_path, report, report_path, args, work):
    symbols = Symbols(args.symbols, work)
    for module in dump.modules:
        symbols.find(module)
    wine_dlls(dump)

    exception = dump.exception
    print(f"dump:    {dump_path}")
    print(f"report:  {report_path or '(none for this dump)'}")
    exe = next((m for m in dump.modules if m.name.lower().endswith(".exe")), None)
    version = report.get("appVersion", "?")
    binary = f"  ({exe.name} {exe.version})" if exe else ""
    print(f"crashed: {report.get('timestamp', '?')}  version {version} "
          f"{report.get('buildConfig', '')}{binary}")
    if exception is None:
        # abort() and the runtime's handlers record no exception: the report names the thread, and
        # its stack in the dump runs through the handler that wrote the files.
        tid = int(report.get("threadId", "0") or 0)
        if tid not in dump.threads:
            print("exception: none in the dump, and no thread named by a report")
            return 2
        print(f"exception: none recorded (report's exceptionCode {report.get('exceptionCode', '?')})")
        exception = {"thread": tid, "context": dump.threads[tid]}
    else:
        code = exception["code"]
        line = f"exception: {EXCEPTIONS.get(code, 'unknown exception')} (0x{code:08X})"
        if code in (0xC0000005, 0xC0000006) and len(exception["params"]) >= 2:
            kind, address = exception["params"][:2]
            line += f", {ACCESS_KINDS.get(kind, f'access kind {kind}')} address {address:#018x}"
        print(line)
    if report.get("reason"):
        print(f"reason:  {report['reason']}")
    tid = exception["thread"]
    skipped = 0
    if dump.triage and dump.triage["thread"] == tid and dump.triage["frames"]:
        addresses = [f[0] for f in dump.triage["frames"]]
        skipped = dump.triage["skipped"]
        how = "unwound in the process" + ("" if dump.triage["complete"] else ", ends early")
    else:
        addresses = walk_stack(dump, exception["context"])
        how = "unwound from the dump"
    print(f"thread:  {tid} (0x{tid:x}), {len(addresses) + skipped} frames {how}")
    # A deep stack's stream keeps its innermost and outermost frames; number them as on the stack.
    numbers = list(range(len(addresses)))
    if skipped:
        numbers = [n if n < HEAD_FRAMES else n + skipped for n in numbers]

    frames = [{"address": a, "module": dump.module_at(a), "first": i == 0}
              for i, a in enumerate(addresses)]
    symbolize(frames)
    rows = [tuple(describe(f)) for f in frames]
    segments = [(0, len(rows))]
    if skipped:
        segments = [(0, HEAD_FRAMES), (HEAD_FRAMES, len(rows))]
    for start, end in segments:
        if start:
            print(f"  ... {skipped} frames between, not kept by the dump")
        for first, last, block, repeats in collapse(rows[start:end]):
            first, last = numbers[start + first], numbers[start + last]
            if repeats == 1:
                for j, text in enumerate(block[0]):
                    print(f"  #{first:<3} {text}" if j == 0 else f"       {text}")
                continue
            print(f"  #{first}-#{last}: {repeats} times the {len(block)} frame(s) below (recursion)")
            for entry in block:
                for text in entry:
                    print(f"         {text}")

    for module in dump.modules:
        if module.note and any(f["module"] is module for f in frames):
            print(f"no symbols: {module.note}")
    refused = [m for m in dump.modules if m.refusal and any(f["module"] is m for f in frames)]
    for module in refused:
        print(f"refused: {module.refusal}")
    if args.symbols and exe and exe.refusal and exe not in refused:
        print(f"refused: {exe.refusal}")
        refused.append(exe)
    if "lastAudioOp" in report:
        op = int(report["lastAudioOp"]) if report["lastAudioOp"].lstrip("-").isdigit() else None
        print(f"audio:   lastAudioOp={report['lastAudioOp']} ({AUDIO_OPS.get(op, 'unknown code')})"
              f"  lastSetEndpointHr={report.get('lastSetEndpointHr', '?')}"
              f"  lastMciError={report.get('lastMciError', '?')}"
              f"  audioOpCount={report.get('audioOpCount', '?')}")
    return 3 if refused else 0


if __name__ == "__main__":
    sys.exit(main())
