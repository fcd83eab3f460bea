#include "crash/format_bounded.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

// MSVC deprecates the _vsn*printf family in favour of the _s forms, which call the
// invalid-parameter handler on some errors; a crash handler must not end up there, and the
// bounds are handled below.
#if defined(_MSC_VER)
#pragma warning(disable : 4996)
#endif

namespace {

// The runtime's _vsn*printf write at most `limit` units and answer -1 when the text is longer
// (or a conversion fails), leaving the first `limit` units in place but unterminated; a text of
// exactly `limit` units is also left unterminated. Both cases are terminated here.
template <typename Char, typename Format>
HRESULT FormatInto(Char* buffer, std::size_t capacity, Format vformat, const Char* format,
                   va_list args) {
  if (capacity == 0) {
    return E_INVALIDARG;
  }
  if (capacity > kFormatBoundedMaxCapacity) {
    buffer[0] = 0;
    return E_INVALIDARG;
  }
  const std::size_t limit = capacity - 1;
  const int written = vformat(buffer, limit, format, args);
  buffer[limit] = 0;
  if (written < 0 || static_cast<std::size_t>(written) > limit) {
    return kFormatTruncated;
  }
  buffer[written] = 0;
  return S_OK;
}

}  // namespace

HRESULT FormatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const HRESULT hr = FormatInto(buffer, capacity, _vsnwprintf, format, args);
  va_end(args);
  return hr;
}

HRESULT FormatBounded(char* buffer, std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const HRESULT hr = FormatInto(buffer, capacity, _vsnprintf, format, args);
  va_end(args);
  return hr;
}
