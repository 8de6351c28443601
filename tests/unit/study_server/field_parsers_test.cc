// Field checks: each kind of field against texts it must take and texts it must refuse.
#include "servers/study/field_parsers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrelio {
namespace {

struct FieldCase {
  const char* name;
  FieldKind kind;
  const char* text;
  bool accepted;
};

constexpr std::string_view kWords[] = {"plugged", "unplugged"};

class FieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldTest, TakesOrRefuses) {
  const FieldCase& c = GetParam();
  FieldLayout layout{"column", c.kind, kWords};
  std::string why;
  auto value = ParseField(layout, c.text, &why);
  EXPECT_EQ(value.has_value(), c.accepted) << c.text;
  if (!c.accepted) {
    EXPECT_NE(why.find("column"), std::string::npos) << why;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FieldTest,
    testing::Values(
        FieldCase{"device_ok", FieldKind::kDeviceId, "0123456789ABCDEF0123", true},
        FieldCase{"device_lower", FieldKind::kDeviceId, "0123456789abcdef0123", false},
        FieldCase{"device_short", FieldKind::kDeviceId, "0123456789ABCDEF012", false},
        FieldCase{"device_long", FieldKind::kDeviceId, "0123456789ABCDEF01234", false},
        FieldCase{"time_ok", FieldKind::kTimestamp, "2026-01-02 10:00:59", true},
        FieldCase{"time_leap_second", FieldKind::kTimestamp, "2026-12-31 23:59:60", true},
        FieldCase{"time_month_13", FieldKind::kTimestamp, "2026-13-02 10:00:00", false},
        FieldCase{"time_hour_24", FieldKind::kTimestamp, "2026-01-02 24:00:00", false},
        FieldCase{"time_t_separator", FieldKind::kTimestamp, "2026-01-02T10:00:00", false},
        FieldCase{"time_short", FieldKind::kTimestamp, "2026-01-02 10:00", false},
        FieldCase{"integer", FieldKind::kInteger, "12345", true},
        FieldCase{"integer_negative", FieldKind::kInteger, "-7", true},
        FieldCase{"integer_max", FieldKind::kInteger, "9223372036854775807", true},
        FieldCase{"integer_overflow", FieldKind::kInteger, "9223372036854775808", false},
        FieldCase{"integer_plus", FieldKind::kInteger, "+7", false},
        FieldCase{"integer_space", FieldKind::kInteger, " 7", false},
        FieldCase{"integer_empty", FieldKind::kInteger, "", false},
        FieldCase{"integer_minus_only", FieldKind::kInteger, "-", false},
        FieldCase{"decimal", FieldKind::kDecimal, "51.1234", true},
        FieldCase{"decimal_negative", FieldKind::kDecimal, "-0.1234", true},
        FieldCase{"decimal_whole", FieldKind::kDecimal, "3", true},
        FieldCase{"decimal_nan", FieldKind::kDecimal, "-nan", true},
        FieldCase{"decimal_exponent", FieldKind::kDecimal, "1e5", false},
        FieldCase{"decimal_no_whole", FieldKind::kDecimal, ".5", false},
        FieldCase{"decimal_huge", FieldKind::kDecimal, "100000000000000000000000000000000.0000",
                  false},
        FieldCase{"text", FieldKind::kText, "A&=+%B d", true},
        FieldCase{"text_empty", FieldKind::kText, "", true},
        FieldCase{"text_utf8", FieldKind::kText, "J\xC3\xBCrgen", true},
        FieldCase{"text_tab", FieldKind::kText, "a\tb", false},
        FieldCase{"text_del", FieldKind::kText, "a\x7F", false},
        FieldCase{"choice", FieldKind::kChoice, "unplugged", true},
        FieldCase{"choice_case", FieldKind::kChoice, "Plugged", false},
        FieldCase{"flag_0", FieldKind::kFlag, "0", true},
        FieldCase{"flag_2", FieldKind::kFlag, "2", false},
        FieldCase{"null", FieldKind::kNull, "null", true},
        FieldCase{"null_other", FieldKind::kNull, "NULL", false}),
    [](const testing::TestParamInfo<FieldCase>& case_info) { return case_info.param.name; });

TEST(FieldValues, CarryWhatWasWritten) {
  std::string why;
  EXPECT_EQ(std::get<int64_t>(*ParseField({"n", FieldKind::kInteger}, "-42", &why)), -42);
  EXPECT_DOUBLE_EQ(std::get<double>(*ParseField({"d", FieldKind::kDecimal}, "51.1234", &why)),
                   51.1234);
  EXPECT_TRUE(
      std::holds_alternative<std::monostate>(*ParseField({"d", FieldKind::kDecimal}, "inf", &why)));
  EXPECT_EQ(std::get<int64_t>(*ParseField({"f", FieldKind::kFlag}, "1", &why)), 1);
  EXPECT_EQ(std::get<std::string_view>(*ParseField({"t", FieldKind::kText}, "x y", &why)), "x y");
}

TEST(FieldValues, TextLimitIsInclusive) {
  EXPECT_TRUE(IsPlainText(std::string(kMaxTextBytes, 'a')));
  EXPECT_FALSE(IsPlainText(std::string(kMaxTextBytes + 1, 'a')));
}

TEST(FieldValues, DatesForTheFilter) {
  EXPECT_TRUE(IsDate("2026-01-31"));
  EXPECT_FALSE(IsDate("2026-1-31"));
  EXPECT_FALSE(IsDate("2026-01-31' OR 1=1"));
}

}  // namespace
}  // namespace kestrelio
