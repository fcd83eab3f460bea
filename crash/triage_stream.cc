#include "crash/triage_stream.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'T', 'O', 'V', 'T', 'R', 'I', '0', '1'};
constexpr std::uint32_t kHeaderSize = 32;
constexpr std::uint32_t kFrameSize = 24;
// The walk keeps the innermost frames and the outermost ones (a deep recursion between them is
// counted, not kept), and gives up after as many steps as a stack of 8-byte frames could hold.
constexpr std::uint32_t kHeadFrames = 512;
constexpr std::uint32_t kTailFrames = 512;
constexpr std::uint32_t kMaxFrames = kHeadFrames + kTailFrames;
constexpr std::uint64_t kMaxSteps = 1u << 20;
constexpr DWORD kMaxModules = 512;
constexpr std::size_t kMaxPdbName = 260;
constexpr std::size_t kModuleRecordSize = 8 + 4 + 4 + 16 + 4 + 2;
constexpr std::size_t kBufferSize = kHeaderSize + kMaxFrames * kFrameSize + 64 * 1024;

// The process's one set of buffers: crash handlers run with little stack, and never allocate.
std::atomic_flag g_busy = ATOMIC_FLAG_INIT;
alignas(16) unsigned char g_buffer[kBufferSize];
alignas(16) CONTEXT g_context;
struct Frame {
  std::uint64_t ip;
  std::uint64_t sp;
  std::uint64_t imageBase;
};
Frame g_tail[kTailFrames];
HMODULE g_modules[kMaxModules];
wchar_t g_exePath[MAX_PATH];
wchar_t g_modulePath[MAX_PATH];

// Appends to the buffer while it has room; a writer that ran out stays out of room.
class Writer {
 public:
  explicit Writer(std::size_t start) : used_(start) {}
  bool Fits(std::size_t size) const { return used_ + size <= kBufferSize; }
  void Put(const void* data, std::size_t size) {
    std::memcpy(g_buffer + used_, data, size);
    used_ += size;
  }
  template <typename T>
  void Put(T value) {
    Put(&value, sizeof(value));
  }
  std::size_t Used() const { return used_; }

 private:
  std::size_t used_;
};

// --- CodeView records ---------------------------------------------------------------------------

// True when [offset, offset + size) lies inside an image of `imageSize` bytes.
bool InImage(std::uint64_t offset, std::uint64_t size, std::uint64_t imageSize) {
  return offset <= imageSize && size <= imageSize - offset;
}

// Appends the module's record when its headers and its CodeView (RSDS) entry read sound. The
// loader maps every section of an image, so any range inside SizeOfImage is readable.
void PutModule(Writer& out, HMODULE module, std::uint32_t& count) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 4096) {
    return;
  }
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_DEBUG) {
    return;
  }
  const std::uint32_t imageSize = nt->OptionalHeader.SizeOfImage;
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
  if (!InImage(directory.VirtualAddress, directory.Size, imageSize)) {
    return;
  }
  const auto* entries =
      reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(base + directory.VirtualAddress);
  const std::size_t entryCount = directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY);
  for (std::size_t i = 0; i < entryCount; ++i) {
    const IMAGE_DEBUG_DIRECTORY& entry = entries[i];
    constexpr std::uint32_t kRsdsHead = 4 + 16 + 4;
    if (entry.Type != IMAGE_DEBUG_TYPE_CODEVIEW || entry.AddressOfRawData == 0 ||
        entry.SizeOfData <= kRsdsHead ||
        !InImage(entry.AddressOfRawData, entry.SizeOfData, imageSize)) {
      continue;
    }
    const unsigned char* record = base + entry.AddressOfRawData;
    if (std::memcmp(record, "RSDS", 4) != 0) {
      continue;
    }
    const char* name = reinterpret_cast<const char*>(record + kRsdsHead);
    const std::size_t room = entry.SizeOfData - kRsdsHead;
    std::size_t nameLength = 0;
    while (nameLength < room && nameLength < kMaxPdbName && name[nameLength] != '\0') {
      ++nameLength;
    }
    if (nameLength == 0 || !out.Fits(kModuleRecordSize + nameLength)) {
      return;
    }
    out.Put(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(base)));
    out.Put(imageSize);
    out.Put(static_cast<std::uint32_t>(nt->FileHeader.TimeDateStamp));
    out.Put(record + 4, 16 + 4);  // GUID, then age
    out.Put(static_cast<std::uint16_t>(nameLength));
    out.Put(name, nameLength);
    ++count;
    return;
  }
}

// Length of the folder part of `path`, its last backslash included; 0 when there is none.
std::size_t FolderLength(const wchar_t* path) {
  std::size_t folder = 0;
  for (std::size_t i = 0; path[i] != L'\0'; ++i) {
    if (path[i] == L'\\' || path[i] == L'/') {
      folder = i + 1;
    }
  }
  return folder;
}

// The modules loaded from the executable's own folder: the program and the libraries shipped
// beside it, which are the ones whose symbols are ours to find.
std::uint32_t PutOwnModules(Writer& out) {
  const DWORD exeLength = GetModuleFileNameW(nullptr, g_exePath, MAX_PATH);
  if (exeLength == 0 || exeLength >= MAX_PATH) {
    return 0;
  }
  const std::size_t folder = FolderLength(g_exePath);
  DWORD needed = 0;
  if (folder == 0 ||
      !EnumProcessModules(GetCurrentProcess(), g_modules, sizeof(g_modules), &needed)) {
    return 0;
  }
  const DWORD listed = static_cast<DWORD>(needed / sizeof(HMODULE));
  const DWORD count = listed < kMaxModules ? listed : kMaxModules;
  std::uint32_t recorded = 0;
  for (DWORD i = 0; i < count; ++i) {
    const DWORD length = GetModuleFileNameW(g_modules[i], g_modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || FolderLength(g_modulePath) != folder ||
        CompareStringOrdinal(g_exePath, static_cast<int>(folder), g_modulePath,
                             static_cast<int>(folder), TRUE) != CSTR_EQUAL) {
      continue;
    }
    PutModule(out, g_modules[i], recorded);
  }
  return recorded;
}

// --- Frames -------------------------------------------------------------------------------------

// The committed read-write stack memory around `sp`: [low, high). False when `sp` is not in such
// memory (a stack pointer gone astray).
bool StackRange(std::uint64_t sp, std::uint64_t& low, std::uint64_t& high) {
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(reinterpret_cast<const void*>(sp), &info, sizeof(info)) != sizeof(info) ||
      info.State != MEM_COMMIT || info.Type != MEM_PRIVATE ||
      (info.Protect & (PAGE_READWRITE | PAGE_GUARD | PAGE_NOACCESS)) != PAGE_READWRITE) {
    return false;
  }
  low = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
  high = low + info.RegionSize;
  return true;
}

bool OnStack(std::uint64_t address, std::uint64_t size, std::uint64_t low, std::uint64_t high) {
  return address >= low && address <= high && size <= high - address;
}

// The C runtime's stack probe (___chkstk_ms of mingw-w64's libgcc) has no unwind information, and
// a stack overflow faults inside it. It pushes two registers before probing, so at either probe
// instruction the caller's return address is 16 bytes above the stack pointer. Its code is matched
// from its start, which lies at a fixed distance before either probe instruction.
bool InStackProbe(std::uint64_t ip) {
  static constexpr unsigned char kStart[] = {0x51, 0x50, 0x48, 0x3d, 0x00, 0x10, 0x00,
                                             0x00, 0x48, 0x8d, 0x4c, 0x24, 0x18};
  static constexpr unsigned char kProbe[] = {0x48, 0x83, 0x09, 0x00};
  static constexpr std::uint64_t kProbeOffsets[] = {0x16, 0x2b};
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(ip), &module)) {
    return false;
  }
  const auto moduleBase = reinterpret_cast<std::uintptr_t>(module);
  for (std::uint64_t offset : kProbeOffsets) {
    // Both ends inside the module's image, which is mapped whole.
    if (ip - offset < moduleBase) {
      continue;
    }
    const auto* start = reinterpret_cast<const unsigned char*>(ip - offset);
    if (std::memcmp(start, kStart, sizeof(kStart)) == 0 &&
        std::memcmp(start + offset, kProbe, sizeof(kProbe)) == 0) {
      return true;
    }
  }
  return false;
}

DWORD64& IntegerRegister(CONTEXT& context, unsigned number) {
  // Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi, R8 ... R15 follow each other in CONTEXT.
  return (&context.Rax)[number];
}

// How unwinding one function reads the stack: from `base` (the stack pointer, or the frame
// register less its offset) up to `reach` bytes above it, the return address included.
struct FrameExtent {
  std::uint64_t base;
  std::uint64_t reach;
};

// Sums what the function's unwind codes (and those of the entries they chain to) pop, free or
// read back, from the documented x64 unwind information. Larger than the truth inside a prologue,
// which only makes the check stricter.
FrameExtent ExtentOf(CONTEXT& context, std::uint64_t imageBase, const RUNTIME_FUNCTION* function) {
  FrameExtent extent = {context.Rsp, 0};
  std::uint64_t popped = 0;
  std::uint64_t readTo = 0;
  for (int chain = 0; chain < 8 && function != nullptr; ++chain) {
    const auto* info = reinterpret_cast<const unsigned char*>(imageBase + function->UnwindData);
    const unsigned flags = info[0] >> 3;
    const unsigned codeCount = info[2];
    if (chain == 0 && (info[3] & 0x0f) != 0) {
      extent.base = IntegerRegister(context, info[3] & 0x0f) - 16u * (info[3] >> 4);
    }
    const auto* codes = reinterpret_cast<const std::uint16_t*>(info + 4);
    for (unsigned i = 0; i < codeCount; ++i) {
      const unsigned op = (codes[i] >> 8) & 0x0f;
      const unsigned opInfo = codes[i] >> 12;
      auto slot = [&](unsigned n) -> std::uint64_t { return i + n < codeCount ? codes[i + n] : 0; };
      switch (op) {
        case 0:
          popped += 8;
          break;  // push of a non-volatile register
        case 1:   // large allocation
          if (opInfo == 0) {
            popped += slot(1) * 8;
            i += 1;
          } else {
            popped += slot(1) | (slot(2) << 16);
            i += 2;
          }
          break;
        case 2:
          popped += opInfo * 8 + 8;
          break;  // small allocation
        case 3:
          break;  // frame register set
        case 4:
          readTo = std::max(readTo, slot(1) * 8 + 8);
          i += 1;
          break;
        case 5:
          readTo = std::max(readTo, (slot(1) | (slot(2) << 16)) + 8);
          i += 2;
          break;
        case 8:
          readTo = std::max(readTo, slot(1) * 16 + 16);
          i += 1;
          break;
        case 9:
          readTo = std::max(readTo, (slot(1) | (slot(2) << 16)) + 16);
          i += 2;
          break;
        case 10:
          popped += opInfo != 0 ? 48 : 40;
          break;  // machine frame
        default:
          break;
      }
    }
    if ((flags & UNW_FLAG_CHAININFO) == 0) {
      break;
    }
    // The chained entry follows the codes, which are padded to an even count.
    function = reinterpret_cast<const RUNTIME_FUNCTION*>(info + 4 + 2 * ((codeCount + 1) & ~1u));
  }
  extent.reach = (popped + 8 > readTo ? popped + 8 : readTo);
  return extent;
}

// Unwinds the faulting thread from its recorded context, one frame at a time, through the unwind
// information of the loaded modules. Each step must leave the stack pointer higher and within the
// committed stack it started in; any step that cannot be taken safely ends the walk.
std::uint32_t PutFrames(Writer& out, const CONTEXT& recorded, std::uint32_t& flags,
                        std::uint32_t& skipped) {
  g_context = recorded;
  CONTEXT& context = g_context;
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  if (!StackRange(context.Rsp, low, high)) {
    return 0;
  }
  std::uint64_t steps = 0;
  std::uint32_t kept = 0;  // in the head, written directly
  std::uint64_t tail = 0;  // frames past the head, the last kTailFrames of them in g_tail
  while (steps < kMaxSteps) {
    const std::uint64_t ip = context.Rip;
    const std::uint64_t sp = context.Rsp;
    if (ip == 0 && steps > 0) {
      flags |= kTriageFramesComplete;
      break;
    }
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(ip, &imageBase, nullptr);
    if (kept < kHeadFrames && out.Fits(kFrameSize)) {
      out.Put(ip);
      out.Put(sp);
      out.Put(static_cast<std::uint64_t>(imageBase));
      ++kept;
    } else {
      g_tail[tail % kTailFrames] = {ip, sp, static_cast<std::uint64_t>(imageBase)};
      ++tail;
    }
    ++steps;
    if (!OnStack(sp, 8, low, high) || (sp & 7) != 0) {
      break;
    }
    if (function != nullptr) {
      // Everything the unwinding reads must lie in the stack; a frame register gone astray or a
      // frame larger than what is left of the stack ends the walk.
      const FrameExtent extent = ExtentOf(context, imageBase, function);
      if (!OnStack(extent.base, extent.reach, low, high)) {
        break;
      }
      PVOID handlerData = nullptr;
      DWORD64 establisherFrame = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, ip, function, &context, &handlerData,
                       &establisherFrame, nullptr);
    } else if (steps == 1 && InStackProbe(ip)) {
      if (!OnStack(sp + 16, 8, low, high)) {
        break;
      }
      context.Rip = *reinterpret_cast<const DWORD64*>(sp + 16);
      context.Rsp = sp + 24;
    } else if (steps == 1) {
      // A leaf function: no frame of its own, the return address is on top of the stack.
      context.Rip = *reinterpret_cast<const DWORD64*>(sp);
      context.Rsp = sp + 8;
    } else {
      break;
    }
    if (context.Rsp <= sp || context.Rsp > high) {
      break;
    }
  }
  const std::uint64_t tailKept = tail < kTailFrames ? tail : kTailFrames;
  skipped = static_cast<std::uint32_t>(tail - tailKept);
  for (std::uint64_t i = tail - tailKept; i < tail && out.Fits(kFrameSize); ++i) {
    const Frame& frame = g_tail[i % kTailFrames];
    out.Put(frame.ip);
    out.Put(frame.sp);
    out.Put(frame.imageBase);
    ++kept;
  }
  return kept;
}

}  // namespace

TriageStream::TriageStream(const EXCEPTION_POINTERS* exception, DWORD threadId) {
  if (g_busy.test_and_set()) {
    return;
  }
  held_ = true;
  std::uint32_t flags = 0;
  Writer frames(kHeaderSize);
  std::uint32_t frameCount = 0;
  std::uint32_t skipped = 0;
  if (exception != nullptr && exception->ContextRecord != nullptr) {
    frameCount = PutFrames(frames, *exception->ContextRecord, flags, skipped);
  }
  Writer modules(frames.Used());
  const std::uint32_t moduleCount = PutOwnModules(modules);
  if (frameCount == 0 && moduleCount == 0) {
    return;
  }
  Writer header(0);
  header.Put(kMagic, sizeof(kMagic));
  header.Put(kHeaderSize);
  header.Put(static_cast<std::uint32_t>(threadId));
  header.Put(frameCount);
  header.Put(moduleCount);
  header.Put(flags);
  header.Put(skipped);
  size_ = static_cast<ULONG>(modules.Used());
  stream_.Type = kTriageStreamType;
  stream_.BufferSize = size_;
  stream_.Buffer = g_buffer;
  information_.UserStreamCount = 1;
  information_.UserStreamArray = &stream_;
}

TriageStream::~TriageStream() {
  if (held_) {
    g_busy.clear();
  }
}
