// Escaping of untrusted record text for HTML and CSV, and basic-auth decoding.
#include "servers/study/text_escape.h"

#include <gtest/gtest.h>

namespace kestrelio {
namespace {

struct EscapeCase {
  const char* name;
  std::string in;
  std::string out;
};

class HtmlEscapeTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(HtmlEscapeTest, Escapes) { EXPECT_EQ(HtmlEscape(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlEscapeTest,
    testing::Values(EscapeCase{"plain", "Ann", "Ann"},
                    EscapeCase{"markup", "<script>alert('x')</script>",
                               "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
                    EscapeCase{"attribute", "\" onload=\"x", "&quot; onload=&quot;x"},
                    EscapeCase{"ampersand", "&=+%", "&amp;=+%"},
                    EscapeCase{"utf8_kept", "J\xC3\xBCrgen", "J\xC3\xBCrgen"},
                    EscapeCase{"latin1_byte", "J\xFCrgen", "J&#xFFFD;rgen"},
                    EscapeCase{"cut_sequence", "a\xE2\x82", "a&#xFFFD;&#xFFFD;"},
                    EscapeCase{"overlong", "\xC0\xBC", "&#xFFFD;&#xFFFD;"},
                    EscapeCase{"surrogate", "\xED\xA0\x80", "&#xFFFD;&#xFFFD;&#xFFFD;"},
                    EscapeCase{"control", std::string("a\0b", 3), "a&#xFFFD;b"}),
    [](const testing::TestParamInfo<EscapeCase>& case_info) { return case_info.param.name; });

TEST(Csv, QuotesWhatNeedsIt) {
  EXPECT_EQ(CsvField("Ann", CsvCell::kText), "Ann");
  EXPECT_EQ(CsvField("a,b", CsvCell::kText), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\"", CsvCell::kText), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("a\r\nb", CsvCell::kText), "\"a\r\nb\"");
}

TEST(Csv, FormulasInTextAreDisarmed) {
  EXPECT_EQ(CsvField("=HYPERLINK(\"x\")", CsvCell::kText), "\"'=HYPERLINK(\"\"x\"\")\"");
  EXPECT_EQ(CsvField("+1", CsvCell::kText), "'+1");
  EXPECT_EQ(CsvField("@SUM(A1)", CsvCell::kText), "'@SUM(A1)");
  // Numbers keep their sign.
  EXPECT_EQ(CsvField("-0.1234", CsvCell::kNumber), "-0.1234");
}

TEST(Base64, DecodesCredentials) {
  EXPECT_EQ(Base64Decode("eDpzZWNyZXQ="), "x:secret");
  EXPECT_EQ(Base64Decode("YQ=="), "a");
  EXPECT_EQ(Base64Decode("YWI="), "ab");
  EXPECT_EQ(Base64Decode(""), "");
  EXPECT_FALSE(Base64Decode("YQ="));
  EXPECT_FALSE(Base64Decode("Y==="));
  EXPECT_FALSE(Base64Decode("YQ==YQ=="));
  EXPECT_FALSE(Base64Decode("a*b="));
}

}  // namespace
}  // namespace kestrelio
