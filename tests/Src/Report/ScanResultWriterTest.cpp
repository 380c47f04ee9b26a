// The '>' filter of saved scan results: the same bytes however pugixml splits its output.
#include "Report/ScanResultReport.h"
#include "Report/ScanResultWriter.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace BriskenCommandLineScanner;

namespace
{

class StringWriter : public pugi::xml_writer
{
public:
    void write(const void* data, std::size_t size) override
    {
        text.append(static_cast<const char*>(data), size);
    }

    std::string text;
};

// text through a fresh ScanResultWriter, handed over in pieces that end at each of cuts.
std::string Filtered(const std::string& text, std::initializer_list<std::size_t> cuts = {})
{
    StringWriter collected;
    ScanResultWriter writer(collected);
    std::size_t start = 0;
    for (const std::size_t cut : cuts)
    {
        writer.write(text.data() + start, cut - start);
        start = cut;
    }
    writer.write(text.data() + start, text.size() - start);
    return collected.text;
}

struct FilterCase
{
    const char* name;
    std::string input;
    std::string whole; // what the input gives in one piece
};

void PrintTo(const FilterCase& c, std::ostream* out)
{
    *out << c.name;
}

class ScanResultWriterTest : public testing::TestWithParam<FilterCase>
{
};

TEST_P(ScanResultWriterTest, WholeInputGivesItsFilteredText)
{
    EXPECT_EQ(GetParam().whole, Filtered(GetParam().input));
}

// A value that opens in one piece and closes in a later one is still a value: the filter must
// carry its state from piece to piece.
TEST_P(ScanResultWriterTest, TwoPiecesEqualTheWholeAtEverySplit)
{
    const std::string& input = GetParam().input;
    for (std::size_t cut = 0; cut <= input.size(); ++cut)
        EXPECT_EQ(GetParam().whole, Filtered(input, {cut})) << "split at " << cut;
}

TEST_P(ScanResultWriterTest, OneByteAtATimeEqualsTheWhole)
{
    const std::string& input = GetParam().input;
    StringWriter collected;
    ScanResultWriter writer(collected);
    for (const char c : input)
        writer.write(&c, 1);
    EXPECT_EQ(GetParam().whole, collected.text);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ScanResultWriterTest,
    testing::Values(
        FilterCase{"Empty", "", ""},
        FilterCase{"TagsOnly", "<ScanPaths>\n</ScanPaths>\n", "<ScanPaths>\n</ScanPaths>\n"},
        FilterCase{"SystemObject", "<Path Value=\"&lt;System>\" />\n", "<Path Value=\"&lt;System&gt;\" />\n"},
        FilterCase{"SeveralInOneValue", "<a b=\">>x>\" />", "<a b=\"&gt;&gt;x&gt;\" />"},
        FilterCase{"BetweenValuesUntouched", "<a b=\"1>\" c=\"\" d=\">2\">", "<a b=\"1&gt;\" c=\"\" d=\"&gt;2\">"},
        FilterCase{"EscapedQuoteInside", "<a b=\"&quot;>&quot;\" />", "<a b=\"&quot;&gt;&quot;\" />"},
        FilterCase{"Utf8Value", "<a b=\"\xd0\x96>\xd1\x83\" />", "<a b=\"\xd0\x96&gt;\xd1\x83\" />"}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

// pugixml flushes its buffer about every 1,700 characters: a long InfectedObject element reaches
// the filter in several pieces, with values split between them.
TEST(ScanResultWriterLongElementTest, EveryAngleBracketInALongElementIsEscaped)
{
    ScanResult result;
    const auto object = boost::make_shared<InfectedObject>();
    for (int i = 0; i < 400; ++i)
        object->ObjectPath += L"<dir" + std::to_wstring(i) + L">\\";
    object->ThreatName = std::wstring(3000, L'x') + L">";
    result.infected.push_back(object);

    StringWriter collected;
    WriteScanResult(result, collected);
    const std::string& text = collected.text;

    std::string expectedPath;
    for (int i = 0; i < 400; ++i)
        expectedPath += "&lt;dir" + std::to_string(i) + "&gt;\\";
    EXPECT_NE(text.find(" ObjectPath=\"" + expectedPath + "\" "), std::string::npos);
    EXPECT_NE(text.find(" ThreatName=\"" + std::string(3000, 'x') + "&gt;\" "), std::string::npos);
    EXPECT_NE(text.find(" ScanAction=\"None\" />\n\t</InfectedObjects>\n</Summary>\n"), std::string::npos);
}

} // namespace
