#include "Scanner/NotScannedLine.h"

#include "Program/ConsoleText.h"

#include "StringHelper/StringHelper.h"

namespace BriskenCommandLineScanner
{

void PrintNotScanned(const wchar_t* subject, const std::wstring& name, const std::wstring& error)
{
    WriteConsoleText(L"Couldn't scan " + std::wstring(subject) + L": " + StringHelper::MaskControlCharacters(name) +
        L". Error: " + error + L"\n");
}

} // namespace BriskenCommandLineScanner
