#include "ApplicationUpdate/PartnerFile.h"

#include "ApplicationUpdate/JsonValue.h"
#include "ApplicationUpdate/UpdateCheck.h"
#include "FileSystemHelper/File.h"
#include "PathHelper/Special.h"
#include "Program/LogError.h"
#include "Report/XmlText.h"
#include "StringHelper/StringHelper.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <vector>

namespace BriskenCommandLineScanner
{
namespace
{

bool PartnerFileExists(const boost::filesystem::path& file)
{
    boost::system::error_code error;
    const boost::filesystem::file_status status = boost::filesystem::status(file, error);
    return !error && boost::filesystem::exists(status);
}

// A control character, tab included (none belongs in a platform name; the log shows each but tab
// as '?', and XML cannot carry most of them at all), or another character no XML text can hold
// (U+FFFE, U+FFFF, a surrogate without its partner).
bool HoldsUnsendableCharacter(const std::wstring& text)
{
    const auto isControl = [](wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); };
    return std::any_of(text.begin(), text.end(), isControl) || XmlText(text) != text;
}

// The file's text in UTF-8, so that the platform converts alike whatever the file holds, \u
// escapes included (the JSON reader gives them in UTF-8): as it stands after a byte-order mark
// (Notepad starts a file it saves as UTF-8 with one), else converted from the ANSI code page.
// False when the text after a mark is not UTF-8: each stray byte, overlong form, encoded
// surrogate or code beyond U+10FFFF would become U+FFFD, and the service get another platform
// than the file names.
bool ToUtf8(std::string& text)
{
    const std::string byteOrderMark = "\xEF\xBB\xBF";
    if (text.compare(0, byteOrderMark.size(), byteOrderMark) != 0)
    {
        text = StringHelper::ToNarrow(StringHelper::ToWide(text, StringHelper::AnsiCodePage), StringHelper::Utf8CodePage);
        return true;
    }
    text.erase(0, byteOrderMark.size());
    return StringHelper::IsUtf8(text);
}

} // namespace

boost::filesystem::path UpdateServerFilePath()
{
    return PathHelper::Special::CommonAppDataFolder() / L"Corvantis" / L"Brisken 11" / L"Options" /
        L"UpdateServer.txt";
}

std::wstring GetDeployPlatform()
{
    try
    {
        return ReadDeployPlatform(UpdateServerFilePath());
    }
    catch (const boost::exception&)
    {
        LogError(CurrentExceptionText());
    }
    return std::wstring();
}

std::wstring ReadDeployPlatform(const boost::filesystem::path& file)
{
    if (!PartnerFileExists(file))
        return std::wstring();
    std::string value;
    if (!ReadPartnerValue(file, value))
        return std::wstring();
    const std::wstring platform = StringHelper::ToWide(value, StringHelper::Utf8CodePage);
    // The service would get another text than the log shows, or a request XML forbids.
    if (HoldsUnsendableCharacter(platform))
    {
        LogError(L"platform ignored, it holds a character that cannot be sent: ",
            StringHelper::MaskControlCharacters(platform));
        return std::wstring();
    }
    return platform;
}

bool ReadPartnerValue(const boost::filesystem::path& file, std::string& value)
{
    try
    {
        boost::json::object object;
        if (!ReadPartnerFile(file, object))
            return false;
        const boost::json::object::const_iterator member = object.find(PlatformKey);
        if (member == object.end())
        {
            LogError("couldn't find ", PlatformKey);
            return false;
        }
        value = AsString(member->value());
        return true;
    }
    catch (const std::exception& error)
    {
        LogError(std::string(error.what()));
    }
    return false;
}

bool ReadPartnerFile(const boost::filesystem::path& file, boost::json::object& object)
{
    try
    {
        Logger::Instance().Write(LogLine(L"Info", "reading ", PlatformKey, " from ", file.wstring()));
        if (!PartnerFileExists(file))
        {
            LogError("partner file not exists");
            return false;
        }
        std::vector<char> data;
        if (!FileSystemHelper::File::ReadAll(file, data))
        {
            LogError("couldn't read data from file");
            return false;
        }
        if (data.empty())
        {
            LogError("empty buffer");
            return false;
        }
        std::string text(data.begin(), data.end());
        if (!ToUtf8(text))
        {
            LogError("text after the byte-order mark is not UTF-8");
            return false;
        }
        boost::json::value value;
        if (!ReadJsonValue(text, value))
        {
            LogError("could't read json value");
            return false;
        }
        object = AsObject(value);
        return true;
    }
    catch (const boost::exception&)
    {
        LogError(CurrentExceptionText());
    }
    catch (const std::exception& error)
    {
        LogError(std::string(error.what()));
    }
    return false;
}

} // namespace BriskenCommandLineScanner
