#include "Scanner/IsOwnSignedFile.h"

#include "DigitalSignatureHelper/CertificateTable.h"
#include "DigitalSignatureHelper/Signature.h"
#include "DllHelper/Dll.h"

#include <boost/exception/exception.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <exception>
#include <locale>
#include <string>

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

const wchar_t* const makerName = L"corvantis limited";

// The trust check of a file that is not an executable asks every subject interface package;
// under Wine the Installer's (msisip.dll, and COM with it) is loaded and freed again for each
// file, about five times the cost of the rest of the check. One reference held from the first
// check to the end of the process keeps it loaded. Only an optimisation: failing to load it
// changes nothing.
void KeepInstallerSipLoaded()
{
    static const boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>> module = [] {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>>();
        try
        {
            return DllHelper::MakeDll(boost::filesystem::path(folder) / L"msisip.dll");
        }
        catch (const boost::exception&)
        {
            return boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>>();
        }
    }();
}

} // namespace

bool IsOwnSignedFile(const boost::filesystem::path& file)
{
    namespace Signature = DigitalSignatureHelper::Signature;
    try
    {
        KeepInstallerSipLoaded();
        // Every question is asked of one handle that shares the file for reading only, so that
        // the answers are all of the same bytes: nobody can change, swap or rename the file
        // meanwhile (nor, while the engine still holds it so, since it was judged).
        const HANDLE opened =
            CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            return false;
        const boost::shared_ptr<void> owner(opened, &CloseHandle);
        // Bytes hidden in the certificate table are covered by no signature.
        if (!DigitalSignatureHelper::CertificateTable::HoldsOnlyItsSignature(opened))
            return false;
        boost::optional<std::wstring> name =
            Signature::TrustedSignerName(file, opened, Signature::NameType::SimpleDisplay);
        if (!name)
            return false;
        if (!name->empty())
            std::use_facet<std::ctype<wchar_t>>(std::locale()).tolower(&(*name)[0], &(*name)[0] + name->size());
        return *name == makerName;
    }
    catch (const boost::exception&)
    {
        return false;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

} // namespace BriskenCommandLineScanner
