// The engine's scan callback: one console line per report, infected objects recorded.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Engine/ObjectFlagsToString.h"
#include "Program/ConsoleText.h"
#include "Program/LogError.h"
#include "Program/LogLine.h"
#include "Program/Logger.h"
#include "Scanner/IsOwnSignedFile.h"
#include "Scanner/NotScannedLine.h"

#include "FileSystemHelper/FileName.h"
#include "StringHelper/StringHelper.h"

#include <boost/make_shared.hpp>

#include <cwchar>

namespace BriskenCommandLineScanner
{

namespace
{

// An engine text for a console or log line: what the C run time's formatted output shows for a
// null text, and no control character (an object's name comes from outside the program).
std::wstring Printable(const wchar_t* text)
{
    return text ? StringHelper::MaskControlCharacters(text) : L"(null)";
}

void CopyText(std::wstring& field, const wchar_t* text)
{
    if (text)
        field = text;
}

bool SameText(const std::wstring& field, const wchar_t* text)
{
    return field == (text ? text : L"");
}

bool IsSameObject(const InfectedObject& object, const _ScanCbkParams& report)
{
    return SameText(object.ObjectPath, report.path) && SameText(object.ParentContainers, report.parentContainers) &&
        SameText(object.InnerObject, report.innerObject);
}

bool IsInfectedOrSuspicious(std::uint32_t scanStatus)
{
    return scanStatus == EngineSdk::ScanStatus::Infected || scanStatus == EngineSdk::ScanStatus::Suspicious;
}

// A check that cannot even be started (no memory for the path) counts as not signed by the
// maker, like every other failure of the check. The file is opened by the long form of its path:
// by a plain path, a file named aux.txt or com1 would be the device, which holds the check for
// good.
bool IsOwnSignedPath(const wchar_t* path)
{
    try
    {
        return path && IsOwnSignedFile(FileSystemHelper::LongForm(path));
    }
    catch (const std::exception&)
    {
        return false;
    }
}

// The object as the console names it: its path, and the object inside it when there is one.
std::wstring ObjectName(const _ScanCbkParams& report)
{
    std::wstring name = Printable(report.path);
    if (report.innerObject && *report.innerObject)
        name += L" (" + Printable(report.innerObject) + L")";
    return name;
}

// Logs what failed on the object ("Object not scanned", say) with where the object is, details
// (each as ". Name: value") and the engine's reason.
void LogObjectFailure(const std::wstring& failure, const _ScanCbkParams& report, const std::wstring& details,
    const std::wstring& reason)
{
    LogError(failure, L". Path: ", Printable(report.path), L". Parent Containers: ",
        Printable(report.parentContainers), L". Inner Object: ", Printable(report.innerObject), details,
        L". Reason: ", reason);
}

// After its console line, which looks like any other object's, the console says that it was
// skipped (the engine may report an unreadable boot sector or file so, not as a failed call), and
// the log says why.
void ReportNotScanned(const _ScanCbkParams& report)
{
    const std::wstring reason = ErrorNameOrCode(report.scanStatusFlags);
    PrintNotScanned(report.objectType == EngineSdk::ObjectType::BootSector ? NotScannedBootSector : NotScannedObject,
        ObjectName(report), reason);
    LogObjectFailure(L"Object not scanned", report, L". Object Flags: " + ObjectFlagsToString(report.objectFlags),
        reason);
}

// What the console and the log call the action asked for.
const wchar_t* ActionVerb(std::uint32_t action)
{
    namespace Action = EngineSdk::ScanAction;
    static const struct
    {
        std::uint32_t action;
        const wchar_t* verb;
    } verbs[] = {
        {Action::QuarMove, L"quarantine"}, {Action::QuarMoveArch, L"quarantine"}, {Action::QuarCopy, L"quarantine"},
        {Action::QuarCopyArch, L"quarantine"}, {Action::Delete, L"delete"}, {Action::Disinfect, L"disinfect"},
        {Action::DisinfectOnly, L"disinfect"}, {Action::Rename, L"rename"},
    };
    for (const auto& entry : verbs)
    {
        if (entry.action == action)
            return entry.verb;
    }
    return L"act on";
}

// An infected object left as it was because its action failed: the console says so at once,
// after the object's lines, and the log says why. The record's status alone would show it only
// in the report.
void ReportActionFailed(const _ScanCbkParams& report, std::uint32_t action)
{
    const std::wstring verb = ActionVerb(action);
    const std::wstring reason = ErrorNameOrCode(report.scanStatusFlags);
    PrintCouldNot(verb + L" object", ObjectName(report), reason);
    LogObjectFailure(L"Couldn't " + verb + L" object", report, std::wstring(), reason);
}

void LogCallbackFailure()
{
    LogErrorNoThrow("Scan callback failed: ", CurrentExceptionText());
}

void PrintReportLine(const _ScanCbkParams& report)
{
    const std::wstring parts[] = {
        L"Object Path: ", Printable(report.path),
        L". Parent Containers: ", Printable(report.parentContainers),
        L". Inner Object: ", Printable(report.innerObject),
        L"\n",
    };
    std::wstring line;
    line.reserve(128);
    for (const std::wstring& part : parts)
        line += part;
    WriteConsoleText(line);
}

} // namespace

void Scanner::ScanCallback(_ScanCbkParams* report, int* action, void* context)
{
    // Runs inside the engine's scan call: nothing may unwind into the engine. The console line
    // is guarded on its own, so that a failure to print it cannot cost the record.
    if (!report)
        return;
    try
    {
        PrintReportLine(*report);
    }
    catch (...)
    {
        LogCallbackFailure();
    }

    try
    {
        if (!context)
        {
            LogError(L"No self");
            return;
        }
        static_cast<Scanner*>(context)->OnReport(*report, action);
    }
    catch (...)
    {
        LogCallbackFailure();
    }
}

void Scanner::OnReport(const _ScanCbkParams& report, int* action)
{
    if (IsInfectedOrSuspicious(report.scanStatus))
    {
        if (IsOwnSignedPath(report.path))
        {
            Logger::Instance().Write(
                LogLine(L"Debug", L"corvantis digital signature is valid. path=", Printable(report.path)));
            return;
        }
        RecordInfected(report, action);
        return;
    }

    // The engine follows a recorded object with a report on that same object carrying the
    // outcome of its action. Without an action it sends none: the next object's status (Clean,
    // say) must not land on the infected record.
    const boost::shared_ptr<InfectedObject> followed =
        lastInfected && IsSameObject(*lastInfected, report) ? lastInfected : boost::shared_ptr<InfectedObject>();
    if (followed)
        followed->ScanStatus = report.scanStatus;
    lastInfected.reset();
    // A failed follow-up is the record's failed action; any other failed report is an object left
    // unscanned.
    if (report.scanStatus != EngineSdk::ScanStatus::ScanFailed)
        return;
    if (followed)
        ReportActionFailed(report, followed->ScanAction);
    else
        ReportNotScanned(report);
}

void Scanner::RecordInfected(const _ScanCbkParams& report, int* action)
{
    // Cleared first, so that if recording fails the follow-up of this object cannot land on
    // an earlier record.
    lastInfected.reset();

    const boost::shared_ptr<InfectedObject> object = boost::make_shared<InfectedObject>();
    object->ObjectType = report.objectType;
    CopyText(object->ObjectPath, report.path);
    CopyText(object->ParentContainers, report.parentContainers);
    CopyText(object->InnerObject, report.innerObject);
    object->ObjectFlags = report.objectFlags;
    object->ArchiveFlags = report.archiveFlags;
    object->ScanStatus = report.scanStatus;
    object->ScanStatusFlags = report.scanStatusFlags;
    object->ThreatType = report.threatType;
    object->Pid = report.pid;
    object->RegKey = report.regKey;
    CopyText(object->ThreatName, report.threatName);
    CopyText(object->SysObjParentContainers, report.sysObjParentContainers);
    CopyText(object->SysObjInnerObject, report.sysObjInnerObject);
    CopyText(object->TempPath, report.tempPath);
    object->DepthLevel = report.depthLevel;
    object->ScanAction = request.action;

    result.infected.push_back(object);
    lastInfected = object;
    if (action)
        *action = static_cast<int>(request.action);
}

} // namespace BriskenCommandLineScanner
