// How the clipboard's text is to be typed: numbers normalised to two decimals
// with the keypad decimal key as separator, every other text typed as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace teclix {

// One step of a paste.
struct PasteStep {
  enum class Kind { TypeText, PressKey };
  Kind kind = Kind::TypeText;
  std::u16string text;           // TypeText: the piece to type
  Key key = Key::kKeypadDecimal; // PressKey: the key to press

  bool operator==(const PasteStep &) const = default;
};

// The steps of one paste, in order: one step, or three for a number.
using PastePlan = std::vector<PasteStep>;

// A number as it reads after rounding to two decimals.
struct RoundedNumber {
  bool negative = false;
  std::u16string integer_digits; // at least one digit, no grouping
  std::u16string decimal_digits; // exactly two digits
};

// Reads text as a number written in the given format: optional blanks, an optional
// sign, digits (optionally grouped in threes), an optional decimal separator and
// digits, optional blanks. Rounds half away from zero to two decimals, exactly.
std::optional<RoundedNumber> read_number(const std::u16string &text, const NumberFormat &format);

// The number written with the "0.00" pattern in the given format.
std::u16string format_number(const RoundedNumber &number, const NumberFormat &format);

// Builds the plan for the clipboard text read under the user's number format.
PastePlan plan_paste(const std::u16string &text, const NumberFormat &format);

} // namespace teclix
