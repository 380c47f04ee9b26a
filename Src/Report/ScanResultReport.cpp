// The XML scan result: written to the result file and, on request, to standard output.
#include "Report/ScanResultReport.h"

#include "Engine/EngineEnumerations.h"
#include "Engine/ObjectFlagsToString.h"
#include "Program/ConsoleOutput.h"
#include "Program/ConsoleText.h"
#include "Program/LogError.h"
#include "Report/BlockWriter.h"
#include "Report/ScanResultWriter.h"
#include "Report/XmlText.h"

#include "ExceptionHelper/SystemText.h"
#include "FileSystemHelper/ReplacingFile.h"
#include "StringHelper/StringHelper.h"

#include <pugixml.hpp>

#include <cstring>
#include <iostream>
#include <new>

namespace BriskenCommandLineScanner
{

namespace
{

// Within standard output's buffer, so that a block of the document goes out in one write.
const std::size_t standardOutputBlock = ConsoleOutput::BufferSize / 2;
// The result file is written in blocks of this size, not one system call per element.
const std::size_t fileBlock = 1 << 16;

// pugixml answers a failed allocation with an empty handle; a report with a silently missing
// element must not pass for a saved one.
pugi::xml_node AppendChild(pugi::xml_node parent, const wchar_t* name)
{
    const pugi::xml_node child = parent.append_child(name);
    if (!child)
        throw std::bad_alloc();
    return child;
}

bool SetText(pugi::xml_attribute attribute, const std::wstring& value)
{
    return attribute.set_value(XmlText(value).c_str());
}

void AppendAttribute(pugi::xml_node node, const wchar_t* name, const std::wstring& value)
{
    if (!SetText(node.append_attribute(name), value))
        throw std::bad_alloc();
}

struct ObjectAttribute
{
    const wchar_t* name;
    bool (*set)(pugi::xml_attribute attribute, const InfectedObject& object);
};

using Object = const InfectedObject&;

// The attributes of an InfectedObject element, in document order.
const ObjectAttribute objectAttributes[] = {
    {L"ObjectType", [](pugi::xml_attribute a, Object o) { return SetText(a, ObjectTypeToString(o.ObjectType)); }},
    {L"ObjectPath", [](pugi::xml_attribute a, Object o) { return SetText(a, o.ObjectPath); }},
    {L"ParentContainers", [](pugi::xml_attribute a, Object o) { return SetText(a, o.ParentContainers); }},
    {L"InnerObject", [](pugi::xml_attribute a, Object o) { return SetText(a, o.InnerObject); }},
    {L"ObjectFlags", [](pugi::xml_attribute a, Object o) { return SetText(a, ObjectFlagsToString(o.ObjectFlags)); }},
    {L"ArchiveFlags", [](pugi::xml_attribute a, Object o) { return a.set_value(static_cast<int>(o.ArchiveFlags)); }},
    {L"ScanStatus", [](pugi::xml_attribute a, Object o) { return SetText(a, ScanStatusToString(o.ScanStatus)); }},
    {L"ScanStatusFlags", [](pugi::xml_attribute a, Object o) { return a.set_value(static_cast<int>(o.ScanStatusFlags)); }},
    {L"ThreatType", [](pugi::xml_attribute a, Object o) { return SetText(a, ThreatTypeToString(o.ThreatType)); }},
    {L"Pid", [](pugi::xml_attribute a, Object o) { return a.set_value(static_cast<unsigned int>(o.Pid)); }},
    {L"RegKey", [](pugi::xml_attribute a, Object o) { return a.set_value(static_cast<unsigned int>(o.RegKey)); }},
    {L"ThreatName", [](pugi::xml_attribute a, Object o) { return SetText(a, o.ThreatName); }},
    {L"SysObjParentContainers", [](pugi::xml_attribute a, Object o) { return SetText(a, o.SysObjParentContainers); }},
    {L"SysObjInnerObject", [](pugi::xml_attribute a, Object o) { return SetText(a, o.SysObjInnerObject); }},
    {L"TempPath", [](pugi::xml_attribute a, Object o) { return SetText(a, o.TempPath); }},
    {L"DepthLevel", [](pugi::xml_attribute a, Object o) { return a.set_value(static_cast<unsigned int>(o.DepthLevel)); }},
    {L"ScanAction", [](pugi::xml_attribute a, Object o) { return SetText(a, ScanActionToString(o.ScanAction)); }},
};

void Write(pugi::xml_writer& writer, const char* text)
{
    writer.write(text, std::strlen(text));
}

void Print(pugi::xml_node node, pugi::xml_writer& writer, unsigned int depth)
{
    node.print(writer, L"\t", pugi::format_default, pugi::encoding_utf8, depth);
}

void AddScanPathNode(pugi::xml_node scanPaths, const std::wstring& path)
{
    AppendAttribute(AppendChild(scanPaths, L"Path"), L"Value", path);
}

// The object is taken by value so that it stays alive while it is written.
void AddInfectedObjectNode(pugi::xml_node infectedObjects, boost::shared_ptr<InfectedObject> object)
{
    pugi::xml_node node = AppendChild(infectedObjects, L"InfectedObject");
    for (const ObjectAttribute& attribute : objectAttributes)
    {
        if (!attribute.set(node.append_attribute(attribute.name), *object))
            throw std::bad_alloc();
    }
}

// Hands a document on to the file that replaces the result file.
class ReplacingFileWriter : public pugi::xml_writer
{
public:
    explicit ReplacingFileWriter(FileSystemHelper::ReplacingFile& file) : file(file) {}

    void write(const void* data, std::size_t size) override { file.Write(data, size); }

private:
    FileSystemHelper::ReplacingFile& file;
};

// The system's reason for a failed save, with its code (a text may be missing, or translated).
std::wstring SaveFailureReason(unsigned long error)
{
    const std::wstring text = ExceptionHelper::SystemText(error);
    const std::wstring code = L"error " + std::to_wstring(error);
    return text.empty() ? code : text + L" (" + code + L")";
}

// A report that cannot be saved whole leaves the earlier file at the path as it was.
bool SaveScanResultFile(const ScanResult& result, const std::wstring& path)
{
    FileSystemHelper::ReplacingFile file(path);
    ReplacingFileWriter writer(file);
    BlockWriter blocks(writer, fileBlock);
    WriteScanResult(result, blocks);
    blocks.Flush();
    const unsigned long error = file.Commit();
    if (error != 0)
    {
        LogError(L"Couldn't save scan result. Error: ", SaveFailureReason(error), L". Path: ",
            StringHelper::MaskControlCharacters(path));
    }
    return error == 0;
}

void PrintClosingMessage(bool saved, const std::wstring& path, bool readOnly)
{
    if (!saved)
    {
        WriteConsoleText(L"\nError: Couldn't save scan result. Please check scan result path\n");
        return;
    }
    WriteConsoleText(L"\nScan complete.");
    // Without a file there is no path to add; the line still ends, so that the duration that
    // closes every run stays a line of its own.
    WriteConsoleText(readOnly ? std::wstring(L"\n") : L"You can access scan result here: " + path + L"\n");
}

} // namespace

void SaveScanResult(const ScanResult& result, const ScanResultDestination& destination)
{
    bool saved = true;
    bool fileDone = destination.readOnly;
    try
    {
        if (!destination.readOnly)
            saved = !destination.fileRefused && SaveScanResultFile(result, destination.file);
        fileDone = true;

        if (destination.standardOutput)
        {
            std::cout << std::endl;
            pugi::xml_writer_stream stream(std::cout);
            BlockWriter blocks(stream, standardOutputBlock);
            WriteScanResult(result, blocks);
            blocks.Flush();
            std::cout << std::endl;
        }
    }
    catch (const std::exception& error)
    {
        LogError(std::string(error.what()));
        // A file that was never completed must not be announced as saved.
        if (!fileDone)
            saved = false;
    }
    PrintClosingMessage(saved, destination.file, destination.readOnly);
}

// The bytes are those of pugixml's save of the whole document (declaration, one tab per level,
// UTF-8), but only one InfectedObject element exists at a time: the whole document of 100,000
// objects would take about 100 MB beside the records themselves.
void WriteScanResult(const ScanResult& result, pugi::xml_writer& output)
{
    ScanResultWriter writer(output);
    pugi::xml_document document;
    const pugi::xml_node summary = AppendChild(document, L"Summary");

    const pugi::xml_node scanInfo = AppendChild(summary, L"ScanInfo");
    AppendAttribute(scanInfo, L"ScanType", result.scanTypeName);
    AppendAttribute(scanInfo, L"StartTime", StringHelper::ToWide(result.startTime, StringHelper::AnsiCodePage));
    AppendAttribute(scanInfo, L"EndTime", StringHelper::ToWide(result.endTime, StringHelper::AnsiCodePage));

    const pugi::xml_node scanPaths = AppendChild(summary, L"ScanPaths");
    for (const std::wstring& path : result.scannedPaths)
        AddScanPathNode(scanPaths, path);

    pugi::xml_node infectedObjects = AppendChild(summary, L"InfectedObjects");

    Write(writer, "<?xml version=\"1.0\"?>\n<Summary>\n");
    Print(scanInfo, writer, 1);
    Print(scanPaths, writer, 1);
    if (result.infected.empty())
    {
        Print(infectedObjects, writer, 1);
    }
    else
    {
        Write(writer, "\t<InfectedObjects>\n");
        for (const boost::shared_ptr<InfectedObject>& object : result.infected)
        {
            AddInfectedObjectNode(infectedObjects, object);
            const pugi::xml_node node = infectedObjects.last_child();
            Print(node, writer, 2);
            infectedObjects.remove_child(node);
        }
        Write(writer, "\t</InfectedObjects>\n");
    }
    Write(writer, "</Summary>\n");
}

} // namespace BriskenCommandLineScanner
