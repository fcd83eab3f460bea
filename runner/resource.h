#pragma once

// Resource identifiers of tovan.exe, shared by the resource script and the
// code that loads them.

// The application icon group: 16, 32 and 48-pixel images, drawn by
// scripts/make_icon.py.
#define IDI_APP_ICON 101
