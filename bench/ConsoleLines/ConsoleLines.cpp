// ConsoleLines <file>
//
// Writes the lines of a file (a scan's console output, CR LF line ends) to standard output, each
// in one WriteFile call on the standard output handle and nothing else around it: the least that
// printing those lines can cost into a file, NUL or a console under this system. Exit code 0 on
// success, 1 for usage, 2 when the file cannot be read, 3 when a write fails.

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

bool ReadWhole(const wchar_t* path, std::string& content)
{
    std::FILE* const file = _wfopen(path, L"rb");
    if (!file)
        return false;
    char chunk[1 << 16];
    std::size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, read);
    const bool whole = std::ferror(file) == 0;
    std::fclose(file);
    return whole;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: ConsoleLines <file>\n");
        return 1;
    }
    std::string content;
    if (!ReadWhole(argv[1], content))
    {
        std::fprintf(stderr, "cannot read %ls\n", argv[1]);
        return 2;
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    for (std::size_t start = 0; start < content.size();)
    {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        DWORD written = 0;
        if (!WriteFile(output, content.data() + start, static_cast<DWORD>(end - start), &written, nullptr))
            return 3;
        start = end;
    }
    return 0;
}
