#include "devkit/embedding/trace_writer.h"

#include <windows.h>

#include <cstdlib>

#include "devkit/embedding/wide_text.h"

namespace devkit {
namespace {

// Lines kept while no destination is known; start-up makes a handful of
// calls before the engine exists, so this bound is never reached in practice.
constexpr size_t kMaxHeldBackLines = 4096;

}  // namespace

TraceWriter::TraceWriter() = default;

TraceWriter::~TraceWriter() = default;

void TraceWriter::OpenFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  settled_ = true;
  environment_checked_ = true;
  file_.reset();  // closed before the same path may be opened again
  file_.reset(_wfopen(WideFromUtf8(path).c_str(), L"wb"));
  if (file_ == nullptr) {
    held_back_.clear();
    return;
  }
  while (!held_back_.empty()) {
    WriteLocked(held_back_.front());
    held_back_.pop_front();
  }
}

void TraceWriter::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  file_.reset();
  settled_ = true;
  environment_checked_ = true;
  held_back_.clear();
}

void TraceWriter::SettleDestination() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (settled_) return;
  OpenFromEnvironmentLocked();
  settled_ = true;
  if (file_ == nullptr) held_back_.clear();
}

void TraceWriter::Line(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!environment_checked_) OpenFromEnvironmentLocked();
  if (file_ != nullptr) {
    WriteLocked(line);
  } else if (!settled_ && held_back_.size() < kMaxHeldBackLines) {
    held_back_.push_back(line);
  }
}

void TraceWriter::OpenFromEnvironmentLocked() {
  environment_checked_ = true;
  const wchar_t* path = _wgetenv(L"TOVAN_DEVKIT_TRACE");
  if (path == nullptr || path[0] == L'\0') return;
  file_.reset(_wfopen(path, L"wb"));
  if (file_ == nullptr) return;
  settled_ = true;
  while (!held_back_.empty()) {
    WriteLocked(held_back_.front());
    held_back_.pop_front();
  }
}

void TraceWriter::WriteLocked(const std::string& line) {
  fwrite(line.data(), 1, line.size(), file_.get());
  fputc('\n', file_.get());
  fflush(file_.get());
}

TraceWriter& Trace() {
  // Never destroyed: calls may still arrive while the process exits.
  static TraceWriter* writer = new TraceWriter();
  return *writer;
}

std::string Quote(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out.push_back('\\');
      out.push_back(c);
    } else if (code < 0x20 || code > 0x7E) {
      out += "\\x";
      out.push_back(kHex[code >> 4]);
      out.push_back(kHex[code & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string QuoteOrNull(const char* text) { return text == nullptr ? "null" : Quote(text); }

std::string QuoteWide(const wchar_t* text) {
  return text == nullptr ? "null" : Quote(Utf8FromWide(text));
}

}  // namespace devkit
