#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <cstdint>

// A minidump user stream that carries what turning a dump into functions and lines needs and what
// not every minidump writer records: the CodeView record (PDB GUID, age and name) of each module
// loaded from the executable's folder, read from its debug directory in memory, and the faulting
// thread's frames unwound in this process from the exception's context. It is built in fixed
// buffers without allocating, as a crash handler may; whatever cannot be read safely is left out,
// and when nothing can be built there is no stream, never a failed dump.
//
// Layout (little-endian, no padding):
//   header   char magic[8] "TOVTRI01", u32 headerSize (32), u32 threadId, u32 frameCount,
//            u32 moduleCount, u32 flags (kTriageFramesComplete), u32 skippedFrames
//   frames   frameCount x {u64 instruction pointer, u64 stack pointer, u64 module base or 0};
//            the first is the faulting instruction, the others return addresses; a deep stack
//            keeps its 512 innermost and 512 outermost frames, and skippedFrames were between
//   modules  moduleCount x {u64 base, u32 SizeOfImage, u32 TimeDateStamp, u8 guid[16] (the
//            GUID's in-memory bytes), u32 age, u16 nameLength, char pdbName[nameLength]}
constexpr ULONG kTriageStreamType = 0x54560001;
constexpr std::uint32_t kTriageFramesComplete = 1;  // the walk reached the thread's first frame

// Holds the one stream buffer of the process while it lives. Only one can hold it at a time; a
// second one made meanwhile (two faults at once) has no stream.
class TriageStream {
 public:
  // `exception` may be null (no frames then); `threadId` is the thread whose context it holds.
  TriageStream(const EXCEPTION_POINTERS* exception, DWORD threadId);
  ~TriageStream();
  TriageStream(const TriageStream&) = delete;
  TriageStream& operator=(const TriageStream&) = delete;

  // The stream for MiniDumpWriteDump's user-stream argument, or null when there is none.
  PMINIDUMP_USER_STREAM_INFORMATION Get() { return held_ && size_ > 0 ? &information_ : nullptr; }

 private:
  bool held_ = false;
  ULONG size_ = 0;
  MINIDUMP_USER_STREAM stream_ = {};
  MINIDUMP_USER_STREAM_INFORMATION information_ = {};
};
