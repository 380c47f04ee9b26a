// What the reply screen takes for markup the runtime would misread, whole and split at every byte.
#include "UpdateService/MarkupScanner.h"

#include <gtest/gtest.h>

#include <string>

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
    {"known_references_in_text_and_attribute_values",
        "<a b=\"&quot;&#65;\" c='&apos;&#x41;'>&lt;&gt;&amp;&quot;&apos;&#123456;&#x10FFF;</a>", true},
    {"references_in_comments_and_cdata_sections", "<a><!-- &x; --><![CDATA[&nbsp;]]></a>", true},
    {"undeclared_entity_in_text", "<a>http://x/&url;</a>", false},
    {"undeclared_entity_in_a_double_quoted_value", "<a b=\"&url;\"/>", false},
    {"undeclared_entity_in_a_single_quoted_value", "<a b='&url;'/>", false},
    {"html_entity", "<a>&nbsp;</a>", false},
    {"empty_reference", "<a>&;</a>", false},
    {"character_reference_without_digits", "<a>&#;&#x;</a>", false},
    {"character_reference_with_a_letter", "<a>&#6a;</a>", false},
    {"hexadecimal_reference_with_a_capital_x", "<a>&#X41;</a>", false},
    // The runtime would read "#x10FFF" and take "F;" as text.
    {"reference_longer_than_the_runtime_reads", "<a>&#x10FFFF;</a>", false},
    {"reference_never_ended", "<a>&amp</a>", false},
};

class MarkupScannerTest : public testing::TestWithParam<ScanCase>
{
};

} // namespace

TEST_P(MarkupScannerTest, RefusesWhatTheRuntimeWouldMisreadWhereverTheTextIsSplit)
{
    const ScanCase& c = GetParam();
    MarkupScanner whole;
    EXPECT_EQ(whole.Take(c.text.data(), c.text.size()), c.accepted);

    MarkupScanner bytes;
    bool accepted = true;
    for (const char byte : c.text)
        accepted = bytes.Take(&byte, 1);
    EXPECT_EQ(accepted, c.accepted);

    // Once refused, refused for good.
    EXPECT_EQ(whole.Take("<r/>", 4), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, MarkupScannerTest, testing::ValuesIn(ScanCases),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });
