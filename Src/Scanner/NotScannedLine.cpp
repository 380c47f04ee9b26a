#include "Scanner/NotScannedLine.h"

#include "Program/ConsoleText.h"

#include "StringHelper/StringHelper.h"

namespace BriskenCommandLineScanner
{

void PrintCouldNot(const std::wstring& what, const std::wstring& name, const std::wstring& error)
{
    WriteConsoleText(L"Couldn't " + what + L": " + StringHelper::MaskControlCharacters(name) + L". Error: " + error +
        L"\n");
}

void PrintNotScanned(const wchar_t* subject, const std::wstring& name, const std::wstring& error)
{
    PrintCouldNot(L"scan " + std::wstring(subject), name, error);
}

} // namespace BriskenCommandLineScanner
