#include "typing/keys.h"
#include "typing/paste_plan.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "test_text.h"

namespace teclix {
namespace {

const NumberFormat kComma{u",", u".", u"-"};
const NumberFormat kDot{u".", u",", u"-"};
const NumberFormat kFrench{u",", u"\u202F", u"-"};

// The plan written as one line: text pieces in brackets, pressed keys in hex.
std::string describe(const PastePlan &plan) {
  std::string out;
  for (const PasteStep &step : plan) {
    if (!out.empty()) {
      out += ' ';
    }
    if (step.kind == PasteStep::Kind::TypeText) {
      out.append("[").append(u8(step.text)).append("]");
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%02X", unsigned{virtual_key_for(step.key)});
      out += buf;
    }
  }
  return out;
}

struct PlanCase {
  const char *clipboard;
  const NumberFormat *format;
  const char *plan;
};

// A case as its clipboard text and locale, with bytes other than letters, digits
// and a few signs written as \xHH: test listings name each case the same way in
// every run (by default they show the bytes of its pointers).
void PrintTo(const PlanCase &c, std::ostream *os) {
  for (const char *p = c.clipboard; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (std::isalnum(byte) != 0 || std::strchr(" .,-+", byte) != nullptr) {
      *os << *p;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", byte);
      *os << buf;
    }
  }
  *os << (c.format == &kComma ? " (comma)" : c.format == &kDot ? " (dot)" : " (French)");
}

class PlanTable : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTable, BuildsTheExpectedSteps) {
  const PlanCase &c = GetParam();
  EXPECT_EQ(describe(plan_paste(u16(c.clipboard), *c.format)), c.plan)
      << "clipboard: " << c.clipboard;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, PlanTable,
    ::testing::Values(
        // A comma locale.
        PlanCase{"1234,5", &kComma, "[1234] 0x6E [50]"}, PlanCase{"7", &kComma, "[7] 0x6E [00]"},
        PlanCase{"-3,456", &kComma, "[-3] 0x6E [46]"},
        PlanCase{"1.234.567,891", &kComma, "[1234567] 0x6E [89]"},
        PlanCase{",5", &kComma, "[0] 0x6E [50]"}, PlanCase{"5,", &kComma, "[5] 0x6E [00]"},
        PlanCase{"+12", &kComma, "[12] 0x6E [00]"}, PlanCase{"007,1", &kComma, "[7] 0x6E [10]"},
        // A dot locale gives the same plans for its own way of writing.
        PlanCase{"1234.5", &kDot, "[1234] 0x6E [50]"},
        PlanCase{"1,234.5", &kDot, "[1234] 0x6E [50]"}, PlanCase{"-0.5", &kDot, "[-0] 0x6E [50]"},
        // Rounding is exact and half away from zero, on any number of digits.
        PlanCase{"2.345", &kDot, "[2] 0x6E [35]"}, PlanCase{"2.344999999", &kDot, "[2] 0x6E [34]"},
        PlanCase{"-2.345", &kDot, "[-2] 0x6E [35]"}, PlanCase{"9.995", &kDot, "[10] 0x6E [00]"},
        PlanCase{"-999.999", &kDot, "[-1000] 0x6E [00]"}, PlanCase{"0.005", &kDot, "[0] 0x6E [01]"},
        PlanCase{"1.015", &kDot, "[1] 0x6E [02]"},
        PlanCase{"123456789012345678901234567890.125", &kDot,
                 "[123456789012345678901234567890] 0x6E [13]"},
        // A negative number that rounds to zero loses its sign.
        PlanCase{"-0.001", &kDot, "[0] 0x6E [00]"},
        // Blanks around the number, as a spreadsheet cell is copied, are not typed.
        PlanCase{"1234,5\r\n", &kComma, "[1234] 0x6E [50]"},
        PlanCase{"  42\n", &kDot, "[42] 0x6E [00]"},
        PlanCase{"\t3,25\u00A0", &kComma, "[3] 0x6E [25]"},
        // Grouping by no-break space also accepts a plain space.
        PlanCase{"1\u202F234,5", &kFrench, "[1234] 0x6E [50]"},
        PlanCase{"1 234,5", &kFrench, "[1234] 0x6E [50]"}),
    [](const auto &i) { return case_name(i.index, i.param.clipboard); });

INSTANTIATE_TEST_SUITE_P(
    TextTypedWhole, PlanTable,
    ::testing::Values(PlanCase{"ABC", &kComma, "[ABC]"}, PlanCase{"", &kComma, "[]"},
                      PlanCase{"Hola, mundo", &kComma, "[Hola, mundo]"},
                      PlanCase{"1,2,3", &kComma, "[1,2,3]"}, PlanCase{"1,2,3", &kDot, "[1,2,3]"},
                      // Grouping must come in threes.
                      PlanCase{"1,23", &kDot, "[1,23]"}, PlanCase{"1.5", &kComma, "[1.5]"},
                      // A comma is not the decimal separator of a dot locale.
                      PlanCase{"1234,5", &kDot, "[1234,5]"},
                      PlanCase{"12.34.56", &kDot, "[12.34.56]"}, PlanCase{"-", &kDot, "[-]"},
                      PlanCase{".", &kDot, "[.]"}, PlanCase{"1e5", &kDot, "[1e5]"},
                      PlanCase{"12 34", &kDot, "[12 34]"}, PlanCase{"--1", &kDot, "[--1]"},
                      PlanCase{"1.5\nB", &kDot, "[1.5\nB]"},
                      PlanCase{"  Hola  \r\n", &kDot, "[  Hola  \r\n]"}),
    [](const auto &i) { return case_name(i.index, i.param.clipboard); });

TEST(FormatNumber, WritesTheLocaleSeparatorAndSign) {
  const NumberFormat odd{u"\u066B", u"", u"\u2212"};
  const auto n = read_number(u"-12\u066B5", odd);
  ASSERT_TRUE(n.has_value());
  EXPECT_EQ(format_number(*n, odd), u"\u221212\u066B50");
  EXPECT_EQ(format_number(*read_number(u"1.234,5", kComma), kComma), u"1234,50");
}

} // namespace
} // namespace teclix
