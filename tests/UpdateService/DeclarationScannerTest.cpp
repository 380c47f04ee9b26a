// What the reply screen takes for a markup declaration, whole and split at every byte.
#include "UpdateService/DeclarationScanner.h"

#include <gtest/gtest.h>

#include <string>

using UpdateService::Wrapper::DeclarationScanner;

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
        Prolog + "<!-- a - comment -><!x -->" + "<?pi ?\?>" + "<r><![CDATA[<!DOCTYPE r [<!ENTITY e \"v\">]> ]]]></r>" + Body,
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
    {"question_mark_inside_an_instruction", "<?pi a?b?><!DOCTYPE r>", false},
    {"percent_markup", "<% x %>", false},
    {"bracket_in_an_attribute_value", "<r a=\"<!--\"><!DOCTYPE r>--></r>", false},
    {"bracket_inside_a_tag", "<r <!DOCTYPE r>>", false},
};

class DeclarationScannerTest : public testing::TestWithParam<ScanCase>
{
};

} // namespace

TEST_P(DeclarationScannerTest, RefusesMarkupDeclarationsWhereverTheTextIsSplit)
{
    const ScanCase& c = GetParam();
    DeclarationScanner whole;
    EXPECT_EQ(whole.Take(c.text.data(), c.text.size()), c.accepted);

    DeclarationScanner bytes;
    bool accepted = true;
    for (const char byte : c.text)
        accepted = bytes.Take(&byte, 1);
    EXPECT_EQ(accepted, c.accepted);

    // Once refused, refused for good.
    EXPECT_EQ(whole.Take("<r/>", 4), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, DeclarationScannerTest, testing::ValuesIn(ScanCases),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });
