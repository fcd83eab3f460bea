#pragma once

#include <windows.h>

#include <cstddef>

// Formats into a fixed buffer without allocating, following the Windows C runtime's printf
// conventions (in the wide form %s is a wide string; %p prints 16 upper-case hex digits).
// `capacity` counts units (characters or bytes), terminator included.
//   S_OK                 the whole text fitted (exactly capacity - 1 units fits) and is terminated;
//   kFormatTruncated     it did not fit (or could not be converted): the buffer holds the first
//                        capacity - 1 units, terminated;
//   E_INVALIDARG         capacity is 0 (buffer untouched) or above kFormatBoundedMaxCapacity
//                        (first unit set to 0).
// Callers treat any negative result as failure.

inline constexpr HRESULT kFormatTruncated = static_cast<HRESULT>(0x8007007AL);
inline constexpr std::size_t kFormatBoundedMaxCapacity = 2147483647;

HRESULT FormatBounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...);
HRESULT FormatBounded(char* buffer, std::size_t capacity, const char* format, ...);
