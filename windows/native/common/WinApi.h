#ifndef MORV_WINAPI_H
#define MORV_WINAPI_H

// The one way the launcher includes <windows.h>. The macros below change what
// that header declares, so they are set here, once, for every file that
// includes it; a file that included <windows.h> on its own first would see
// other declarations.

// The unsuffixed names (CreateProcess, MessageBox, STARTUPINFO) mean the
// wide functions and types: the launcher's text is UTF-16 throughout.
#ifndef UNICODE
#define UNICODE
#endif
// The same for the C runtime's _t names.
#ifndef _UNICODE
#define _UNICODE
#endif
// Leaves out what the launcher never calls (sockets, RPC, cryptography, the
// shell's COM interfaces): fewer declarations and fewer macros that could
// collide with our own names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// Without it <windows.h> defines min and max as macros, which break
// std::min, std::max and std::numeric_limits<T>::max().
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Leaves out the graphics device interface, which the launcher does not use
// and whose header defines ERROR as a macro (0): that would replace the log
// level ERROR wherever both are seen.
#ifndef NOGDI
#define NOGDI
#endif
// Declares the API of Windows 10 and earlier (AddDllDirectory and the
// LOAD_LIBRARY_SEARCH_* flags, GetLocaleInfoEx). Functions that older systems
// lack are still looked up at run time.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif

#include <windows.h>

#endif
