// The binary contract between a panel host and a panel script, and what makes
// it one contract under every compiler that builds either side.
//
// The studio's host is built with Microsoft's compiler; scripts are built
// with MinGW's g++ (the studio's 32-bit DLL), g++ or clang. The contract is
// the layout Microsoft's C++ ABI gives these declarations:
//   - drez_client_host.h      the host object a script talks to
//   - drez_client_callback.h  the script object the host talks to, the
//                             callback kinds, and how a host destroys a script
//   - drez_records.h          the records the host hands over, with their
//                             32-bit layout checks
//   - drez_export.h           the library's one export and its type
//   - drez_commands.h         the command vocabulary: each command's code,
//                             operands and result, as one table
// Every header of this folder compiles on its own, without a C++ standard
// library, so that a freestanding host can include it.

#ifndef DREZ_ABI_DREZ_ABI_H_
#define DREZ_ABI_DREZ_ABI_H_

// 1 when this compiler follows Microsoft's C++ ABI (MSVC, and clang for a
// *-windows-msvc target); 0 for the Itanium C++ ABI (g++, MinGW, clang
// elsewhere). The two lay out a virtual destructor differently, which the
// script interface accounts for.
#if defined(_MSC_VER)
#define DREZ_MSVC_ABI 1
#else
#define DREZ_MSVC_ABI 0
#endif

// The calling convention of every virtual operation of the contract. On
// 32-bit x86 Windows it is thiscall: `this` in ECX, the arguments on the
// stack from right to left, and the callee pops them. Microsoft's compiler
// and MinGW's g++ both use it for member functions by default; it is written
// out so that no compiler option can change it. Other targets have one
// convention for everything, and this is empty.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#if defined(_MSC_VER)
#define DREZ_THISCALL __thiscall
#define DREZ_CDECL __cdecl
#else
#define DREZ_THISCALL __attribute__((thiscall))
#define DREZ_CDECL __attribute__((cdecl))
#endif
#else
#define DREZ_THISCALL
#define DREZ_CDECL
#endif

#endif  // DREZ_ABI_DREZ_ABI_H_
