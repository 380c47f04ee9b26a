#include "Program/Latin1Codecvt.h"

#include <algorithm>

namespace BriskenCommandLineScanner
{

Latin1Codecvt::result Latin1Codecvt::do_out(state_type&, const intern_type* from, const intern_type* fromEnd,
    const intern_type*& fromNext, extern_type* to, extern_type* toEnd, extern_type*& toNext) const
{
    const std::size_t count = static_cast<std::size_t>(std::min(fromEnd - from, toEnd - to));
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto c = static_cast<unsigned long>(from[i]);
        to[i] = static_cast<extern_type>(c <= 0xFF ? c : '?');
    }
    fromNext = from + count;
    toNext = to + count;
    return fromNext == fromEnd ? ok : partial;
}

Latin1Codecvt::result Latin1Codecvt::do_in(state_type&, const extern_type* from, const extern_type* fromEnd,
    const extern_type*& fromNext, intern_type* to, intern_type* toEnd, intern_type*& toNext) const
{
    const std::size_t count = static_cast<std::size_t>(std::min(fromEnd - from, toEnd - to));
    for (std::size_t i = 0; i < count; ++i)
        to[i] = static_cast<intern_type>(static_cast<unsigned char>(from[i]));
    fromNext = from + count;
    toNext = to + count;
    return fromNext == fromEnd ? ok : partial;
}

Latin1Codecvt::result Latin1Codecvt::do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& toNext) const
{
    toNext = to;
    return noconv;
}

int Latin1Codecvt::do_encoding() const noexcept
{
    return 1;
}

bool Latin1Codecvt::do_always_noconv() const noexcept
{
    return false;
}

int Latin1Codecvt::do_length(state_type&, const extern_type* from, const extern_type* end, std::size_t max) const
{
    return static_cast<int>(std::min<std::size_t>(max, static_cast<std::size_t>(end - from)));
}

int Latin1Codecvt::do_max_length() const noexcept
{
    return 1;
}

} // namespace BriskenCommandLineScanner
