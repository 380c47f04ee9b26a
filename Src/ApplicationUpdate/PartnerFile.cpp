#include "ApplicationUpdate/PartnerFile.h"

#include "ApplicationUpdate/JsonValue.h"
#include "ApplicationUpdate/UpdateCheck.h"
#include "FileSystemHelper/File.h"
#include "PathHelper/Special.h"
#include "Program/LogError.h"
#include "StringHelper/StringHelper.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/filesystem/operations.hpp>

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
        const boost::filesystem::path file = UpdateServerFilePath();
        if (!PartnerFileExists(file))
            return std::wstring();
        std::string value;
        if (ReadPartnerValue(file, value))
            return StringHelper::ToWide(value, StringHelper::AnsiCodePage);
    }
    catch (const boost::exception& error)
    {
        LogError(boost::diagnostic_information(error));
    }
    return std::wstring();
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
        // Notepad starts a file it saves as UTF-8 with a byte-order mark.
        const std::string byteOrderMark = "\xEF\xBB\xBF";
        if (text.compare(0, byteOrderMark.size(), byteOrderMark) == 0)
            text.erase(0, byteOrderMark.size());
        boost::json::value value;
        if (!ReadJsonValue(text, value))
        {
            LogError("could't read json value");
            return false;
        }
        object = AsObject(value);
        return true;
    }
    catch (const boost::exception& error)
    {
        LogError(boost::diagnostic_information(error));
    }
    catch (const std::exception& error)
    {
        LogError(std::string(error.what()));
    }
    return false;
}

} // namespace BriskenCommandLineScanner
