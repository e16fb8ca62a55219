#include "typing/paste_plan.h"

#include <string_view>

namespace teclix {

namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\u00A0' || c == u'\u202F';
}

bool is_digit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool is_no_break_space(std::u16string_view s) {
  return s == u"\u00A0" || s == u"\u202F";
}

// A cursor over the text being read as a number.
class Reader {
public:
  explicit Reader(std::u16string_view text) : text_(text) {}

  bool at_end() const { return pos_ == text_.size(); }
  char16_t peek() const { return at_end() ? u'\0' : text_[pos_]; }
  bool take(std::u16string_view s) {
    if (!s.empty() && text_.substr(pos_).starts_with(s)) {
      pos_ += s.size();
      return true;
    }
    return false;
  }
  std::u16string digits() {
    std::u16string out;
    while (!at_end() && is_digit(text_[pos_])) {
      out += text_[pos_++];
    }
    return out;
  }
  void skip_blanks() {
    while (!at_end() && is_blank(text_[pos_])) {
      ++pos_;
    }
  }
  std::size_t pos() const { return pos_; }
  void seek(std::size_t pos) { pos_ = pos; }

private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

bool take_group_separator(Reader &r, const NumberFormat &format) {
  if (r.take(format.grouping)) {
    return true;
  }
  // Locales that group with a no-break space are often written with a plain one.
  return is_no_break_space(format.grouping) && (r.take(u" ") || r.take(u"\u00A0"));
}

// Integer digits, either plain or grouped in threes after a first group of one to three.
std::optional<std::u16string> read_integer_part(Reader &r, const NumberFormat &format) {
  std::u16string digits = r.digits();
  if (digits.empty() || digits.size() > 3 || format.grouping.empty()) {
    return digits;
  }
  while (true) {
    const std::size_t before = r.pos();
    if (!take_group_separator(r, format)) {
      return digits;
    }
    std::u16string group = r.digits();
    if (group.size() != 3) {
      // A separator not followed by exactly three digits is not grouping.
      r.seek(before);
      return group.empty() && digits.size() <= 3 ? std::optional<std::u16string>(digits)
                                                 : std::nullopt;
    }
    digits += group;
  }
}

// Adds one to a string of decimal digits.
void increment(std::u16string &digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != u'9') {
      ++*it;
      return;
    }
    *it = u'0';
  }
  digits.insert(digits.begin(), u'1');
}

} // namespace

std::optional<RoundedNumber> read_number(const std::u16string &text, const NumberFormat &format) {
  Reader r(text);
  r.skip_blanks();
  bool negative = false;
  if (r.take(format.negative) || r.take(u"-") || r.take(u"\u2212")) {
    negative = true;
  } else {
    r.take(u"+");
  }

  std::optional<std::u16string> integer = read_integer_part(r, format);
  if (!integer) {
    return std::nullopt;
  }
  std::u16string fraction;
  if (r.take(format.decimal)) {
    fraction = r.digits();
  }
  if (integer->empty() && fraction.empty()) {
    return std::nullopt;
  }
  r.skip_blanks();
  if (!r.at_end()) {
    return std::nullopt;
  }

  // Round half away from zero on the digits themselves: the magnitude goes up
  // whenever the third decimal is 5 or more.
  std::u16string scaled = *integer + (fraction + u"00").substr(0, 2);
  if (fraction.size() > 2 && fraction[2] >= u'5') {
    increment(scaled);
  }
  if (scaled.size() < 3) {
    scaled.insert(0, 3 - scaled.size(), u'0');
  }
  // Leading zeros go, but one integer digit always stays.
  std::size_t first = scaled.find_first_not_of(u'0');
  if (first == std::u16string::npos || first > scaled.size() - 3) {
    first = scaled.size() - 3;
  }
  scaled.erase(0, first);

  RoundedNumber n;
  n.integer_digits = scaled.substr(0, scaled.size() - 2);
  n.decimal_digits = scaled.substr(scaled.size() - 2);
  n.negative = negative && scaled.find_first_not_of(u'0') != std::u16string::npos;
  return n;
}

std::u16string format_number(const RoundedNumber &number, const NumberFormat &format) {
  return (number.negative ? format.negative : u"") + number.integer_digits + format.decimal +
         number.decimal_digits;
}

PastePlan plan_paste(const std::u16string &text, const NumberFormat &format) {
  const std::optional<RoundedNumber> number = read_number(text, format);
  if (!number) {
    return {PasteStep{PasteStep::Kind::TypeText, text, Key::kKeypadDecimal}};
  }
  return {
      PasteStep{PasteStep::Kind::TypeText,
                (number->negative ? format.negative : u"") + number->integer_digits,
                Key::kKeypadDecimal},
      PasteStep{PasteStep::Kind::PressKey, u"", Key::kKeypadDecimal},
      PasteStep{PasteStep::Kind::TypeText, number->decimal_digits, Key::kKeypadDecimal},
  };
}

} // namespace teclix
