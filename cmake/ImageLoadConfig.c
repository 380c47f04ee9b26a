/* The load configuration of an image of ours (the executable, the stand-in DLLs). Its
   DependentLoadFlags make Windows (10 version 1607 and later) look for the DLLs the image imports
   in System32 only, never first beside the image: a DLL named after a system DLL (wintrust.dll,
   bcrypt.dll, ...) in a copied program folder would otherwise run with the program's rights.
   This binutils' ld has no --dependent-load-flag and fills no load configuration directory, so
   the structure gets a section of its own, which cmake/SetLoadConfigDirectory.py points the
   image's directory at after linking. */
#include <windows.h>

#include <stddef.h>

/* IMAGE_LOAD_CONFIG_DIRECTORY64 as far as the SEH fields, which this winnt.h has without the
   name of DependentLoadFlags. */
typedef struct
{
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONGLONG DeCommitFreeBlockThreshold;
    ULONGLONG DeCommitTotalFreeThreshold;
    ULONGLONG LockPrefixTable;
    ULONGLONG MaximumAllocationSize;
    ULONGLONG VirtualMemoryThreshold;
    ULONGLONG ProcessAffinityMask;
    DWORD ProcessHeapFlags;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONGLONG EditList;
    ULONGLONG SecurityCookie;
    ULONGLONG SEHandlerTable;
    ULONGLONG SEHandlerCount;
} LoadConfiguration;

_Static_assert(sizeof(LoadConfiguration) == sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64), "the platform's layout");
_Static_assert(offsetof(LoadConfiguration, DependentLoadFlags) == 78, "the PE format's offset");

__attribute__((section(".loadcfg"), used)) const LoadConfiguration _load_config_used = {
    .Size = sizeof(LoadConfiguration),
    .DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32,
};
