#pragma once

// Basic types, character type and export markers of the engine, as on Linux.

#include <cstddef>
#include <cstdint>

typedef uint8_t uint8;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef unsigned long long uint64;
typedef int8_t int8;
typedef int16_t int16;
typedef int32_t int32;
typedef signed long long int64;
typedef char ANSICHAR;
typedef char16_t TCHAR;
typedef char16_t UTF16CHAR;
typedef char UTF8CHAR;
typedef std::size_t SIZE_T;
typedef std::ptrdiff_t SSIZE_T;
typedef uintptr_t UPTRINT;
typedef intptr_t PTRINT;

#define TEXT_PASTE(x) u ## x
#define TEXT(x) TEXT_PASTE(x)

#define DLLEXPORT __attribute__((visibility("default")))
#define DLLIMPORT __attribute__((visibility("default")))

#define FORCEINLINE inline __attribute__((always_inline))
#define FORCENOINLINE __attribute__((noinline))
#define PLATFORM_LINUX 1
#define PLATFORM_LITTLE_ENDIAN 1

enum { INDEX_NONE = -1 };

#define UE_ARRAY_COUNT(Array) (sizeof(Array) / sizeof((Array)[0]))

#ifndef WITH_DEV_AUTOMATION_TESTS
#define WITH_DEV_AUTOMATION_TESTS 1
#endif
#ifndef WITH_EDITOR
#define WITH_EDITOR 0
#endif
// Editor-only data (reflection metadata lookups) is on, as in the editor, where the automation tests
// run; define it to 0 to build as a Development or Test game target, which has none.
#ifndef WITH_EDITORONLY_DATA
#define WITH_EDITORONLY_DATA 1
#endif
// Reflection metadata is loaded only where both are on (Misc/CoreMiscDefines.h of 5.3).
#define WITH_METADATA (WITH_EDITORONLY_DATA && WITH_EDITOR)
// Test and Shipping games compile the log out (Misc/Build.h); every other build keeps it.
#ifndef NO_LOGGING
#define NO_LOGGING 0
#endif
