#include "typing/main_loop.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fake/fake_platform.h"
#include "test_text.h"
#include "typing/console_targets.h"
#include "typing/unicode.h"
#include "window/form1.h"

namespace teclix {
namespace {

// Runs the program against the fake until its script is over.
void run(FakePlatform &fake) {
  Form1 form(fake);
  form.Load();
  EXPECT_TRUE(form.stopped());
  EXPECT_FALSE(form.hotkey_held());
}

TEST(MainLoop, StartsHoldsF10AndReleasesItOnClose) {
  FakePlatform fake;
  run(fake);
  const std::vector<std::string> expected = {"create", "register 79 0", "show", "close",
                                             "unregister"};
  EXPECT_EQ(fake.calls, expected);
  EXPECT_EQ(fake.instruction, kInstruction);
  EXPECT_EQ(fake.waits, 1); // the loop ends within the pass that saw the close
}

TEST(MainLoop, EachHotkeyPastesTheClipboard) {
  FakePlatform fake;
  fake.clipboard = u"Hola, mundo";
  fake.script = {FakeEvent::Hotkey, FakeEvent::Timer, FakeEvent::Hotkey};
  run(fake);
  EXPECT_EQ(fake.typed, u"Hola, mundoHola, mundo");
}

TEST(MainLoop, NumbersUseTheKeypadDecimalKey) {
  FakePlatform fake;
  fake.format = NumberFormat{u",", u".", u"-"};
  fake.clipboard = u"-1.234,567\r\n";
  fake.keypad_decimal = u',';
  fake.script = {FakeEvent::Hotkey};
  run(fake);
  EXPECT_EQ(fake.joined_log(), "+- -- +1 -1 +2 -2 +3 -3 +4 -4 +Decimal -Decimal +5 -5 +7 -7");
  EXPECT_EQ(fake.typed, u"-1234,57");
  EXPECT_EQ(fake.pastes_started, 1);

  // Into a console, with Shift held: the keypad decimal key's character is typed
  // with the main block's key, paced like the others, while Shift is let go.
  FakePlatform console;
  console.target = TargetWindow{u"vncviewer", u"Vncviewer", u"guest - TigerVNC"};
  console.format = fake.format;
  console.keypad_decimal = u',';
  console.clipboard = u"12,5";
  console.hold(kShift);
  console.script = {FakeEvent::Hotkey};
  run(console);
  EXPECT_EQ(console.typed, u"12.50");
  EXPECT_EQ(console.joined_log().find("Decimal"), std::string::npos) << console.joined_log();
  EXPECT_EQ(console.unpaused_events, 0u) << console.joined_log();
  EXPECT_EQ(console.pastes_started, 1);
  EXPECT_EQ(console.modifiers_now(), unsigned{kShift});
}

struct NothingTyped {
  const char *why;
  WindowHandle focus;
  std::optional<std::u16string> clipboard;
};

class PressTypesNothing : public ::testing::TestWithParam<NothingTyped> {};

TEST_P(PressTypesNothing, AndTheLoopGoesOn) {
  const NothingTyped &c = GetParam();
  FakePlatform fake;
  fake.focus = c.focus;
  fake.clipboard = c.clipboard;
  fake.script = {FakeEvent::Hotkey};
  run(fake);
  EXPECT_TRUE(fake.log.empty()) << c.why << ": " << fake.joined_log();
  EXPECT_EQ(fake.pastes_started, 0) << c.why;
}

INSTANTIATE_TEST_SUITE_P(Cases, PressTypesNothing,
                         ::testing::Values(NothingTyped{"nothing focused", 0, u"texto"},
                                           NothingTyped{"empty clipboard", 0x55, u""},
                                           NothingTyped{"no text on the clipboard", 0x55,
                                                        std::nullopt}),
                         [](const auto &i) { return case_name(i.index, i.param.why); });

TEST(MainLoop, AHotkeyPressedDuringAPasteIsNotASecondPaste) {
  FakePlatform fake;
  fake.clipboard = u"ab";
  fake.script = {FakeEvent::Hotkey};
  bool pressed_again = false;
  fake.on_key_event = [&] {
    if (!pressed_again) {
      pressed_again = true;
      fake.queued.push_back(FakeEvent::Hotkey);
    }
  };
  run(fake);
  EXPECT_EQ(fake.typed, u"ab");
  EXPECT_EQ(fake.pastes_started, 1);
}

TEST(MainLoop, F10HeldElsewhereIsSaidInTheWindowAndTheLoopStillRuns) {
  FakePlatform fake;
  fake.hotkey_taken = true;
  run(fake);
  // The Spanish sentence alone: the system's own words are not the user's language.
  EXPECT_EQ(fake.instruction,
            u"La tecla F10 está ocupada por otro programa, así que Teclix no "
            u"puede pegar con ella. Cierre ese programa y vuelva a abrir Teclix.");
  EXPECT_TRUE(fake.shown);
  // Nothing was held, so nothing is released.
  EXPECT_EQ(fake.calls.back(), "close");
}

TEST(MainLoop, ALimitOfTheSessionIsSaidBelowWhatTheWindowSays) {
  struct Case {
    bool hotkey_taken;
    std::u16string expected_start;
  };
  const SessionState wayland{SessionState::Keys::kX11WindowsOnly};
  for (const Case &c : {Case{false, kInstruction}, Case{true, kHotkeyInUseNotice}}) {
    FakePlatform fake;
    fake.hotkey_taken = c.hotkey_taken;
    fake.session = wayland;
    run(fake);
    EXPECT_EQ(fake.instruction, c.expected_start + u"\r\n" + session_notice(wayland));
  }
}

TEST(MainLoop, TheSessionNoticeSaysHowKeysClipboardAndF10Go) {
  using Keys = SessionState::Keys;
  struct Case {
    SessionState session;
    std::u16string says;
  };
  const Case cases[] = {
      {{Keys::kEverywhere}, u""},
      {{Keys::kVirtualKeyboard, true, false},
       u"Wayland: Teclix escribe con un teclado virtual y lee el portapapeles de Wayland. F10 "
       u"solo llega desde ventanas X11: asigne F10 a «teclix --paste» en su escritorio."},
      {{Keys::kVirtualKeyboard, false, true},
       u"Wayland: Teclix escribe con un teclado virtual; el portapapeles, por Xwayland. F10 "
       u"llega por los atajos globales del escritorio."},
      {{Keys::kPortal, false, true},
       u"Wayland: Teclix escribe por el portal de escritorio (solo teclas de su distribución). "
       u"F10 llega por los atajos globales del escritorio."},
      {{Keys::kEmulatedInput, false, false},
       u"Wayland: Teclix escribe por la entrada emulada del escritorio (solo teclas de su "
       u"distribución). F10 solo llega desde ventanas X11: asigne F10 a «teclix --paste» en su "
       u"escritorio."},
      {{Keys::kPortalRefused},
       u"El escritorio no dejó escribir a Teclix: F10 no teclea nada. Cierre Teclix y ábralo de "
       u"nuevo para volver a pedirlo."},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(session_notice(c.session), c.says);
  }
}

// A target whose program runs as administrator gets no key (the system would drop
// them all), and the window says why until the next paste; a level that cannot be
// read types as before.
TEST(MainLoop, AProgramRunAsAdministratorGetsNothingAndTheWindowSaysWhy) {
  const std::u16string notice = kInstruction + u"\r\n" + kElevatedTargetNotice;
  for (const TargetPrivilege privilege : {TargetPrivilege::kHigher, TargetPrivilege::kUnknown}) {
    FakePlatform fake;
    fake.privilege = privilege;
    fake.clipboard = u"abc";
    // The second press, once the user has moved to another window.
    fake.script = {FakeEvent::Hotkey, FakeEvent::Switch, FakeEvent::Hotkey};
    run(fake);
    const bool higher = privilege == TargetPrivilege::kHigher;
    EXPECT_EQ(fake.typed, higher ? u"abc" : u"abcabc");
    EXPECT_EQ(fake.pastes_started, higher ? 1 : 2);
    EXPECT_EQ(std::ranges::count(fake.shown_texts, notice), higher ? 1 : 0);
    EXPECT_EQ(fake.instruction, kInstruction);
  }
}

TEST(MainLoop, StopsTypingWhenTheFocusMovesElsewhere) {
  FakePlatform fake;
  fake.clipboard = std::u16string(100, u'a');
  fake.script = {FakeEvent::Hotkey};
  fake.set_caps_lock(true);
  fake.hold(kShift);
  int letters = 0;
  fake.on_key_event = [&] {
    // The user clicks another window after the twentieth letter has gone out.
    if (!fake.log.empty() && fake.log.back() == "-A" && ++letters == 20) {
      fake.focus = 0x9999;
    }
  };
  run(fake);
  // Typing stops at the next check, and the keyboard is left as it was.
  EXPECT_EQ(fake.typed, std::u16string(24, u'a'));
  EXPECT_TRUE(fake.caps_now());
  EXPECT_EQ(fake.modifiers_now(), unsigned{kShift});
}

TEST(MainLoop, ANumberIsNotFinishedInAnotherWindow) {
  FakePlatform fake;
  fake.clipboard = u"12345678901,5";
  fake.format = NumberFormat{u",", u".", u"-"};
  fake.script = {FakeEvent::Hotkey};
  fake.on_key_event = [&] {
    if (fake.log.size() == 2) {
      fake.focus = 0x9999;
    }
  };
  run(fake);
  EXPECT_EQ(fake.typed, u"12345678");
}

TEST(MainLoop, AConsoleIsTypedIntoAsAKeyboardWouldAndWhatIsLeftOutIsSaid) {
  FakePlatform fake;
  fake.target = TargetWindow{u"vncviewer", u"Vncviewer", u"guest - TigerVNC"};
  fake.clipboard = u"año\x01 Жx";
  fake.script = {FakeEvent::Hotkey, FakeEvent::Timer};
  Form1 form(fake);
  fake.on_key_event = [&] {
    // While it types, the window still says what to do: the paste is short.
    EXPECT_EQ(form.shown_text(), kInstruction);
  };
  form.Load();
  EXPECT_EQ(fake.mode, TypingMode::kConsole);
  EXPECT_EQ(fake.typed, u"ao x");
  EXPECT_EQ(fake.instruction, kInstruction + u"\r\n" +
                                  u"3 caracteres del último pegado no se pudieron teclear en "
                                  u"esa ventana.");
}

TEST(MainLoop, AnotherWindowIsTypedIntoDirectlyAndTheInstructionComesBack) {
  FakePlatform fake;
  fake.clipboard = u"a\x01";
  fake.script = {FakeEvent::Hotkey, FakeEvent::Timer};
  fake.on_key_event = [&] {
    // The second paste, after the first left one character out.
    if (fake.typed == u"a" && fake.clipboard == u"a\x01") {
      fake.clipboard = u"b";
      fake.script.push_back(FakeEvent::Hotkey);
    }
  };
  Form1 form(fake);
  form.Load();
  EXPECT_EQ(fake.mode, TypingMode::kDirect);
  EXPECT_EQ(fake.typed, u"ab");
  EXPECT_EQ(fake.instruction, kInstruction);
}

} // namespace
} // namespace teclix
