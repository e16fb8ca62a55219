// The virtual keyboard's map: the user's keymap read with xkbcommon gives the
// keys an X server gives for the same layout, and the spare keycodes bound for
// other characters type exactly those, leaving the user's keys as they were.
#include "platform/wayland/wayland_keymap.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "../test_text.h"

namespace teclix::wayland {
namespace {

using xkb::KeyIndex;

const char32_t *const kCharacters = U" !\"#$%&'()*+,-./0123456789:;<=>?@AZaz[\\]^_`{|}~"
                                    U"ñÑçÇ¡¿ºª€äöüÄÖÜß§°²³µ´áéíóúÁ¨·¬|@#~";

Keymap recorded(const std::string &layout) {
  std::ifstream file(std::string(TECLIX_KEYMAPS_DIR) + "/" + layout + ".txt");
  std::stringstream text;
  text << file.rdbuf();
  return xkb::parse_keymap(text.str()).value_or(Keymap{});
}

// A keymap's layouts, the one active, and the recorded map of that one alone.
struct Layouts {
  const char *names;
  unsigned active;
  const char *recorded;
};
class SameKeysAsX : public testing::TestWithParam<Layouts> {};

// The maps recorded from Xvfb were made from the same layouts (rules evdev).
TEST_P(SameKeysAsX, EveryCharacterOnTheSameKeyAndLevel) {
  const std::optional<CompiledKeymap> keymap = CompiledKeymap::from_names(GetParam().names);
  ASSERT_TRUE(keymap);
  const Keymap keys = keymap->keys(GetParam().active);
  const KeyIndex ours(keys), theirs(recorded(GetParam().recorded));
  for (const char32_t *p = kCharacters; *p; ++p) {
    SCOPED_TRACE(static_cast<unsigned>(*p));
    const auto a = ours.find(*p), b = theirs.find(*p);
    ASSERT_EQ(a.has_value(), b.has_value());
    if (a) {
      EXPECT_EQ(a->keycode, b->keycode);
      EXPECT_EQ(a->modifiers, b->modifiers);
      EXPECT_EQ(a->dead, b->dead);
      // ... and the key typed under those modifiers gives the character.
      if (!a->dead) {
        EXPECT_EQ(keymap->keysyms(a->keycode, a->modifiers, GetParam().active),
                  std::vector<KeySym32>{xkb::char_to_keysym(*p)});
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, SameKeysAsX,
                         testing::Values(Layouts{"us", 0, "us"}, Layouts{"es", 0, "es"},
                                         Layouts{"de", 0, "de"},
                                         // the second of two, when the user has switched to it
                                         Layouts{"us,es", 1, "es"}, Layouts{"es,de", 1, "de"},
                                         Layouts{"es,us", 0, "es"}));

// Under Caps Lock (which the portal's keys share with the user's) a letter's case
// comes from the other Shift state; keys Caps Lock does not touch keep theirs.
TEST(CapsLock, LettersTakeTheOtherShiftState) {
  const std::optional<CompiledKeymap> keymap = CompiledKeymap::from_names("es");
  ASSERT_TRUE(keymap);
  const KeyIndex on(keymap->keys(0, true)), off(keymap->keys(0, false));
  const struct {
    char32_t ch;
    unsigned caps_on, caps_off;
  } cases[] = {
      {U'a', kShift, 0}, {U'A', 0, kShift},      {U'\u00f1', kShift, 0}, {U'\u00d1', 0, kShift},
      {U'1', 0, 0},      {U'!', kShift, kShift}, {U'@', kAltGr, kAltGr}, {U';', kShift, kShift},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(static_cast<unsigned>(c.ch));
    ASSERT_TRUE(on.find(c.ch) && off.find(c.ch));
    EXPECT_EQ(on.find(c.ch)->modifiers, c.caps_on);
    EXPECT_EQ(off.find(c.ch)->modifiers, c.caps_off);
    EXPECT_EQ(on.find(c.ch)->keycode, off.find(c.ch)->keycode);
  }
  // A locked-modifier mask as a desktop reports it: Caps Lock by its own bit only
  // (NumLock, Mod2, is locked on most keyboards).
  EXPECT_TRUE(keymap->caps_lock_in(1u << 1));
  EXPECT_TRUE(keymap->caps_lock_in((1u << 1) | (1u << 4)));
  EXPECT_FALSE(keymap->caps_lock_in((1u << 0) | (1u << 2) | (1u << 4)));
}

TEST(SpareKeys, BoundCharactersTypeThemselvesAndTheRestStays) {
  for (const char *layout : {"us", "es"}) {
    SCOPED_TRACE(layout);
    const std::optional<CompiledKeymap> user = CompiledKeymap::from_names(layout);
    ASSERT_TRUE(user);
    const Keymap keys = user->keys();
    const std::vector<std::uint32_t> spare = spare_keycodes(keys);
    ASSERT_GE(spare.size(), 64u);
    // Spare keys are ones that type nothing the user types: no character key.
    const KeyIndex index(keys);
    for (const char32_t *p = kCharacters; *p; ++p) {
      if (const auto choice = index.find(*p)) {
        EXPECT_FALSE(std::binary_search(spare.begin(), spare.end(), choice->keycode));
      }
    }
    // Cyrillic, Greek, CJK, an emoji, a symbol, and the euro sign US lacks.
    const std::u16string text = u16("ЖжΩ日😀∑€");
    xkb::SparePool pool(spare);
    std::vector<KeySym32> wanted;
    for (std::size_t pos = 0; pos < text.size();) {
      const char32_t ch = next_code_point(text, pos);
      if (!index.find(ch)) { // as a paste does: only what the layout lacks
        wanted.push_back(xkb::char_to_keysym(ch));
      }
    }
    EXPECT_EQ(wanted.size(), std::string_view(layout) == "us" ? 7u : 5u); // Spanish has Ω and €
    pool.bind(wanted);
    const std::string text_with = keymap_with_bindings(*user, pool.slots());
    EXPECT_TRUE(is_own_keymap(text_with));
    EXPECT_FALSE(is_own_keymap(user->text()));
    EXPECT_TRUE(is_whole_keyboard(user->text()));
    const std::optional<CompiledKeymap> ours = CompiledKeymap::compile(text_with);
    ASSERT_TRUE(ours) << text_with.substr(0, 400);
    for (KeySym32 keysym : wanted) {
      const std::optional<std::uint32_t> keycode = pool.keycode_for(keysym);
      ASSERT_TRUE(keycode);
      for (unsigned modifiers : {0u, unsigned{kShift}}) {
        EXPECT_EQ(ours->keysyms(*keycode, modifiers), std::vector<KeySym32>{keysym});
      }
    }
    const KeyIndex after(ours->keys());
    for (const char32_t *p = kCharacters; *p; ++p) {
      if (const auto before = index.find(*p)) {
        const auto now = after.find(*p);
        ASSERT_TRUE(now);
        EXPECT_EQ(now->keycode, before->keycode);
        EXPECT_EQ(now->modifiers, before->modifiers);
      }
    }
  }
}

TEST(SpareKeys, ATextThatIsNotAKeymapDoesNotCompile) {
  EXPECT_FALSE(CompiledKeymap::compile("xkb_keymap { nonsense };"));
  EXPECT_FALSE(CompiledKeymap::compile(""));
  EXPECT_FALSE(is_whole_keyboard("xkb_keymap { nonsense };"));
}

// A typing tool's virtual keyboard hands out a map of the few keys it needs:
// that is not the user's keyboard.
TEST(SpareKeys, AFewKeysAreNoKeyboard) {
  const char *few = R"km(xkb_keymap {
xkb_keycodes "(unnamed)" { minimum = 8; maximum = 11; <K1> = 9; <K2> = 10; };
xkb_types "(unnamed)" { include "complete" };
xkb_compatibility "(unnamed)" { include "complete" };
xkb_symbols "(unnamed)" { key <K1> {[ Shift_L ]}; key <K2> {[ x ]}; };
};
)km";
  ASSERT_TRUE(CompiledKeymap::compile(few));
  EXPECT_FALSE(is_whole_keyboard(few));
}

} // namespace
} // namespace teclix::wayland
