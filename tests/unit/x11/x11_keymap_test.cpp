// The X11 backend's key choice, checked against keyboard maps recorded from a
// real X server (keymaps/*.txt, written by "x11_tool keymap").
#include "platform/xkb/keymap.h"
#include "platform/xkb/spare_keycodes.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "../test_text.h"

namespace teclix::xkb {
namespace {

const Keymap &recorded(const std::string &layout) {
  static std::map<std::string, Keymap> maps;
  auto it = maps.find(layout);
  if (it == maps.end()) {
    std::ifstream file(std::string(TECLIX_KEYMAPS_DIR) + "/" + layout + ".txt");
    std::stringstream text;
    text << file.rdbuf();
    std::optional<Keymap> map = parse_keymap(text.str());
    EXPECT_TRUE(map && !map->keys.empty()) << "cannot read the recorded map " << layout;
    it = maps.emplace(layout, map.value_or(Keymap{})).first;
  }
  return it->second;
}

constexpr unsigned S = kShift;
constexpr unsigned G = kAltGr;

struct ChoiceCase {
  const char *layout;
  char32_t ch;
  std::optional<KeyChoice> expected;
};

std::ostream &operator<<(std::ostream &out, const ChoiceCase &c) {
  return out << c.layout << " U+" << std::hex << static_cast<unsigned>(c.ch);
}

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(Choice, IsTheKeyThatTypesTheCharacter) {
  const ChoiceCase &c = GetParam();
  const std::optional<KeyChoice> got = choose_key(recorded(c.layout), c.ch);
  ASSERT_EQ(got.has_value(), c.expected.has_value());
  if (got) {
    EXPECT_EQ(got->keycode, c.expected->keycode);
    EXPECT_EQ(got->modifiers, c.expected->modifiers);
    EXPECT_EQ(got->dead, c.expected->dead);
  }
}

// The index read in one pass chooses as the search does, for every character
// the maps type and for some they do not.
TEST(KeyIndex, ChoosesAsTheSearchDoes) {
  for (const char *layout : {"us", "es", "de"}) {
    const Keymap &map = recorded(layout);
    const KeyIndex index(map);
    std::size_t found = 0;
    for (char32_t ch = 0; ch < 0x2100; ++ch) {
      const std::optional<KeyChoice> searched = choose_key(map, ch);
      const std::optional<KeyChoice> indexed = index.find(ch);
      ASSERT_EQ(indexed.has_value(), searched.has_value())
          << layout << " U+" << std::hex << static_cast<unsigned>(ch);
      if (searched) {
        ++found;
        EXPECT_EQ(indexed->keycode, searched->keycode)
            << layout << " " << static_cast<unsigned>(ch);
        EXPECT_EQ(indexed->modifiers, searched->modifiers)
            << layout << " " << static_cast<unsigned>(ch);
        EXPECT_EQ(indexed->dead, searched->dead) << layout << " " << static_cast<unsigned>(ch);
      }
    }
    EXPECT_GT(found, 90u) << layout; // at least the printable ASCII a layout types
  }
}

INSTANTIATE_TEST_SUITE_P(
    RecordedMaps, Choice,
    ::testing::Values(
        // US: plain and shifted levels; main-row keys, never the keypad (its
        // meaning follows NumLock), even where the keypad key needs no modifier.
        ChoiceCase{"us", U'a', KeyChoice{38, 0, false}},
        ChoiceCase{"us", U'A', KeyChoice{38, S, false}},
        ChoiceCase{"us", U'!', KeyChoice{10, S, false}},
        ChoiceCase{"us", U'1', KeyChoice{10, 0, false}},
        ChoiceCase{"us", U'*', KeyChoice{17, S, false}},
        ChoiceCase{"us", U'+', KeyChoice{21, S, false}},
        ChoiceCase{"us", U'-', KeyChoice{20, 0, false}},
        ChoiceCase{"us", U'/', KeyChoice{61, 0, false}},
        ChoiceCase{"us", U'.', KeyChoice{60, 0, false}},
        ChoiceCase{"us", U' ', KeyChoice{65, 0, false}},
        ChoiceCase{"us", U'~', KeyChoice{49, S, false}}, ChoiceCase{"us", U'ñ', std::nullopt},
        ChoiceCase{"us", U'€', std::nullopt}, ChoiceCase{"us", U'ж', std::nullopt},
        // Spanish: its own letters, AltGr levels, dead keys, and letters that
        // only a dead key makes.
        ChoiceCase{"es", U'ñ', KeyChoice{47, 0, false}},
        ChoiceCase{"es", U'Ñ', KeyChoice{47, S, false}},
        ChoiceCase{"es", U'¡', KeyChoice{21, 0, false}},
        ChoiceCase{"es", U'¿', KeyChoice{21, S, false}},
        ChoiceCase{"es", U'€', KeyChoice{26, G, false}},
        ChoiceCase{"es", U'@', KeyChoice{11, G, false}},
        ChoiceCase{"es", U'#', KeyChoice{12, G, false}},
        ChoiceCase{"es", U'·', KeyChoice{12, S, false}},  // Shift wins over AltGr (60)
        ChoiceCase{"es", U'\\', KeyChoice{20, G, false}}, // also on 49: lowest keycode
        ChoiceCase{"es", U'"', KeyChoice{11, S, false}},
        ChoiceCase{"es", U'^', KeyChoice{34, S, true}},
        ChoiceCase{"es", U'`', KeyChoice{34, 0, true}}, ChoiceCase{"es", U'á', std::nullopt},
        ChoiceCase{"es", U'ü', std::nullopt},
        // German: Z and Y swapped, ß, AltGr letters, a dead circumflex.
        ChoiceCase{"de", U'z', KeyChoice{29, 0, false}},
        ChoiceCase{"de", U'ß', KeyChoice{20, 0, false}},
        ChoiceCase{"de", U'@', KeyChoice{24, G, false}},
        ChoiceCase{"de", U'µ', KeyChoice{58, G, false}},
        ChoiceCase{"de", U'^', KeyChoice{49, 0, true}},
        ChoiceCase{"de", U'´', KeyChoice{21, 0, true}}),
    [](const auto &i) { return case_name(i.index, i.param.layout); });

struct KeysymCase {
  char32_t ch;
  KeySym32 keysym;
};

class Keysym : public ::testing::TestWithParam<KeysymCase> {};

TEST_P(Keysym, StandsForTheCharacterBothWays) {
  EXPECT_EQ(char_to_keysym(GetParam().ch), GetParam().keysym);
  EXPECT_EQ(keysym_to_char(GetParam().keysym), GetParam().ch);
}

INSTANTIATE_TEST_SUITE_P(LegacyAndUnicode, Keysym,
                         ::testing::Values(KeysymCase{U'a', 0x61}, KeysymCase{U'ñ', 0xF1},
                                           KeysymCase{U'€', 0x20AC}, KeysymCase{U'ж', 0x6D6},
                                           KeysymCase{U'Ω', 0x7D9}, KeysymCase{U'你', 0x1004F60},
                                           KeysymCase{U'😀', 0x101F600}),
                         [](const auto &i) { return case_name(i.index, {}); });

// For a console only keys of the main block count, and a character the layout
// reaches through a dead key is the dead key then the letter, by the compose rules.
TEST(ConsoleKeys, AreOfTheMainBlockAndDeadKeySequences) {
  struct Case {
    const char *layout;
    char32_t ch;
    std::optional<KeyChoice> key; // main block
    // Without a key of its own: the dead key and the base key, if any.
    std::optional<std::pair<KeyChoice, KeyChoice>> dead_then_base;
  };
  const Case cases[] = {
      // "(" is also on the keypad's parenthesis key, unshifted; a console needs Shift+9.
      {"us", U'(', KeyChoice{18, S, false}, std::nullopt},
      {"us", U'a', KeyChoice{38, 0, false}, std::nullopt},
      {"us", U'á', std::nullopt, std::nullopt},
      {"us", U'€', std::nullopt, std::nullopt},
      {"es", U'á', std::nullopt, std::pair{KeyChoice{48, 0, true}, KeyChoice{38, 0, false}}},
      {"es", U'Ü', std::nullopt, std::pair{KeyChoice{48, S, true}, KeyChoice{30, S, false}}},
      {"es", U'ê', std::nullopt, std::pair{KeyChoice{34, S, true}, KeyChoice{26, 0, false}}},
      {"es", U'€', KeyChoice{26, G, false}, std::nullopt},
      {"es", U'ñ', KeyChoice{47, 0, false}, std::nullopt},
      {"de", U'é', std::nullopt, std::pair{KeyChoice{21, 0, true}, KeyChoice{26, 0, false}}},
      {"de", U'Ж', std::nullopt, std::nullopt},
  };
  for (const Case &c : cases) {
    const Keymap &map = recorded(c.layout);
    const std::optional<KeyChoice> key = KeyIndex(map, true).find(c.ch);
    const std::string what = std::string(c.layout) + " U+" + std::to_string(c.ch);
    ASSERT_EQ(key && !key->dead, c.key.has_value()) << what;
    if (c.key) {
      EXPECT_EQ(key->keycode, c.key->keycode) << what;
      EXPECT_EQ(key->modifiers, c.key->modifiers) << what;
      continue; // a key of its own comes first
    }
    const std::optional<DeadKeyIndex::Sequence> sequence =
        DeadKeyIndex(map, "en_US.UTF-8").find(c.ch);
    ASSERT_EQ(sequence.has_value(), c.dead_then_base.has_value()) << what;
    if (sequence) {
      EXPECT_EQ(sequence->dead.keycode, c.dead_then_base->first.keycode) << what;
      EXPECT_EQ(sequence->dead.modifiers, c.dead_then_base->first.modifiers) << what;
      EXPECT_EQ(sequence->base.keycode, c.dead_then_base->second.keycode) << what;
      EXPECT_EQ(sequence->base.modifiers, c.dead_then_base->second.modifiers) << what;
    }
  }
}

TEST(Keysym, DeadAndKeypadKeysymsAreKnown) {
  EXPECT_TRUE(is_dead_keysym(0xFE51));   // dead_acute
  EXPECT_FALSE(is_dead_keysym(0xB4));    // acute, the spacing accent
  EXPECT_TRUE(is_keypad_keysym(0xFFAE)); // KP_Decimal
  EXPECT_FALSE(is_keypad_keysym(0x2E));  // period
}

TEST(PlainKeycode, OnlyALevelWithoutModifiers) {
  // KP_Decimal is on the keypad's Delete key (91) only with NumLock; keycode 129
  // has it with no modifier.
  EXPECT_EQ(plain_keycode(recorded("us"), kKpDecimal), std::optional<std::uint32_t>(129));
  EXPECT_EQ(plain_keycode(recorded("us"), 0xFFB1), std::nullopt); // KP_1 needs NumLock
  EXPECT_EQ(plain_keycode(recorded("us"), 0xFFE1), std::optional<std::uint32_t>(50)); // Shift_L
  EXPECT_EQ(plain_keycode(recorded("es"), 0xFE03), std::optional<std::uint32_t>(92)); // Level3
  // AltGr is held with the right Alt key where that is AltGr, as on a keyboard.
  EXPECT_EQ(modifier_keycode(recorded("es"), 0xFE03), std::optional<std::uint32_t>(108));
  EXPECT_EQ(modifier_keycode(recorded("us"), 0xFE03), std::optional<std::uint32_t>(92));
  EXPECT_EQ(modifier_keycode(recorded("us"), 0xFFE1), std::optional<std::uint32_t>(50));
}

TEST(RecordedMaps, HaveSpareKeycodesThatNoKeyUses) {
  for (const char *layout : {"us", "es", "de"}) {
    const Keymap &map = recorded(layout);
    EXPECT_GE(map.unused.size(), 10u) << layout;
    for (const MapKey &key : map.keys) {
      EXPECT_EQ(std::count(map.unused.begin(), map.unused.end(), key.keycode), 0)
          << layout << " keycode " << key.keycode;
    }
  }
}

using Changes = std::vector<SparePool::Change>;

TEST(SparePool, TakesTheLongestRunOfKeycodesFirst) {
  SparePool pool({93, 97, 230, 231, 232, 217});
  const Changes changes = pool.bind({0x6D6, 0x7D9, 0x20AC});
  EXPECT_EQ(changes, (Changes{{230, 0x6D6}, {231, 0x7D9}, {232, 0x20AC}}));
  EXPECT_EQ(contiguous_runs(changes).size(), 1u);
}

TEST(SparePool, KeepsBindingsAndChangesOnlyWhatIsNew) {
  SparePool pool({200, 201, 202, 203});
  pool.bind({0xA, 0xB});
  const Changes changes = pool.bind({0xB, 0xC});
  EXPECT_EQ(changes, (Changes{{202, 0xC}}));
  EXPECT_EQ(pool.keycode_for(0xA), std::optional<std::uint32_t>(200));
  EXPECT_EQ(pool.keycode_for(0xB), std::optional<std::uint32_t>(201));
}

TEST(SparePool, GivesUpTheLeastRecentlyUsedKeycodesFirst) {
  SparePool pool({200, 201, 202, 203});
  pool.bind({0xA, 0xB});
  pool.bind({0xC, 0xD});
  const Changes changes = pool.bind({0xE, 0xF});
  EXPECT_EQ(changes, (Changes{{200, 0xE}, {201, 0xF}}));
  // The previous batch keeps its keys while the next one is typed.
  EXPECT_EQ(pool.keycode_for(0xC), std::optional<std::uint32_t>(202));
  EXPECT_EQ(pool.keycode_for(0xD), std::optional<std::uint32_t>(203));
  EXPECT_EQ(pool.keycode_for(0xA), std::nullopt);
}

TEST(SparePool, NeverTakesAKeycodeAskedForInTheSameBatch) {
  SparePool pool({200, 201, 202});
  pool.bind({0xA});
  const Changes changes = pool.bind({0xA, 0xB, 0xC});
  EXPECT_EQ(changes, (Changes{{201, 0xB}, {202, 0xC}}));
  EXPECT_EQ(pool.keycode_for(0xA), std::optional<std::uint32_t>(200));
}

TEST(SparePool, ReleasesEverythingItLent) {
  SparePool pool({200, 201, 202, 210});
  EXPECT_FALSE(pool.any_bound());
  pool.bind({0xA, 0xB});
  EXPECT_TRUE(pool.any_bound());
  EXPECT_EQ(pool.release_all(), (Changes{{200, kNoSymbol}, {201, kNoSymbol}}));
  EXPECT_FALSE(pool.any_bound());
  EXPECT_TRUE(pool.release_all().empty());
  EXPECT_EQ(pool.batch_limit(), 2u);
}

TEST(SparePool, BorrowsOnlyOnceTheSpareKeycodesAreTaken) {
  SparePool pool({20, 21}, {150, 151, 152, 21});
  EXPECT_EQ(pool.size(), 5u); // 21 is spare, not borrowed
  EXPECT_FALSE(pool.is_borrowed(21));
  EXPECT_EQ(pool.bind({0xA, 0xB}), (Changes{{20, 0xA}, {21, 0xB}}));
  EXPECT_EQ(pool.bind({0xA, 0xB, 0xC}), (Changes{{150, 0xC}}));
  EXPECT_TRUE(pool.is_borrowed(150));
  EXPECT_EQ(pool.free_borrowed(), (std::vector<std::uint32_t>{151, 152}));
}

TEST(SparePool, RetiresOnlyFreeBorrowedKeycodes) {
  SparePool pool({20}, {150, 151});
  pool.bind({0xA, 0xB}); // 20 and 150
  pool.retire(150);      // bound: stays
  pool.retire(20);       // spare: stays
  pool.retire(151);      // free and borrowed: goes
  EXPECT_EQ(pool.size(), 2u);
  EXPECT_TRUE(pool.contains(150));
  EXPECT_FALSE(pool.contains(151));
  EXPECT_TRUE(pool.free_borrowed().empty());
  EXPECT_EQ(pool.release_all(), (Changes{{20, kNoSymbol}, {150, kNoSymbol}}));
}

struct BatchCase {
  std::vector<KeySym32> needed;
  std::size_t limit;
  std::vector<std::vector<KeySym32>> batches;
};

class Batches : public ::testing::TestWithParam<BatchCase> {};

TEST_P(Batches, SplitTheTextInOrder) {
  EXPECT_EQ(plan_batches(GetParam().needed, GetParam().limit), GetParam().batches);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Batches,
    ::testing::Values(BatchCase{{}, 4, {}}, BatchCase{{1, 2, 1, 2, 1}, 2, {{1, 2}}},
                      BatchCase{{1, 2, 1, 3, 4, 3, 5}, 2, {{1, 2}, {3, 4}, {5}}},
                      BatchCase{{1, 2, 3}, 0, {{1}, {2}, {3}}}),
    [](const auto &i) { return case_name(i.index, {}); });

TEST(ContiguousRuns, OneRequestPerRunOfKeycodes) {
  const auto runs = contiguous_runs({{8, 1}, {5, 2}, {6, 3}, {10, 4}});
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0], (Changes{{5, 2}, {6, 3}}));
  EXPECT_EQ(runs[1], (Changes{{8, 1}}));
  EXPECT_EQ(runs[2], (Changes{{10, 4}}));
}

TEST(KeymapText, ReadsBackWhatWasWritten) {
  const Keymap &us = recorded("us");
  const std::optional<Keymap> again = parse_keymap(dump_keymap(us));
  ASSERT_TRUE(again);
  EXPECT_EQ(dump_keymap(*again), dump_keymap(us));
  EXPECT_FALSE(parse_keymap("key 38 0x61:-").has_value()); // no range line
  EXPECT_FALSE(parse_keymap("range 8 255\nkey 38 0x61:Q").has_value());
  EXPECT_FALSE(parse_keymap("range 8 255\nkey 38 zz:-").has_value());
}

} // namespace
} // namespace teclix::xkb
