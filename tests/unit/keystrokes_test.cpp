#include "typing/keystrokes.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "test_text.h"
#include "typing/keys.h"
#include "typing/runtime_error.h"

namespace teclix {
namespace {

TEST(PulsarTecla, PressesAndReleasesOneKey) {
  FakePlatform fake;
  press_key(fake, 0x6E);
  press_key(fake, 0x41);
  EXPECT_EQ(fake.joined_log(), "+Decimal -Decimal +A -A");
}

TEST(PulsarTecla, ValuesOutsideAByteAreAnOverflowError) {
  FakePlatform fake;
  for (std::int32_t bad : {-1, 256, 70000}) {
    try {
      press_key(fake, bad);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const RuntimeError &e) {
      EXPECT_EQ(e.number(), 6);
      EXPECT_EQ(e.description(), u"Desbordamiento");
    }
  }
  EXPECT_TRUE(fake.log.empty());
  // The ends of the range are accepted; they name no key, so nothing is pressed.
  press_key(fake, 0);
  press_key(fake, 255);
  EXPECT_TRUE(fake.log.empty());
}

// The one table between Windows virtual-key codes and the keys the program names.
TEST(VirtualKeys, NameTheKeysOfAKeyboardBothWays) {
  int named = 0;
  for (int vk = 0; vk < 256; ++vk) {
    const std::optional<Key> key = key_for_virtual_key(static_cast<std::uint8_t>(vk));
    if (!key) {
      continue;
    }
    ++named;
    // Shift, Control and Alt without a side come back as the left-hand key.
    const int back = vk == 0x10 ? 0xA0 : vk == 0x11 ? 0xA2 : vk == 0x12 ? 0xA4 : vk;
    EXPECT_EQ(virtual_key_for(*key), back) << "virtual key " << vk;
  }
  EXPECT_EQ(named, 10 + 26 + 10 + 24 + 50);
  struct Case {
    std::uint8_t vk;
    Key key;
  };
  for (const Case &c :
       {Case{0x30, digit_key(0)}, Case{0x39, digit_key(9)}, Case{0x41, Key::kA},
        Case{0x5A, letter_key(25)}, Case{0x60, Key::kKeypad0}, Case{0x6E, Key::kKeypadDecimal},
        Case{0x79, Key::kF10}, Case{0x87, function_key(24)}, Case{0x0D, Key::kReturn},
        Case{0xA5, Key::kAltGr}, Case{0xE2, Key::kLessThan}}) {
    EXPECT_EQ(key_for_virtual_key(c.vk), c.key) << int{c.vk};
  }
  for (int vk : {0x00, 0x01, 0x07, 0x0A, 0xFF, 0x88, 0xE5}) {
    EXPECT_FALSE(key_for_virtual_key(static_cast<std::uint8_t>(vk))) << vk;
  }
  EXPECT_EQ(modifier_key(kAltGr), Key::kAltGr);
  EXPECT_EQ(key_modifier(Key::kRightShift), kShift);
  EXPECT_FALSE(key_modifier(Key::kF10));
}

struct EventsCase {
  const char *layout;
  const char *text;
  const char *events;
};

FakeLayout layout_named(const std::string &name) {
  if (name == "es") {
    return fake_layout_es();
  }
  if (name == "de") {
    return fake_layout_de();
  }
  if (name == "fr") {
    return fake_layout_fr();
  }
  return fake_layout_us();
}

class Events : public ::testing::TestWithParam<EventsCase> {};

TEST_P(Events, AreExactlyThese) {
  const EventsCase &c = GetParam();
  FakePlatform fake;
  fake.layout = layout_named(c.layout);
  type_text(fake, u16(c.text));
  EXPECT_EQ(fake.joined_log(), c.events) << c.layout << ": " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Keystrokes, Events,
    ::testing::Values(EventsCase{"us", "Abc 12",
                                 "+Shift +A -A -Shift +B -B +C -C +Space -Space +1 -1 +2 -2"},
                      EventsCase{"us", "a\r\nb", "+A -A +Enter -Enter +B -B"},
                      EventsCase{"us", "a\nb\rc\r\r\n",
                                 "+A -A +Enter -Enter +B -B +Enter -Enter +C -C "
                                 "+Enter -Enter +Enter -Enter"},
                      EventsCase{"us", "\t.", "+Tab -Tab +. -."}, EventsCase{"us", "", ""},
                      // Control characters with no text of their own are left out.
                      EventsCase{"us", "a\x1b\b\x7f", "+A -A"},
                      // AltGr, as every backend reports it, and keys the layout lacks.
                      EventsCase{"es", "@ñ", "+AltGr +2 -2 -AltGr +ñ -ñ"},
                      EventsCase{"us", "ñ€", "U+00F1 U+20AC"},
                      // Dead keys are not pressed: their character is sent as itself.
                      EventsCase{"es", "´^", "U+00B4 U+005E"},
                      EventsCase{"de", "@", "+AltGr +Q -Q -AltGr"},
                      // Characters beyond the 16-bit range arrive whole.
                      EventsCase{"us", "😀", "U+1F600"}),
    [](const auto &i) { return case_name(i.index, i.param.layout); });

const TypingOptions kIntoConsole = [] {
  TypingOptions options;
  options.mode = TypingMode::kConsole;
  return options;
}();

// Into a console: only real keys, Shift held across a run, dead key and letter,
// AltGr as the right Alt key, and what no key sequence types left out.
class ConsoleEvents : public ::testing::TestWithParam<EventsCase> {};

TEST_P(ConsoleEvents, AreExactlyTheseWithTimeBeforeEachOne) {
  const EventsCase &c = GetParam();
  FakePlatform fake;
  fake.layout = layout_named(c.layout);
  type_text(fake, u16(c.text), kIntoConsole);
  EXPECT_EQ(fake.joined_log(), c.events) << c.layout << ": " << c.text;
  EXPECT_EQ(fake.modifiers_now(), 0u);
  // The console's pace, by its length: every key event after the time between
  // events, and a modifier's change with the time around it too.
  const auto &events = fake.key_events;
  for (std::size_t i = 1; i < events.size(); ++i) {
    const bool around = events[i].modifier != events[i - 1].modifier;
    const auto least = kConsolePace.between_events +
                       (around ? kConsolePace.around_modifiers : std::chrono::milliseconds(0));
    EXPECT_GE(events[i].gap, least)
        << c.text << ": before " << events[i].event << " (event " << i << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keystrokes, ConsoleEvents,
    ::testing::Values(EventsCase{"us", "ABc(",
                                 "+Shift +A -A +B -B -Shift +C -C +Shift +9 -9 -Shift"},
                      EventsCase{"us", "a\tb\r\n", "+A -A +Tab -Tab +B -B +Enter -Enter"},
                      EventsCase{"es", "ció", "+C -C +I -I +´ -´ +O -O"},
                      EventsCase{"es", "Ü€", "+Shift +´ -´ +U -U -Shift +AltGr +E -E -AltGr"},
                      EventsCase{"es", "üa", "+Shift +´ -´ -Shift +U -U +Shift -Shift +A -A"},
                      EventsCase{"us",
                                 "aЖ😀é\x1b"
                                 "b",
                                 "+A -A +B -B"}),
    [](const auto &i) { return case_name(i.index, i.param.layout); });

TEST(TypingSession, AnErrorOnTheWayStillEndsTheTypingAndPutsTheModifiersBack) {
  for (TypingMode mode : {TypingMode::kDirect, TypingMode::kConsole}) {
    FakePlatform fake;
    fake.hold(kShift | kControl);
    bool thrown = false;
    fake.on_key_event = [&] {
      if (fake.typed.size() == 3 && !thrown) {
        thrown = true;
        throw overflow_error();
      }
    };
    TypingOptions options;
    options.mode = mode;
    EXPECT_THROW(type_text(fake, u"abcdef", options), RuntimeError);
    EXPECT_EQ(fake.typed, u"abc");
    EXPECT_EQ(fake.pastes_started, 1);
    EXPECT_EQ(fake.pastes_ended, 1);
    EXPECT_EQ(fake.modifiers_now(), unsigned{kShift | kControl});
  }
}

TEST(ConsoleTyping, ArrivesAsTypedAndSaysWhatItLeftOut) {
  struct Case {
    const char *layout;
    const char *text;
    const char *arrives;
    std::size_t skipped;
  };
  for (const Case &c : {Case{"es", "¿Acción? ¡Sí! Ñandú, pingüino: 12,50 € @ #1 [x]",
                             "¿Acción? ¡Sí! Ñandú, pingüino: 12,50 € @ #1 [x]", 0},
                        Case{"us", "Año: 5 € ok", "Ao: 5  ok", 2},
                        Case{"de", "Größe ü ß {a}", "Größe ü ß {a}", 0}}) {
    FakePlatform fake;
    fake.layout = layout_named(c.layout);
    fake.set_caps_lock(true);
    fake.hold(kShift);
    const TypingResult result = type_text(fake, u16(c.text), kIntoConsole);
    EXPECT_EQ(fake.typed, u16(c.arrives)) << fake.joined_log();
    EXPECT_EQ(result.skipped, c.skipped) << c.text;
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(fake.joined_log().find("U+"), std::string::npos) << fake.joined_log();
    EXPECT_EQ(fake.mode, TypingMode::kConsole);
    EXPECT_GT(fake.paused.count(), 0);
    EXPECT_EQ(fake.modifiers_now(), unsigned{kShift}); // as the user held it
    EXPECT_EQ(fake.unpaused_events, 0u);               // letting go of it and pressing it again too
  }
}

struct RoundTrip {
  const char *layout;
  const char *text;
};

class TypedText : public ::testing::TestWithParam<std::tuple<RoundTrip, bool, unsigned>> {};

// Whatever the layout, Caps Lock and held modifiers, the target receives the text.
TEST_P(TypedText, ArrivesExactlyAndTheKeyboardIsLeftAsItWas) {
  const auto &[c, caps, held] = GetParam();
  FakePlatform fake;
  fake.layout = layout_named(c.layout);
  fake.set_caps_lock(caps);
  fake.hold(held);
  const std::u16string text = u16(c.text);
  type_text(fake, text);

  std::u16string expected;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      continue;
    }
    expected += text[i] == u'\r' ? u'\n' : text[i];
  }
  EXPECT_EQ(fake.typed, expected) << fake.joined_log();
  EXPECT_EQ(fake.caps_now(), caps);
  // Caps Lock is never pressed: the Shift of each key already allows for it.
  EXPECT_EQ(fake.joined_log().find("CapsLock"), std::string::npos) << fake.joined_log();
  EXPECT_EQ(fake.modifiers_now(), held);
}

const RoundTrip kTexts[] = {
    {"us", "The quick brown fox, 1234567890! @#$%^&*()_+-=[]{};':\",./<>?\\|`~"},
    {"es", "¿Qué tal? ¡Año nuevo! Ñandú, pingüino: 12,50 € @ #1 [x] {y} \\ | ç Ç º ª"},
    {"es", "Línea uno\r\nlínea dos\nfin\ttab"},
    {"de", "Größe: 5 m² über ÄÖÜ ß, {a} [b] \\ ~ | @ € µ ^ ° ´ `"},
    {"fr", "Voilà l'été: 1234 € & ç à è ù ! § µ ² ~ # { [ | ` \\ ^ @ ] }"},
    {"us", "Привет, κόσμε, 世界 😀 and mixed Ω"},
};

INSTANTIATE_TEST_SUITE_P(
    Layouts, TypedText,
    ::testing::Combine(::testing::ValuesIn(kTexts), ::testing::Bool(),
                       ::testing::Values(0u, unsigned{kShift}, unsigned{kControl | kAlt})),
    [](const auto &i) { return case_name(i.index, std::get<0>(i.param).layout); });

TEST(PulsarTeclaS, LeavesTheCallersTextAsItWas) {
  FakePlatform fake;
  std::u16string text = u"abc ñ";
  type_text(fake, text);
  EXPECT_EQ(text, u"abc ñ");
}

TEST(PulsarTeclaS, TypesLongTextsInFull) {
  FakePlatform fake;
  std::u16string text;
  for (int i = 0; i < 40000; ++i) {
    text += static_cast<char16_t>(u'a' + i % 26);
  }
  type_text(fake, text);
  EXPECT_EQ(fake.typed, text);
}

} // namespace
} // namespace teclix
