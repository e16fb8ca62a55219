#include "typing/keystrokes.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "test_text.h"
#include "typing/runtime_error.h"

namespace teclix {
namespace {

TEST(PulsarTecla, PressesAndReleasesOneKey) {
  FakePlatform fake;
  Pulsar_Tecla(fake, 0x6E);
  Pulsar_Tecla(fake, 0x41);
  EXPECT_EQ(fake.joined_log(), "+Decimal -Decimal +A -A");
}

TEST(PulsarTecla, ValuesOutsideAByteAreAnOverflowError) {
  FakePlatform fake;
  for (std::int32_t bad : {-1, 256, 70000}) {
    try {
      Pulsar_Tecla(fake, bad);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const RuntimeError &e) {
      EXPECT_EQ(e.number(), 6);
      EXPECT_EQ(e.description(), u"Desbordamiento");
    }
  }
  EXPECT_TRUE(fake.log.empty());
  Pulsar_Tecla(fake, 0);
  Pulsar_Tecla(fake, 255);
  EXPECT_EQ(fake.log.size(), 4u);
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
  Pulsar_TeclaS(fake, u16(c.text));
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
                      // AltGr as Windows reports it (Control+Alt), and keys the layout lacks.
                      EventsCase{"es", "@ñ", "+Ctrl +Alt +2 -2 -Alt -Ctrl +ñ -ñ"},
                      EventsCase{"us", "ñ€", "U+00F1 U+20AC"},
                      // Dead keys are not pressed: their character is sent as itself.
                      EventsCase{"es", "´^", "U+00B4 U+005E"},
                      EventsCase{"de", "@", "+AltGr +Q -Q -AltGr"},
                      // Characters beyond the 16-bit range arrive whole.
                      EventsCase{"us", "😀", "U+1F600"}));

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
  Pulsar_TeclaS(fake, text);

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

INSTANTIATE_TEST_SUITE_P(Layouts, TypedText,
                         ::testing::Combine(::testing::ValuesIn(kTexts), ::testing::Bool(),
                                            ::testing::Values(0u, unsigned{kShift},
                                                              unsigned{kControl | kAlt})));

TEST(PulsarTeclaS, LeavesTheCallersTextAsItWas) {
  FakePlatform fake;
  std::u16string text = u"abc ñ";
  Pulsar_TeclaS(fake, text);
  EXPECT_EQ(text, u"abc ñ");
}

TEST(PulsarTeclaS, TypesLongTextsInFull) {
  FakePlatform fake;
  std::u16string text;
  for (int i = 0; i < 40000; ++i) {
    text += static_cast<char16_t>(u'a' + i % 26);
  }
  Pulsar_TeclaS(fake, text);
  EXPECT_EQ(fake.typed, text);
}

} // namespace
} // namespace teclix
