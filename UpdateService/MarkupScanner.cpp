#include "UpdateService/MarkupScanner.h"

#include <cstdlib>

namespace UpdateService
{
namespace Wrapper
{
namespace
{

const char CdataKeyword[] = "CDATA[";

// The runtime skips these after a "<", as it does white space anywhere in a tag.
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

// White space as XML has it, the only text it allows after the root element.
bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The runtime reads at most this many characters of a reference's name and takes the rest as text.
const std::size_t longestReference = 7;

bool IsDigit(char c, bool hexadecimal)
{
    return (c >= '0' && c <= '9') || (hexadecimal && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The characters XML 1.0 allows in a document. The runtime would take a reference to any other
// as it stands: NUL ends the text there, the rest become characters no XML text can hold.
bool IsXmlCharacter(unsigned long c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
        (c >= 0x10000 && c <= 0x10FFFF);
}

// XML's five entities, and character references in decimal ("#65") or hexadecimal ("#x41") to
// characters XML allows.
bool IsKnownReference(const std::string& name)
{
    if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos")
        return true;
    if (name.size() < 2 || name[0] != '#')
        return false;
    const bool hexadecimal = name[1] == 'x';
    const std::size_t firstDigit = hexadecimal ? 2 : 1;
    if (name.size() == firstDigit)
        return false;
    for (std::size_t index = firstDigit; index < name.size(); ++index)
    {
        if (!IsDigit(name[index], hexadecimal))
            return false;
    }
    // At most six digits: no overflow.
    return IsXmlCharacter(std::strtoul(name.c_str() + firstDigit, nullptr, hexadecimal ? 16 : 10));
}

} // namespace

bool MarkupScanner::Take(const char* data, std::size_t size)
{
    for (std::size_t index = 0; index < size && state != State::Refused; ++index)
        state = Next(data[index]);
    return state != State::Refused;
}

bool MarkupScanner::Finished() const
{
    return afterRoot && state == State::Text;
}

MarkupScanner::State MarkupScanner::Next(char c)
{
    switch (state)
    {
    case State::Text:
        if (c == '<')
            return State::Open;
        if (afterRoot && !IsXmlSpace(c))
            return State::Refused;
        return c == '&' ? StartReference() : State::Text;
    case State::Open:
        return NextInOpen(c);
    case State::Tag:
        if (c == '"')
            return State::DoubleQuoted;
        if (c == '\'')
            return State::SingleQuoted;
        if (c == '<')
            return State::Refused;
        if (c == '>')
            return EndTag();
        slash = c == '/';
        return State::Tag;
    case State::DoubleQuoted:
    case State::SingleQuoted:
        if (c == '<')
            return State::Refused;
        if (c == '&')
            return StartReference();
        return c == (state == State::DoubleQuoted ? '"' : '\'') ? State::Tag : state;
    case State::Bang:
        if (c == '-')
            return State::BangDash;
        if (c == '[' && !afterRoot)
        {
            keywordMatched = 0;
            return State::CdataKeyword;
        }
        return State::Refused;
    case State::BangDash:
        return c == '-' ? State::Comment : State::Refused;
    case State::Comment:
        return c == '-' ? State::CommentDash : State::Comment;
    case State::CommentDash:
        return c == '-' ? State::CommentEnd : State::Comment;
    case State::CommentEnd:
        return c == '>' ? State::Text : State::Refused;
    case State::CdataKeyword:
        if (c != CdataKeyword[keywordMatched])
            return State::Refused;
        return ++keywordMatched == sizeof CdataKeyword - 1 ? State::Cdata : State::CdataKeyword;
    case State::Cdata:
        return c == ']' ? State::CdataBracket : State::Cdata;
    case State::CdataBracket:
        return c == ']' ? State::CdataBrackets : State::Cdata;
    case State::CdataBrackets:
        if (c == '>')
            return State::Text;
        return c == ']' ? State::CdataBrackets : State::Cdata;
    case State::Instruction:
        return c == '?' ? State::InstructionEnd : State::Instruction;
    case State::InstructionEnd:
        if (c == '>')
            return State::Text;
        return c == '?' ? State::InstructionEnd : State::Refused;
    case State::Reference:
        return NextInReference(c);
    case State::Refused:
        break;
    }
    return State::Refused;
}

MarkupScanner::State MarkupScanner::NextInOpen(char c)
{
    if (c == '!')
        return State::Bang;
    if (c == '?')
        return State::Instruction;
    // "<%" the runtime skips like a declaration.
    if (c == '%' || afterRoot)
        return State::Refused;
    if (c == '<' || IsBlank(c))
        return State::Open;
    endTag = c == '/';
    slash = false;
    return State::Tag;
}

MarkupScanner::State MarkupScanner::EndTag()
{
    if (endTag)
    {
        // An end tag with no element open is not XML.
        if (depth == 0)
            return State::Refused;
        --depth;
    }
    else if (!slash)
    {
        ++depth;
    }
    afterRoot = depth == 0;
    return State::Text;
}

MarkupScanner::State MarkupScanner::StartReference()
{
    reference.clear();
    referenceIn = state;
    return State::Reference;
}

MarkupScanner::State MarkupScanner::NextInReference(char c)
{
    if (c == ';')
        return IsKnownReference(reference) ? referenceIn : State::Refused;
    // No known reference holds another character: one that ends it before its ";" ("&amp<")
    // leaves the runtime reading markup as the name.
    if (reference.size() == longestReference || !(IsDigit(c, true) || IsLetter(c) || c == '#'))
        return State::Refused;
    reference += c;
    return State::Reference;
}

} // namespace Wrapper
} // namespace UpdateService
