#pragma once

#include <cwchar>
#include <locale>

namespace BriskenCommandLineScanner
{

// Wide-to-narrow conversion for the log file: one byte per character for U+0000-U+00FF, as
// existing log readers expect, and '?' for any other character, so that one exotic character
// (a file name in Cyrillic, say) never fails the stream and loses the rest of the run's log.
class Latin1Codecvt : public std::codecvt<wchar_t, char, std::mbstate_t>
{
public:
    explicit Latin1Codecvt(std::size_t refs = 0) : std::codecvt<wchar_t, char, std::mbstate_t>(refs) {}

protected:
    result do_out(state_type& state, const intern_type* from, const intern_type* fromEnd,
        const intern_type*& fromNext, extern_type* to, extern_type* toEnd, extern_type*& toNext) const override;
    result do_in(state_type& state, const extern_type* from, const extern_type* fromEnd,
        const extern_type*& fromNext, intern_type* to, intern_type* toEnd, intern_type*& toNext) const override;
    result do_unshift(state_type& state, extern_type* to, extern_type* toEnd, extern_type*& toNext) const override;
    int do_encoding() const noexcept override;
    bool do_always_noconv() const noexcept override;
    int do_length(state_type& state, const extern_type* from, const extern_type* end, std::size_t max) const override;
    int do_max_length() const noexcept override;
};

} // namespace BriskenCommandLineScanner
