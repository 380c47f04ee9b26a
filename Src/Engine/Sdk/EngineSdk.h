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

// The engine's values, each list written once as X(name, value): the constants below and their
// texts (Engine/EngineEnumerations.cpp, where each text is the constant's name) are both made
// from these lists. Plain 32-bit numbers as they cross the boundary; the system compares them whole.
#define ENGINE_SDK_SCAN_ACTIONS(X) \
    X(Default, 0) X(None, 1) X(Abort, 2) X(Disinfect, 3) X(Rename, 4) X(Delete, 5) X(QuarCopy, 6) \
    X(QuarMove, 7) X(QuarCopyArch, 8) X(QuarMoveArch, 9) X(DisinfectOnly, 10) X(Skip, 11)

#define ENGINE_SDK_OBJECT_TYPES(X) \
    X(File, 0) X(BootSector, 1) X(Process, 2) X(RegistryKey, 3) X(Cookie, 4) X(MimeMessage, 5) X(Stream, 6)

#define ENGINE_SDK_SCAN_STATUSES(X) \
    X(ScanFailed, 0) X(Clean, 1) X(Disinfected, 2) X(Infected, 3) X(Suspicious, 4) X(Deleted, 5) \
    X(Moved, 6) X(Hidden, 7) X(UpdateFailed, 8) X(DeletedReboot, 9) X(PasswordProtected, 10) \
    X(MovedReboot, 11)

#define ENGINE_SDK_THREAT_TYPES(X) \
    X(Virus, 0) X(Spyware, 1) X(Adware, 2) X(Spam, 3) X(Rootkit, 4) X(Dialer, 5) X(App, 6) X(ArchBomb, 7)

// In list order (ascending bits, Stream last): the order in which a flags word's names are written.
#define ENGINE_SDK_OBJECT_FLAGS(X) \
    X(Modified, 0x1) X(Archive, 0x2) X(Password, 0x4) X(Corrupted, 0x10) X(Packed, 0x20) \
    X(Temporary, 0x40) X(UnkMethod, 0x80) X(HasMacros, 0x100) X(Unpacked, 0x200) X(Move, 0x800) \
    X(IsBootImage, 0x1000) X(Adware, 0x2000) X(Spyware, 0x4000) X(Dialer, 0x8000) X(App, 0x10000) \
    X(Cookie, 0x20000) X(Proc, 0x40000) X(Reg, 0x80000) X(Folder, 0x200000) X(UnableToRead, 0x400000) \
    X(NotUpdatable, 0x800000) X(EncryptedFs, 0x1000000) X(Container, 0x2000000) X(ArchBomb, 0x4000000) \
    X(KeyLogger, 0x8000000) X(Stream, 0x10000000)

// EngineResultCode: the failures of the exports (0 is success and has no name).
#define ENGINE_SDK_RESULT_CODES(X) \
    X(Failed, 0xC0000000) X(FileOpen, 0xC0000001) X(FileCreate, 0xC0000002) X(FileSeek, 0xC0000003) \
    X(FileRemove, 0xC0000004) X(FileCopy, 0xC0000005) X(FileRename, 0xC0000006) X(FileMove, 0xC0000007) \
    X(FirFind, 0xC000000B) X(FnInit, 0xC000000F) X(NoMemory, 0xC0000010) X(PathError, 0xC0000011) \
    X(InvalidHandle, 0xC0000012) X(Disinfect, 0xC0000013) X(NotSupported, 0xC0000015) X(Param2, 0xC0000017) \
    X(Param3, 0xC0000018) X(Param4, 0xC0000019) X(Param5, 0xC000001A) X(FileRead, 0xC000001B) \
    X(UtfConversion, 0xC000001C) X(PathAccess, 0xC000001D) X(TmpPath, 0xC000001E) X(Plugin, 0xC000001F) \
    X(FileWrite, 0xC0000020) \
    X(DbinfoUnavailable, 0xC0001002) X(LoadingEngine, 0xC0001003) X(AllocatingEngine, 0xC0001004) \
    X(SharedMemMapping, 0xC0001005) X(FileInformation, 0xC0001006) X(InitRequired, 0xC0001007) \
    X(InvalidArgument, 0xC0001008) X(Busy, 0xC0001009) X(CouldNotSetPriority, 0xC000100A) \
    X(CouldNotUpdateInstance, 0xC000100B) X(CouldNotInitialize, 0xC000100C) \
    X(Stopped, 0x40000001) X(NoPlugins, 0x40000003) X(MaxFiles, 0x40000004) X(MaxLevels, 0x40000005) \
    X(MaxBytes, 0x40000006)

#define ENGINE_SDK_ENUMERATOR(name, value) name = value,

namespace ScanAction
{
enum : int { ENGINE_SDK_SCAN_ACTIONS(ENGINE_SDK_ENUMERATOR) };
}

namespace ObjectType
{
enum : std::uint32_t { ENGINE_SDK_OBJECT_TYPES(ENGINE_SDK_ENUMERATOR) };
}

namespace ScanStatus
{
enum : std::uint32_t { ENGINE_SDK_SCAN_STATUSES(ENGINE_SDK_ENUMERATOR) };
}

namespace ThreatType
{
enum : std::uint32_t { ENGINE_SDK_THREAT_TYPES(ENGINE_SDK_ENUMERATOR) };
}

namespace ObjectFlag
{
enum : std::uint32_t { ENGINE_SDK_OBJECT_FLAGS(ENGINE_SDK_ENUMERATOR) };
}

#undef ENGINE_SDK_ENUMERATOR

// The codes are signed as the exports return them.
namespace Result
{
constexpr int Success = 0;
constexpr int Code(std::uint32_t value) { return static_cast<int>(value); }
#define ENGINE_SDK_RESULT_CONSTANT(name, value) constexpr int name = Code(value);
ENGINE_SDK_RESULT_CODES(ENGINE_SDK_RESULT_CONSTANT)
#undef ENGINE_SDK_RESULT_CONSTANT
}

} // namespace EngineSdk
