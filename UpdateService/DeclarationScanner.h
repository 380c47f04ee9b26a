#pragma once

#include <cstddef>

namespace UpdateService
{
namespace Wrapper
{

// Reads an XML text piece by piece, as it arrives, and tells whether it holds a markup
// declaration: a document type declaration with its entity declarations, or anything else
// between "<!" and ">" that is neither a comment nor a CDATA section. The SOAP runtime skips such
// a declaration without a word and reads every entity it declares as U+007F.
//
// Comments, CDATA sections and processing instructions are followed as the runtime's own reader
// follows them, so that text in them is never taken for markup; where the two could part (a "<"
// in a tag's attribute value, "--" inside a comment, a "?" not closing a processing instruction,
// a CDATA keyword other than "CDATA["), the text is not XML and counts as refused as well.
class DeclarationScanner
{
public:
    // Takes the next size bytes. False from the first refused byte on, for this call and every
    // later one.
    bool Take(const char* data, std::size_t size);

private:
    enum class State
    {
        Text,
        Open,
        Tag,
        DoubleQuoted,
        SingleQuoted,
        Bang,
        BangDash,
        Comment,
        CommentDash,
        CommentEnd,
        CdataKeyword,
        Cdata,
        CdataBracket,
        CdataBrackets,
        Instruction,
        InstructionEnd,
        Refused,
    };

    State Next(char c);

    State state = State::Text;
    std::size_t keywordMatched = 0;
};

} // namespace Wrapper
} // namespace UpdateService
