// Fuzzes the per-character key choice: whatever the text, layout, Caps Lock and held
// modifiers, the target receives the text (line breaks as Enter, other control
// characters and broken surrogates left out or replaced) and the keyboard ends as it began.
// Into a console (an even input length), what arrives is the text less what no key
// sequence types, with no Unicode event and time before every key event.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/fake/fake_platform.h"
#include "typing/keystrokes.h"
#include "typing/unicode.h"

using namespace teclix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  static const FakeLayout layouts[] = {fake_layout_us(), fake_layout_es(), fake_layout_de(),
                                       fake_layout_fr()};
  FakePlatform fake;
  fake.layout = layouts[data[0] & 3];
  fake.set_caps_lock(data[0] & 4);
  fake.hold((data[0] >> 3) & 31);
  const unsigned held = fake.modifiers_now();

  // The rest is UTF-16, unit by unit, so broken surrogate pairs come up too.
  std::u16string text;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  TypingOptions options;
  const bool console = size % 2 == 0;
  options.mode = console ? TypingMode::kConsole : TypingMode::kDirect;
  type_text(fake, text, options);

  std::u16string expected;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t ch = next_code_point(text, pos);
    if (ch == U'\r' && pos < text.size() && text[pos] == u'\n') {
      ++pos;
    }
    if (ch == U'\r' || ch == U'\n') {
      expected += u'\n';
    } else if (ch == U'\t' || (ch >= 0x20 && ch != 0x7F)) {
      append_code_point(expected, ch);
    }
  }
  bool arrived_right = fake.typed == expected;
  if (console) {
    // Every character that arrived is the text's next one that a key types.
    std::size_t at = 0;
    for (char16_t unit : fake.typed) {
      while (at < expected.size() && expected[at] != unit) {
        ++at;
      }
      if (at == expected.size()) {
        std::abort();
      }
      ++at;
    }
    arrived_right = fake.joined_log().find("U+") == std::string::npos && fake.unpaused_events == 0;
  }
  if (!arrived_right || fake.caps_now() != bool(data[0] & 4) || fake.modifiers_now() != held) {
    std::abort();
  }
  return 0;
}
