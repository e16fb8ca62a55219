// The portable core on its own: the paste plan and the per-character key choice
// for a 1 MiB text, with no display and no target. Reported as ns per character.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/xkb/keymap.h"
#include "typing/keystrokes.h"
#include "typing/paste_plan.h"
#include "typing/unicode.h"

namespace {

using namespace teclix;

constexpr std::size_t kTextUnits = 1 << 20; // 1 MiB of UTF-16 code units

// Mostly ASCII prose with mixed case, digits and punctuation, some Spanish and a
// little Cyrillic, Greek, CJK and emoji; the same text on every run.
std::u16string make_text() {
  static const std::u32string words[] = {
      U"the", U"Quick", U"brown",   U"fox",  U"JUMPS", U"over",  U"lazy",  U"dog",
      U"año", U"Ñandú", U"cigüeña", U"está", U"Según", U"€",     U"2024",  U"3.14",
      U"мир", U"Ωμέγα", U"世界",    U"😀",    U"café",  U"¿Qué?", U"¡Olé!", U"x=1;",
  };
  static const std::u32string punctuation = U"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
  std::mt19937 rng(20240611);
  std::u16string text;
  text.reserve(kTextUnits + 16);
  while (text.size() < kTextUnits) {
    const std::u32string &w = words[rng() % std::size(words)];
    for (char32_t c : w) {
      append_code_point(text, c);
    }
    const unsigned r = rng() % 20;
    if (r == 0) {
      append_code_point(text, punctuation[rng() % punctuation.size()]);
    } else if (r == 1) {
      text += u'\n';
    }
    text += u' ';
  }
  text.resize(kTextUnits);
  if (text.back() >= 0xD800 && text.back() < 0xDC00) {
    text.back() = u' ';
  }
  return text;
}

const std::u16string &text() {
  static const std::u16string t = make_text();
  return t;
}

std::size_t code_points(const std::u16string &s) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < s.size(); ++n) {
    next_code_point(s, pos);
  }
  return n;
}

void per_character(benchmark::State &state, std::size_t characters) {
  // report.py turns characters per second into nanoseconds per character.
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * characters));
}

void BM_Preparar_Pegado_prose(benchmark::State &state) {
  const NumberFormat format;
  for (auto _ : state) {
    PastePlan plan = plan_paste(text(), format);
    benchmark::DoNotOptimize(plan);
  }
  per_character(state, code_points(text()));
}
BENCHMARK(BM_Preparar_Pegado_prose)->Unit(benchmark::kMillisecond);

// The slowest kind of text for the number reader: a megabyte of digits that
// turns out not to be a number at its very end.
void BM_Preparar_Pegado_digits(benchmark::State &state) {
  std::u16string digits(kTextUnits - 1, u'7');
  digits += u'x';
  const NumberFormat format;
  for (auto _ : state) {
    PastePlan plan = plan_paste(digits, format);
    benchmark::DoNotOptimize(plan);
  }
  per_character(state, digits.size());
}
BENCHMARK(BM_Preparar_Pegado_digits)->Unit(benchmark::kMillisecond);

// A platform that knows the US keys of ASCII in a table and drops every event:
// what remains is the core's own work per character.
class TablePlatform : public FakePlatform {
public:
  TablePlatform() {
    FakePlatform probe; // US layout
    for (char32_t c = 0x20; c < 0x7F; ++c) {
      table_[c] = probe.locate(c);
    }
  }
  std::optional<KeyLocation> locate(char32_t ch) override {
    return ch < table_.size() ? table_[ch] : std::nullopt;
  }
  unsigned held_modifiers() override { return 0; }
  void send_key(Key, bool) override { ++events; }
  void send_layout_key(std::uint32_t, bool) override { ++events; }
  bool send_character(char32_t) override { return ++events != 0; }
  std::uint64_t events = 0;

private:
  std::array<std::optional<KeyLocation>, 128> table_{};
};

// The fake platform's own key choice (a search of its layout), events dropped.
class SilentFake : public FakePlatform {
public:
  void send_key(Key, bool) override { ++events; }
  void send_layout_key(std::uint32_t, bool) override { ++events; }
  bool send_character(char32_t) override { return ++events != 0; }
  std::uint64_t events = 0;
};

void BM_Pulsar_TeclaS_table(benchmark::State &state) {
  TablePlatform platform;
  for (auto _ : state) {
    benchmark::DoNotOptimize(type_text(platform, text()));
  }
  benchmark::DoNotOptimize(platform.events);
  per_character(state, code_points(text()));
}
BENCHMARK(BM_Pulsar_TeclaS_table)->Unit(benchmark::kMillisecond);

void BM_Pulsar_TeclaS_table_keep_typing(benchmark::State &state) {
  TablePlatform platform;
  TypingOptions keep;
  keep.keep_typing = [] { return true; };
  for (auto _ : state) {
    benchmark::DoNotOptimize(type_text(platform, text(), keep));
  }
  per_character(state, code_points(text()));
}
BENCHMARK(BM_Pulsar_TeclaS_table_keep_typing)->Unit(benchmark::kMillisecond);

void BM_Pulsar_TeclaS_fake_layout(benchmark::State &state) {
  SilentFake platform;
  platform.layout = state.range(0) == 0 ? fake_layout_us() : fake_layout_es();
  for (auto _ : state) {
    benchmark::DoNotOptimize(type_text(platform, text()));
  }
  per_character(state, code_points(text()));
}
BENCHMARK(BM_Pulsar_TeclaS_fake_layout)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The X11 backend's choice of key and level, against a recorded keyboard map.
// A keyboard map recorded from a real X server, and the text as code points.
std::optional<xkb::Keymap> recorded_map(const char *layout) {
  std::ifstream file(std::string(TECLIX_KEYMAPS_DIR) + "/" + layout + ".txt");
  std::stringstream content;
  content << file.rdbuf();
  return xkb::parse_keymap(content.str());
}

const std::u32string &text_code_points() {
  static const std::u32string chars = [] {
    std::u32string out;
    for (std::size_t pos = 0; pos < text().size();) {
      out += next_code_point(text(), pos);
    }
    return out;
  }();
  return chars;
}

void BM_x11_choose_key(benchmark::State &state, const char *layout) {
  const std::optional<xkb::Keymap> map = recorded_map(layout);
  if (!map) {
    state.SkipWithError("keyboard map not readable");
    return;
  }
  const std::u32string &chars = text_code_points();
  for (auto _ : state) {
    std::size_t found = 0;
    for (char32_t c : chars) {
      found += xkb::choose_key(*map, c).has_value();
    }
    benchmark::DoNotOptimize(found);
  }
  per_character(state, chars.size());
}
BENCHMARK_CAPTURE(BM_x11_choose_key, us, "us")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_x11_choose_key, es, "es")->Unit(benchmark::kMillisecond);

// What the backend types with: the index of the whole map, built once per pass
// (as when the map is read at the start of a paste), then one look-up a character.
void BM_x11_key_index(benchmark::State &state, const char *layout) {
  const std::optional<xkb::Keymap> map = recorded_map(layout);
  if (!map) {
    state.SkipWithError("keyboard map not readable");
    return;
  }
  const std::u32string &chars = text_code_points();
  for (auto _ : state) {
    const xkb::KeyIndex index(*map);
    std::size_t found = 0;
    for (char32_t c : chars) {
      found += index.find(c).has_value();
    }
    benchmark::DoNotOptimize(found);
  }
  per_character(state, chars.size());
}
BENCHMARK_CAPTURE(BM_x11_key_index, us, "us")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_x11_key_index, es, "es")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
