#include "UpdateService/DeclarationScanner.h"

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

} // namespace

bool DeclarationScanner::Take(const char* data, std::size_t size)
{
    for (std::size_t index = 0; index < size && state != State::Refused; ++index)
        state = Next(data[index]);
    return state != State::Refused;
}

DeclarationScanner::State DeclarationScanner::Next(char c)
{
    switch (state)
    {
    case State::Text:
        return c == '<' ? State::Open : State::Text;
    case State::Open:
        if (c == '!')
            return State::Bang;
        if (c == '?')
            return State::Instruction;
        // "<%" the runtime skips like a declaration.
        if (c == '%')
            return State::Refused;
        if (c == '<' || IsBlank(c))
            return State::Open;
        return State::Tag;
    case State::Tag:
        if (c == '"')
            return State::DoubleQuoted;
        if (c == '\'')
            return State::SingleQuoted;
        if (c == '<')
            return State::Refused;
        return c == '>' ? State::Text : State::Tag;
    case State::DoubleQuoted:
    case State::SingleQuoted:
        if (c == '<')
            return State::Refused;
        return c == (state == State::DoubleQuoted ? '"' : '\'') ? State::Tag : state;
    case State::Bang:
        if (c == '-')
            return State::BangDash;
        if (c == '[')
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
    case State::Refused:
        break;
    }
    return State::Refused;
}

} // namespace Wrapper
} // namespace UpdateService
