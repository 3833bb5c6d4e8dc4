// Compiler glue shared by every layer: calling conventions and printf checks.
#pragma once

#if defined(_WIN32)
#define QUARN_STDCALL __stdcall
#define QUARN_CDECL __cdecl
#define QUARN_PRINTF(format_index, first_arg) \
    __attribute__((format(gnu_printf, format_index, first_arg)))
#else
// Calling conventions vanish on POSIX (x86_64 has one convention).
#define QUARN_STDCALL
#define QUARN_CDECL
#define QUARN_PRINTF(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#endif

// Marks a function exported from a module; the export list itself is the
// module's .def file (Windows) or the version script made from it (POSIX).
#define QUARN_EXPORT extern "C" __attribute__((visibility("default")))
