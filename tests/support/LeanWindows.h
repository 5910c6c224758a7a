// windows.h for the tests of the Windows build, without the printer and GDI names that would
// shadow the program's own (SetPort) and without the min and max macros.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
