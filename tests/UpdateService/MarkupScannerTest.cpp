// What the reply screen takes for markup the runtime would misread: one verdict for a text however
// it is cut into the pieces the network delivers.
#include "UpdateService/MarkupScanner.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

using UpdateService::Wrapper::MarkupScanner;

namespace
{

struct ScanCase
{
    const char* name;
    std::string text;
    bool accepted;
};

const std::string Prolog = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
const std::string Body = "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body>"
                         "<a b='1' c=\"x > y\">text &amp; &lt;!DOCTYPE&gt; ]]&gt;</a></soap:Body></soap:Envelope>";

const ScanCase ScanCases[] = {
    {"plain_reply", Prolog + Body, true},
    {"reply_with_comments_cdata_and_instructions",
        Prolog + "<!-- a - comment -><!x -->" + "<?pi ?\?>" + "<r><![CDATA[<!DOCTYPE r [<!ENTITY e \"v\">]> ]]]></r>",
        true},
    {"empty", "", true},
    {"doctype_in_the_prolog", Prolog + "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>" + Body, false},
    {"doctype_without_the_xml_declaration", "<!DOCTYPE r>" + Body, false},
    {"blanks_between_the_bracket_and_the_declaration", "< \t\r\n!DOCTYPE r>" + Body, false},
    {"declaration_inside_an_element", "<r><!ENTITY e \"v\"></r>", false},
    {"declaration_after_a_comment", "<!-- c --><!DOCTYPE r>", false},
    {"declaration_after_a_cdata_section", "<r><![CDATA[]]]]><!DOCTYPE r></r>", false},
    {"declaration_after_an_instruction", "<?pi x?><!DOCTYPE r>", false},
    {"conditional_section", "<![IGNORE[ x ]]>", false},
    {"cdata_keyword_in_lower_case", "<r><![cdata[ x ]]></r>", false},
    {"single_dash_after_the_bang", "<!-x>", false},
    {"double_dash_inside_a_comment", "<!-- a -- b --><!DOCTYPE r>", false},
    // The runtime ends a comment at its first "--", an instruction at its first "?": what follows
    // would be read as markup, so these are refused on their own.
    {"double_dash_alone_inside_a_comment", "<r><!-- a -- b --></r>", false},
    {"question_mark_inside_an_instruction", "<?pi a?b?><!DOCTYPE r>", false},
    {"lone_question_mark_inside_an_instruction", "<?pi a ? b ?><r/>", false},
    {"cdata_keyword_without_its_bracket", "<r><![CDATA x]]></r>", false},
    {"percent_markup", "<% x %>", false},
    {"bracket_in_an_attribute_value", "<r a=\"<!--\"><!DOCTYPE r>--></r>", false},
    {"bracket_inside_a_tag", "<r <!DOCTYPE r>>", false},
    {"known_references_in_text_and_attribute_values",
        "<a b=\"&quot;&#65;\" c='&apos;&#x41;'>&lt;&gt;&amp;&quot;&apos;&#123456;&#x10FFF;</a>", true},
    {"references_in_comments_and_cdata_sections", "<a><!-- &x; --><![CDATA[&nbsp;]]></a>", true},
    {"undeclared_entity_in_text", "<a>http://x/&url;</a>", false},
    {"undeclared_entity_in_a_double_quoted_value", "<a b=\"&url;\"/>", false},
    {"undeclared_entity_in_a_single_quoted_value", "<a b='&url;'/>", false},
    {"html_entity", "<a>&nbsp;</a>", false},
    {"empty_reference", "<a>&;</a>", false},
    {"decimal_reference_without_digits", "<a>&#;</a>", false},
    {"hexadecimal_reference_without_digits", "<a>&#x;</a>", false},
    // Characters XML allows: tab, line feed, carriage return, U+0020-U+D7FF, U+E000-U+FFFD and
    // U+10000-U+10FFFF. A reference to any other is refused like an unknown entity.
    {"references_to_the_edges_of_what_xml_allows",
        "<a b='&#9;&#xA;&#13;&#x20;'>&#xD7FF;&#xE000;&#xFFFD;&#x10000;&#65533;&#x0041;</a>", true},
    {"reference_to_nul", "<a>http://x/&#0;.msi</a>", false},
    {"reference_to_nul_with_leading_zeros", "<a>&#x0000;</a>", false},
    {"reference_to_a_control_character", "<a>&#1;</a>", false},
    {"reference_to_the_last_control_character_before_space", "<a>&#x1F;</a>", false},
    {"reference_to_vertical_tab", "<a b=\"&#xB;\"/>", false},
    {"reference_to_a_high_surrogate", "<a>&#xD800;</a>", false},
    {"reference_to_a_low_surrogate", "<a>&#57343;</a>", false},
    {"reference_to_fffe", "<a>&#xFFFE;</a>", false},
    {"reference_to_ffff", "<a>&#65535;</a>", false},
    {"reference_beyond_10ffff", "<a>&#x110000;</a>", false},
    {"character_reference_with_a_letter", "<a>&#6a;</a>", false},
    {"hexadecimal_reference_with_a_capital_x", "<a>&#X41;</a>", false},
    // The runtime would read "#x10FFF" and take "F;" as text.
    {"reference_longer_than_the_runtime_reads", "<a>&#x10FFFF;</a>", false},
    {"reference_never_ended", "<a>&amp</a>", false},
    // After the root element only white space, comments and instructions.
    {"white_space_comments_and_instructions_after_the_root",
        Prolog + Body + "\r\n\t <!-- end --> <?pi x?>\n<!---->", true},
    {"text_after_the_root", Prolog + Body + "junk text", false},
    {"text_after_an_empty_root", "<r/>x", false},
    {"a_control_character_after_the_root", "<r/>\v", false},
    {"a_reference_after_the_root", "<r/>&amp;", false},
    {"a_cdata_section_after_the_root", "<r/><![CDATA[ x ]]>", false},
    {"a_second_root", Prolog + Body + Body, false},
    {"a_second_root_after_a_comment", "<r></r><!-- c --><r/>", false},
    {"an_end_tag_after_the_root", "<r/></r>", false},
    {"an_end_tag_before_any_element", "</r><r/>", false},
    // Elements nest: text between two of them is still inside the root.
    {"text_between_nested_elements", "<r><a x='/'/>text<b></b> more <c/></r>", true},
};

class MarkupScannerTest : public testing::TestWithParam<ScanCase>
{
};

} // namespace

// The verdict on text given in pieces, cut at the offsets (ascending).
bool Verdict(const std::string& text, const std::vector<std::size_t>& cuts)
{
    MarkupScanner scanner;
    bool accepted = true;
    std::size_t begin = 0;
    for (const std::size_t end : cuts)
    {
        accepted = scanner.Take(text.data() + begin, end - begin);
        begin = end;
    }
    return scanner.Take(text.data() + begin, text.size() - begin) && accepted;
}

TEST_P(MarkupScannerTest, RefusesWhatTheRuntimeWouldMisreadWhereverTheTextIsSplit)
{
    const ScanCase& c = GetParam();
    EXPECT_EQ(Verdict(c.text, {}), c.accepted);

    std::vector<std::size_t> everyByte;
    for (std::size_t offset = 1; offset < c.text.size(); ++offset)
        everyByte.push_back(offset);
    EXPECT_EQ(Verdict(c.text, everyByte), c.accepted) << "a byte at a time";

    // In two pieces cut anywhere, and in three whose middle is one or two bytes long.
    for (std::size_t cut = 0; cut <= c.text.size(); ++cut)
    {
        EXPECT_EQ(Verdict(c.text, {cut}), c.accepted) << "cut at " << cut;
        for (std::size_t end = cut + 1; end <= cut + 2 && end <= c.text.size(); ++end)
            EXPECT_EQ(Verdict(c.text, {cut, end}), c.accepted) << "cut at " << cut << " and " << end;
    }

    // Once refused, refused for good.
    MarkupScanner whole;
    whole.Take(c.text.data(), c.text.size());
    EXPECT_EQ(whole.Take("<!-- -->", 8), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, MarkupScannerTest, testing::ValuesIn(ScanCases),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

// A document is finished when its root element has ended and nothing after it is left open.
TEST(MarkupScannerFinishedTest, OnlyAfterTheRootWithNothingLeftOpen)
{
    const struct
    {
        const char* text;
        bool finished;
    } cases[] = {
        {"", false},
        {"<?xml version=\"1.0\"?><!-- before -->", false},
        {"<r>", false},
        {"<r><a/>", false},
        {"<r/>", true},
        {"<r><a/></r>\r\n", true},
        {"<r/><!-- end -->", true},
        {"<r/><!-- left open", false},
        {"<r/><?pi left open", false},
        {"<r/><", false},
    };
    for (const auto& c : cases)
    {
        MarkupScanner scanner;
        EXPECT_TRUE(scanner.Take(c.text, std::strlen(c.text))) << c.text;
        EXPECT_EQ(scanner.Finished(), c.finished) << c.text;
    }
}
