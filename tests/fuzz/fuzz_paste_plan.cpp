// Fuzzes number recognition and the paste plan: a text is either typed whole, or
// is a number whose plan types a sign and digits, the keypad decimal key and two digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "typing/paste_plan.h"
#include "typing/unicode.h"

using namespace teclix;

namespace {

const NumberFormat kFormats[] = {
    {u",", u".", u"-"}, {u".", u",", u"-"}, {u",", u"\u202F", u"-"}, {u"\u066B", u"", u"\u2212"}};

bool all_digits(const std::u16string &s) {
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') {
      return false;
    }
  }
  return true;
}

void check(bool ok) {
  if (!ok) {
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const NumberFormat &format = kFormats[data[0] % 4];
  const std::u16string text =
      utf8_to_utf16(std::string_view(reinterpret_cast<const char *>(data + 1), size - 1));
  const PastePlan plan = plan_paste(text, format);
  if (plan.size() == 1) {
    check(plan[0].kind == PasteStep::Kind::TypeText && plan[0].text == text);
    return 0;
  }
  check(plan.size() == 3);
  check(plan[1].kind == PasteStep::Kind::PressKey && plan[1].key == Key::kKeypadDecimal);
  check(plan[2].text.size() == 2 && all_digits(plan[2].text));
  std::u16string integer = plan[0].text;
  if (integer.starts_with(format.negative)) {
    integer.erase(0, format.negative.size());
  }
  check(!integer.empty() && all_digits(integer));
  check(integer.size() == 1 || integer[0] != u'0');
  // The number written back in the same format reads as itself.
  const auto number = read_number(text, format);
  check(number.has_value());
  const auto again = read_number(format_number(*number, format), format);
  check(again.has_value() && again->negative == number->negative &&
        again->integer_digits == number->integer_digits &&
        again->decimal_digits == number->decimal_digits);
  return 0;
}
