#pragma once

#include <cstddef>
#include <string>

namespace UpdateService
{
namespace Wrapper
{

// Reads an XML text piece by piece, as it arrives, and tells whether it holds markup that the SOAP
// runtime would misread without a word: a markup declaration (a document type declaration with its
// entity declarations, or anything else between "<!" and ">" that is neither a comment nor a CDATA
// section), which the runtime skips, or a reference to an entity other than XML's five and a
// character reference, which it reads as U+007F (or as an HTML character), or a character
// reference to a character XML does not allow (NUL, control characters but tab, line feed and
// carriage return, surrogates, U+FFFE, U+FFFF), which it would take as it stands.
//
// Comments, CDATA sections and processing instructions are followed as the runtime's own reader
// follows them, so that text in them is never taken for markup; where the two could part (a "<"
// in a tag's attribute value, "--" inside a comment, a "?" not closing a processing instruction,
// a CDATA keyword other than "CDATA[", a reference longer than the runtime reads), the text is not
// XML and counts as refused as well.
//
// After the root element ends, XML allows only white space, comments and processing instructions.
// The runtime stops reading at the root's end and never sees what follows (text, a CDATA section,
// a second element): anything else there is refused too.
class MarkupScanner
{
public:
    // Takes the next size bytes. What it has read of a token so far carries over to the next call,
    // so that a text gets the same answer however it is cut. False from the first refused byte
    // on, for this call and every later one.
    bool Take(const char* data, std::size_t size);

    // Whether what was taken is a whole document: its root element ended, and nothing after it
    // was left open (a comment, an instruction).
    bool Finished() const;

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
        Reference,
        Refused,
    };

    State Next(char c);
    // What "<" and c begin: a tag, a declaration, an instruction.
    State NextInOpen(char c);
    // A tag ends (">"): it opens an element, closes one, or is an empty one.
    State EndTag();
    // A reference begins ("&") in the current state, text or an attribute value.
    State StartReference();
    // The state after c, the next character of a reference.
    State NextInReference(char c);

    State state = State::Text;
    // Elements open around the current byte, and whether the root element has ended.
    std::size_t depth = 0;
    bool afterRoot = false;
    // The tag being read is an end tag ("</"), or its last character so far is "/" ("<a/>").
    bool endTag = false;
    bool slash = false;
    std::size_t keywordMatched = 0;
    // The reference's name so far, and the state it stands in.
    std::string reference;
    State referenceIn = State::Text;
};

} // namespace Wrapper
} // namespace UpdateService
