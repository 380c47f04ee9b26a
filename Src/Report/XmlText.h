#pragma once

#include <string>

namespace BriskenCommandLineScanner
{

// text with every character that an XML 1.0 document cannot hold, escaped or not, written as
// '?', as the console writes what it cannot show: the control characters other than tab, line
// feed and carriage return, U+FFFE, U+FFFF and a surrogate without its partner. One such
// character in a value would make the whole report unreadable (or, for the lone surrogate,
// vanish without a trace).
std::wstring XmlText(const std::wstring& text);

} // namespace BriskenCommandLineScanner
