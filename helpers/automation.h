// The automation helper operations of the main window: a click at a point, a
// right double click sent to a window, typing by posted characters, a question box,
// and arithmetic with the run-time's overflow and division checks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace teclix {

// Clicks the left button at (X, Y) and puts the pointer back where it was, which
// is left in saved.
void click_at(const Platform &platform, std::int32_t X, std::int32_t Y, Point &saved);

// Sends a right-button double click to the window, then runs the event pump once.
void right_double_click(const Platform &platform, WindowHandle Handle);

// Posts each character of the text to the window as a typed character, in the code
// page the platform posts characters in (platform.post_code), leaving out line feeds.
// last_code holds the last character code handled. A text longer than 32,767 characters is
// error 6 (overflow) and nothing is posted.
void post_text(const Platform &platform, WindowHandle window, const std::u16string &text,
               std::uint8_t &last_code);

// The message box a standard style number asks for (buttons in its low four bits,
// the icon in the next four, the default button in the four after); a number
// this program does not know shows OK.
MessageBoxStyle message_box_style(int standard);
// The standard style number of a message box.
int standard_style(const MessageBoxStyle &style);

// A question box: the message box style is option plus the question-mark icon
// (32), added with a 16-bit overflow check. Returns the pressed button's standard
// code (answer_code).
std::int16_t question_box(const Platform &platform, const std::u16string &prompt,
                          std::int16_t option, const std::u16string &title);
// The standard code of a message box's answer: 1 for OK up to 7 for No.
int answer_code(BoxAnswer answer);

// arg1 / arg2 as a double. A non-zero value over 0 is error 11 (division by zero);
// 0 over 0 is error 6 (overflow).
double divide(std::int32_t arg1, std::int32_t arg2);

// arg1 * arg2; a product outside 32 bits is error 6 (overflow).
std::int32_t multiply(std::int32_t arg1, std::int32_t arg2);

} // namespace teclix
