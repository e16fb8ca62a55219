// The paste started from the window: a countdown, then the text read at its start
// is typed into whatever has the focus at zero.
#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "typing/main_loop.h"
#include "typing/unicode.h"
#include "window/form1.h"

namespace teclix {
namespace {

using E = FakeEvent;
constexpr WindowHandle kOwn = FakePlatform::kMainWindow;

struct Case {
  const char *name;
  WindowHandle focus; // where the focus is at the start
  std::optional<std::u16string> clipboard;
  std::vector<FakeEvent> script;
  std::u16string typed;
  std::u16string said; // the window's last text, below the instruction ("" for none)
  std::string numbers; // the seconds shown, in order
};

// The desktop withdrew what the keys go through.
const SessionState kWithdrawn{SessionState::Keys::kPortalClosed};

const Case kCases[] = {
    {"the button, then a click into the target: typed at zero",
     0x1234,
     u"Hola\tmundo",
     {E::ButtonClick, E::Switch, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle},
     u"Hola\tmundo",
     u"",
     "54321"},
    {"F10 in the window itself starts it",
     kOwn,
     u"abc",
     {E::Hotkey, E::Switch, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle},
     u"abc",
     u"",
     "54321"},
    {"a number is shaped as from F10",
     kOwn,
     u"1.5",
     {E::Hotkey, E::Switch, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle},
     u"1,50",
     u"",
     "54321"},
    {"Esc cancels",
     kOwn,
     u"abc",
     {E::Hotkey, E::Idle, E::Escape, E::Idle},
     u"",
     u"Pegado con cuenta atrás cancelado.",
     "54"},
    {"F10 again cancels, wherever the focus is",
     kOwn,
     u"abc",
     {E::Hotkey, E::Switch, E::Idle, E::Hotkey, E::Idle},
     u"",
     u"Pegado con cuenta atrás cancelado.",
     "54"},
    {"the button again cancels",
     0x1234,
     u"abc",
     {E::ButtonClick, E::ButtonClick, E::Idle},
     u"",
     u"Pegado con cuenta atrás cancelado.",
     "5"},
    {"Esc with no countdown does nothing", 0x1234, u"abc", {E::Escape}, u"", u"", ""},
    {"an empty clipboard is said at once",
     kOwn,
     u"",
     {E::Hotkey},
     u"",
     u"El portapapeles no tiene texto: no hay nada que pegar.",
     ""},
    {"no text on the clipboard is said at once",
     0x1234,
     std::nullopt,
     {E::ButtonClick},
     u"",
     u"El portapapeles no tiene texto: no hay nada que pegar.",
     ""},
    {"F10 elsewhere with an empty clipboard types nothing and says so",
     0x1234,
     u"",
     {E::Hotkey},
     u"",
     u"El portapapeles no tiene texto: no hay nada que pegar.",
     ""},
    {"... and with no text on it",
     0x1234,
     std::nullopt,
     {E::Hotkey},
     u"",
     u"El portapapeles no tiene texto: no hay nada que pegar.",
     ""},
    {"the desktop withdraws what the keys go through: said at once",
     0x1234,
     u"abc",
     {E::SessionChanged},
     u"",
     session_notice(kWithdrawn),
     ""},
    {"... and over a countdown only once it is over",
     0x1234,
     u"abc",
     {E::ButtonClick, E::SessionChanged, E::Escape},
     u"",
     session_notice(kWithdrawn) + u"\r\nPegado con cuenta atrás cancelado.",
     "5"},
    {"still in this window at zero: nothing typed",
     kOwn,
     u"abc",
     {E::Hotkey, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle},
     u"",
     u"Al llegar a cero no tenía el foco otra ventana: no se pegó nada.",
     "54321"},
    {"at zero the window runs as administrator: nothing typed, and said",
     kOwn,
     u"abc",
     {E::Hotkey, E::SwitchElevated, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle},
     u"",
     u"La ventana de destino se ejecuta como administrador: no se tecleó nada. Abra Teclix "
     u"también como administrador.",
     "54321"},
    {"F10 another program took is said",
     0x1234,
     u"abc",
     {E::HotkeyTaken},
     u"",
     u"F10 no llegó a Teclix: otra ventana tiene el teclado. Use «Pegar en 5 s».",
     ""},
    {"but not while a countdown runs",
     0x1234,
     u"abc",
     {E::ButtonClick, E::HotkeyTaken, E::Escape},
     u"",
     u"Pegado con cuenta atrás cancelado.",
     "5"},
};

TEST(Countdown, StartsTypesOrCancelsAndSaysWhy) {
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    FakePlatform fake;
    fake.focus = c.focus;
    fake.clipboard = c.clipboard;
    fake.session_after = kWithdrawn;
    fake.script.assign(c.script.begin(), c.script.end());
    Form1 form(fake);
    form.Load();
    EXPECT_EQ(fake.typed, c.typed);
    EXPECT_EQ(fake.instruction, c.said.empty() ? kInstruction : kInstruction + u"\r\n" + c.said);
    std::string numbers;
    for (const std::u16string &text : fake.shown_texts) {
      for (int s = 1; s <= PasteCountdown::kSeconds; ++s) {
        numbers += text == countdown_text(s) ? static_cast<char>('0' + s) : '\0';
      }
    }
    std::erase(numbers, '\0');
    EXPECT_EQ(numbers, c.numbers);
    // The button is back to its caption once the countdown is over.
    EXPECT_EQ(fake.button, kPasteButtonCaption);
    EXPECT_FALSE(form.counting_down());
  }
}

TEST(Countdown, TypesTheTextReadAtItsStartAtItsPaceAndIntoAConsoleAsIntoAConsole) {
  FakePlatform fake;
  fake.focus = kOwn;
  fake.clipboard = u"año";
  fake.target = TargetWindow{u"qemu-system-x86_64", u"Qemu-system-x86_64", u"QEMU"};
  fake.script = {E::Hotkey, E::Switch, E::Idle, E::Idle, E::Idle, E::Idle, E::Idle};
  const auto start = fake.clock;
  // The clipboard changes while the countdown runs: what was read at its start is typed.
  fake.on_wait = [&] {
    if (fake.waits == 3) {
      fake.clipboard = u"otro";
    }
  };
  Form1 form(fake);
  form.Load();
  EXPECT_EQ(fake.mode, TypingMode::kConsole);
  EXPECT_EQ(fake.typed, u"ao");
  EXPECT_EQ(fake.clock - start, std::chrono::seconds(PasteCountdown::kSeconds));
  EXPECT_EQ(fake.instruction, kInstruction + u"\r\n" +
                                  u"1 carácter del último pegado no se pudo teclear en esa "
                                  u"ventana.");
}

TEST(Countdown, CountsWholeSecondsUp) {
  PasteCountdown countdown;
  const PasteCountdown::Clock::time_point t0{};
  using std::chrono::milliseconds;
  countdown.start(u"x", t0);
  EXPECT_EQ(countdown.seconds_left(t0), 5);
  EXPECT_EQ(countdown.seconds_left(t0 + milliseconds(999)), 5);
  EXPECT_EQ(countdown.seconds_left(t0 + milliseconds(1000)), 4);
  EXPECT_EQ(countdown.seconds_left(t0 + milliseconds(4001)), 1);
  EXPECT_EQ(countdown.seconds_left(t0 + milliseconds(5000)), 0);
  EXPECT_EQ(countdown.next_change(t0 + milliseconds(1500)), t0 + milliseconds(2000));
  EXPECT_EQ(countdown.next_change(t0 + milliseconds(4500)), t0 + milliseconds(5000));
  EXPECT_EQ(countdown.new_number(t0 + milliseconds(10)), 5);
  EXPECT_EQ(countdown.new_number(t0 + milliseconds(20)), std::nullopt);
  EXPECT_EQ(countdown.take(), u"x");
  EXPECT_FALSE(countdown.running());
}

} // namespace
} // namespace teclix
