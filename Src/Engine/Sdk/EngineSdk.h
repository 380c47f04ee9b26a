#pragma once

// The engine SDK boundary: the records, callbacks and exports of the vendor's
// scan.dll as the system uses them. The one header shared by the system (Scanner) and the
// reference engine stand-in (StandIns/ReferenceEngine); nothing else of either side is shared.
// Plain C layout: the engine exports are extern "C", little-endian, 8-byte pointers.

#include <cstddef>
#include <cstdint>

// The engine's instance; opaque to the system, which only stores and passes the pointer.
struct CThreatScannerStruct;

// Records that appear only in the extended-scan callback's signature; never read or written
// by the system.
struct _ScanCbkExtScanParams;
struct _ScanExtCbks;

// Parameter block of ThreatScanner_InitializeEx: 120 bytes, cleared to zero as a whole by the
// caller before the listed fields are set. The caller releases it and the texts it points to
// when the call returns: the engine copies what it keeps.
struct _InitializeParams
{
    std::uint32_t size;                 // 120
    std::uint32_t reserved4;            // zero
    std::uint64_t reserved8;            // zero (set explicitly)
    const wchar_t* programFolder;       // null-terminated
    const wchar_t* quarantineFolder;    // "Quarantine" in the program folder
    const wchar_t* tempFolder;          // "Temp" in the program folder
    std::uint32_t reserved40;           // zero (set explicitly)
    unsigned char reserved44[76];       // zero
};

// One scan report, owned by the engine and valid only during the scan callback. Text
// pointers are null-terminated wide text and may be null. The system reads nothing beyond
// offset 100 and writes nothing into it.
struct _ScanCbkParams
{
    std::uint32_t reserved0;            // not read by the system
    std::uint32_t objectType;           // ObjectType
    const wchar_t* path;
    const wchar_t* parentContainers;
    const wchar_t* innerObject;
    std::uint32_t objectFlags;          // ObjectFlag bit set
    std::int32_t archiveFlags;
    std::uint32_t scanStatus;           // ScanStatus
    std::int32_t scanStatusFlags;
    std::uint32_t threatType;           // ThreatType
    std::uint32_t pid;
    std::uint32_t regKey;
    std::uint32_t reserved60;           // not read by the system
    const wchar_t* threatName;
    const wchar_t* sysObjParentContainers;
    const wchar_t* sysObjInnerObject;
    const wchar_t* tempPath;
    std::uint32_t depthLevel;
};

static_assert(sizeof(void*) == 8, "the engine SDK is 64-bit only");
static_assert(sizeof(wchar_t) == 2, "the engine SDK's wide text is UTF-16");

static_assert(sizeof(_InitializeParams) == 120, "_InitializeParams must be 120 bytes");
static_assert(offsetof(_InitializeParams, size) == 0, "_InitializeParams::size");
static_assert(offsetof(_InitializeParams, reserved4) == 4, "_InitializeParams::reserved4");
static_assert(offsetof(_InitializeParams, reserved8) == 8, "_InitializeParams::reserved8");
static_assert(offsetof(_InitializeParams, programFolder) == 16, "_InitializeParams::programFolder");
static_assert(offsetof(_InitializeParams, quarantineFolder) == 24, "_InitializeParams::quarantineFolder");
static_assert(offsetof(_InitializeParams, tempFolder) == 32, "_InitializeParams::tempFolder");
static_assert(offsetof(_InitializeParams, reserved40) == 40, "_InitializeParams::reserved40");
static_assert(offsetof(_InitializeParams, reserved44) == 44, "_InitializeParams::reserved44");

static_assert(offsetof(_ScanCbkParams, objectType) == 4, "_ScanCbkParams::objectType");
static_assert(offsetof(_ScanCbkParams, path) == 8, "_ScanCbkParams::path");
static_assert(offsetof(_ScanCbkParams, parentContainers) == 16, "_ScanCbkParams::parentContainers");
static_assert(offsetof(_ScanCbkParams, innerObject) == 24, "_ScanCbkParams::innerObject");
static_assert(offsetof(_ScanCbkParams, objectFlags) == 32, "_ScanCbkParams::objectFlags");
static_assert(offsetof(_ScanCbkParams, archiveFlags) == 36, "_ScanCbkParams::archiveFlags");
static_assert(offsetof(_ScanCbkParams, scanStatus) == 40, "_ScanCbkParams::scanStatus");
static_assert(offsetof(_ScanCbkParams, scanStatusFlags) == 44, "_ScanCbkParams::scanStatusFlags");
static_assert(offsetof(_ScanCbkParams, threatType) == 48, "_ScanCbkParams::threatType");
static_assert(offsetof(_ScanCbkParams, pid) == 52, "_ScanCbkParams::pid");
static_assert(offsetof(_ScanCbkParams, regKey) == 56, "_ScanCbkParams::regKey");
static_assert(offsetof(_ScanCbkParams, reserved60) == 60, "_ScanCbkParams::reserved60");
static_assert(offsetof(_ScanCbkParams, threatName) == 64, "_ScanCbkParams::threatName");
static_assert(offsetof(_ScanCbkParams, sysObjParentContainers) == 72, "_ScanCbkParams::sysObjParentContainers");
static_assert(offsetof(_ScanCbkParams, sysObjInnerObject) == 80, "_ScanCbkParams::sysObjInnerObject");
static_assert(offsetof(_ScanCbkParams, tempPath) == 88, "_ScanCbkParams::tempPath");
static_assert(offsetof(_ScanCbkParams, depthLevel) == 96, "_ScanCbkParams::depthLevel");
static_assert(sizeof(_ScanCbkParams) == 104, "_ScanCbkParams: 100 bytes read, padded to 104");

// The callbacks (function types; register a pointer to one).
// Scan callback: report, action slot (a ScanAction the engine carries out), context.
using ThreatScanner_ScanCallback_t = void(_ScanCbkParams*, int*, void*);
using ThreatScanner_PasswordCallback_t = void(int, const wchar_t*, wchar_t*, int*, void*);
using ThreatScanner_ExtCallback_t = void(_ScanCbkExtScanParams*, _ScanExtCbks*, int*, void*);

// The twelve exports, as function types (DllHelper::Detail::DllFunction<Signature, 0>).
// Every one returns 0 on success; any other value is a failure (EngineResultCode).
using ThreatScanner_Initialize_t = int(const wchar_t*, const wchar_t*);
using ThreatScanner_InitializeEx_t = int(const wchar_t*, const wchar_t*, wchar_t*, _InitializeParams*);
using ThreatScanner_Uninitialize_t = int(void);
using ThreatScanner_CreateInstance_t = int(CThreatScannerStruct**);
using ThreatScanner_DestroyInstance_t = int(CThreatScannerStruct*);
using ThreatScanner_SetIntOption_t = int(CThreatScannerStruct*, int, int);
using ThreatScanner_SetScanCallback2_t = int(CThreatScannerStruct*, ThreatScanner_ScanCallback_t*, void*);
using ThreatScanner_SetPasswordCallback_t = int(CThreatScannerStruct*, ThreatScanner_PasswordCallback_t*, void*);
using ThreatScanner_SetExtCallback_t = int(CThreatScannerStruct*, ThreatScanner_ExtCallback_t*, void*);
// (h, 0, path, scanner's process id)
using ThreatScanner_ScanPath_t = int(CThreatScannerStruct*, int, const wchar_t*, int);
// (h, 0 system object / 1 boot sector, object name, 0, out, out, out, scanner's process id,
//  "<System>" or null)
using ThreatScanner_ScanObject_t = int(CThreatScannerStruct*, int, const wchar_t*, int, int*, int*,
    const wchar_t**, int, const wchar_t*);
// (h, database version, release time in seconds since 1970-01-01; both 32-bit on Win64)
using ThreatScanner_GetDatabaseInformation_t = int(CThreatScannerStruct*, unsigned long*, unsigned long*);

static_assert(sizeof(unsigned long) == 4, "GetDatabaseInformation's fields are 32-bit (LLP64)");

namespace EngineSdk
{

// Export names, for the lookups by name.
constexpr const char* InitializeName = "ThreatScanner_Initialize";
constexpr const char* InitializeExName = "ThreatScanner_InitializeEx";
constexpr const char* UninitializeName = "ThreatScanner_Uninitialize";
constexpr const char* CreateInstanceName = "ThreatScanner_CreateInstance";
constexpr const char* DestroyInstanceName = "ThreatScanner_DestroyInstance";
constexpr const char* SetIntOptionName = "ThreatScanner_SetIntOption";
constexpr const char* SetScanCallback2Name = "ThreatScanner_SetScanCallback2";
constexpr const char* SetPasswordCallbackName = "ThreatScanner_SetPasswordCallback";
constexpr const char* SetExtCallbackName = "ThreatScanner_SetExtCallback";
constexpr const char* ScanPathName = "ThreatScanner_ScanPath";
constexpr const char* ScanObjectName = "ThreatScanner_ScanObject";
constexpr const char* GetDatabaseInformationName = "ThreatScanner_GetDatabaseInformation";

// The engine's initialisation text (second argument of both initialise calls). The engine
// refuses any other text with CouldNotInitialize.
constexpr const wchar_t* InitializationText = L"Brisken-Engine-SDK-Key:7C1E-44A9-B2D0-1105";

// Module names in the program folder.
constexpr const wchar_t* ScanModuleName = L"scan.dll";
constexpr const wchar_t* SmartDbModuleName = L"BKSmartDB.dll";

// ThreatScanner_ScanObject's object kinds (second argument).
constexpr int ScanObjectSystem = 0;
constexpr int ScanObjectBootSector = 1;

// The system object's name.
constexpr const wchar_t* SystemObjectName = L"<System>";

// The engine's values (EngineEnumerations.h gives their texts). Plain 32-bit numbers as they cross the
// boundary; the system compares them whole.
namespace ScanAction
{
enum : int { Default = 0, None = 1, Abort = 2, Disinfect = 3, Rename = 4, Delete = 5, QuarCopy = 6,
    QuarMove = 7, QuarCopyArch = 8, QuarMoveArch = 9, DisinfectOnly = 10, Skip = 11 };
}

namespace ObjectType
{
enum : std::uint32_t { File = 0, BootSector = 1, Process = 2, RegistryKey = 3, Cookie = 4,
    MimeMessage = 5, Stream = 6 };
}

namespace ScanStatus
{
enum : std::uint32_t { ScanFailed = 0, Clean = 1, Disinfected = 2, Infected = 3, Suspicious = 4,
    Deleted = 5, Moved = 6, Hidden = 7, UpdateFailed = 8, DeletedReboot = 9, PasswordProtected = 10,
    MovedReboot = 11 };
}

namespace ThreatType
{
enum : std::uint32_t { Virus = 0, Spyware = 1, Adware = 2, Spam = 3, Rootkit = 4, Dialer = 5, App = 6,
    ArchBomb = 7 };
}

namespace ObjectFlag
{
enum : std::uint32_t { Modified = 0x1, Archive = 0x2, Password = 0x4, Corrupted = 0x10, Packed = 0x20,
    Temporary = 0x40, UnkMethod = 0x80, HasMacros = 0x100, Unpacked = 0x200, Move = 0x800,
    IsBootImage = 0x1000, Adware = 0x2000, Spyware = 0x4000, Dialer = 0x8000, App = 0x10000,
    Cookie = 0x20000, Proc = 0x40000, Reg = 0x80000, Folder = 0x200000, UnableToRead = 0x400000,
    NotUpdatable = 0x800000, EncryptedFs = 0x1000000, Container = 0x2000000, ArchBomb = 0x4000000,
    KeyLogger = 0x8000000, Stream = 0x10000000 };
}

// EngineResultCode: the result of every export. 0 is success.
namespace Result
{
constexpr int Success = 0;
constexpr int Code(std::uint32_t value) { return static_cast<int>(value); }
constexpr int Failed = Code(0xC0000000);
constexpr int FileOpen = Code(0xC0000001);
constexpr int FileCreate = Code(0xC0000002);
constexpr int FileSeek = Code(0xC0000003);
constexpr int FileRemove = Code(0xC0000004);
constexpr int FileCopy = Code(0xC0000005);
constexpr int FileRename = Code(0xC0000006);
constexpr int FileMove = Code(0xC0000007);
constexpr int FirFind = Code(0xC000000B);
constexpr int FnInit = Code(0xC000000F);
constexpr int NoMemory = Code(0xC0000010);
constexpr int PathError = Code(0xC0000011);
constexpr int InvalidHandle = Code(0xC0000012);
constexpr int Disinfect = Code(0xC0000013);
constexpr int NotSupported = Code(0xC0000015);
constexpr int Param2 = Code(0xC0000017);
constexpr int Param3 = Code(0xC0000018);
constexpr int Param4 = Code(0xC0000019);
constexpr int Param5 = Code(0xC000001A);
constexpr int FileRead = Code(0xC000001B);
constexpr int UtfConversion = Code(0xC000001C);
constexpr int PathAccess = Code(0xC000001D);
constexpr int TmpPath = Code(0xC000001E);
constexpr int Plugin = Code(0xC000001F);
constexpr int FileWrite = Code(0xC0000020);
constexpr int DbinfoUnavailable = Code(0xC0001002);
constexpr int LoadingEngine = Code(0xC0001003);
constexpr int AllocatingEngine = Code(0xC0001004);
constexpr int SharedMemMapping = Code(0xC0001005);
constexpr int FileInformation = Code(0xC0001006);
constexpr int InitRequired = Code(0xC0001007);
constexpr int InvalidArgument = Code(0xC0001008);
constexpr int Busy = Code(0xC0001009);
constexpr int CouldNotSetPriority = Code(0xC000100A);
constexpr int CouldNotUpdateInstance = Code(0xC000100B);
constexpr int CouldNotInitialize = Code(0xC000100C);
constexpr int Stopped = Code(0x40000001);
constexpr int NoPlugins = Code(0x40000003);
constexpr int MaxFiles = Code(0x40000004);
constexpr int MaxLevels = Code(0x40000005);
constexpr int MaxBytes = Code(0x40000006);
}

} // namespace EngineSdk
