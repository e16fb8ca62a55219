// The scoped trap for X errors: the innermost trap gets an error, and each trap
// puts back the handler it found. (No display: the traps do not sync.)
#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None and Bool as macros.
#include "platform/x11/x11_connection.h"

namespace teclix::x11 {
namespace {

int g_reported = 0;
int report(Display *, XErrorEvent *) {
  ++g_reported;
  return 0;
}

// The error handler installed now (read by putting it straight back).
XErrorHandler current_handler() {
  const XErrorHandler handler = XSetErrorHandler(report);
  XSetErrorHandler(handler);
  return handler;
}

void raise_error(unsigned char code) {
  XErrorEvent error{};
  error.type = 0;
  error.error_code = code;
  current_handler()(nullptr, &error);
}

TEST(ErrorTrap, CatchesTheFirstErrorInTheInnermostTrapAndPutsTheHandlerBack) {
  XSetErrorHandler(report);
  g_reported = 0;
  {
    ErrorTrap outer(nullptr);
    EXPECT_NE(current_handler(), report);
    {
      ErrorTrap inner(nullptr);
      raise_error(BadAccess);
      raise_error(BadValue); // only the first is kept
      EXPECT_EQ(inner.error_code(), BadAccess);
      EXPECT_TRUE(inner.failed());
    }
    EXPECT_EQ(outer.error_code(), 0);
    raise_error(BadWindow);
    EXPECT_EQ(outer.error_code(), BadWindow);
  }
  EXPECT_EQ(current_handler(), report);
  raise_error(BadMatch);
  EXPECT_EQ(g_reported, 1); // with no trap, errors reach the handler again
  XSetErrorHandler(nullptr);
}

} // namespace
} // namespace teclix::x11
