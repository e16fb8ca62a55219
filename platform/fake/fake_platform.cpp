#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstdio>

#include "helpers/automation.h"
#include "typing/keys.h"
#include "typing/unicode.h"

namespace teclix {

namespace {

std::string hex(unsigned value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", width, value);
  return buf;
}

std::string to_utf8(char32_t ch) {
  std::u16string s;
  append_code_point(s, ch);
  return utf16_to_utf8(s);
}

// What a dead key followed by a base key types in the fake layouts.
struct Composition {
  char32_t dead, base, result;
};
constexpr Composition kCompositions[] = {
    {U'´', U'a', U'á'}, {U'´', U'e', U'é'}, {U'´', U'i', U'í'}, {U'´', U'o', U'ó'},
    {U'´', U'u', U'ú'}, {U'´', U'A', U'Á'}, {U'´', U'E', U'É'}, {U'´', U'I', U'Í'},
    {U'´', U'O', U'Ó'}, {U'´', U'U', U'Ú'}, {U'`', U'a', U'à'}, {U'`', U'e', U'è'},
    {U'`', U'u', U'ù'}, {U'`', U'A', U'À'}, {U'^', U'a', U'â'}, {U'^', U'e', U'ê'},
    {U'^', U'o', U'ô'}, {U'¨', U'u', U'ü'}, {U'¨', U'U', U'Ü'}, {U'¨', U'e', U'ë'},
    {U'~', U'n', U'ñ'}, {U'~', U'a', U'ã'}, {U'´', U' ', U'´'}, {U'`', U' ', U'`'},
    {U'^', U' ', U'^'}, {U'¨', U' ', U'¨'}, {U'~', U' ', U'~'},
};

// The French layout's key right of the ":" key, which no US key name fits.
constexpr Key kOem8 = static_cast<Key>(0x200);

void add(FakeLayout &layout, Key key, char32_t base, char32_t shift, char32_t altgr = 0,
         char32_t shift_altgr = 0, bool caps = false) {
  std::string name = base == U' ' ? "Space" : to_utf8(base);
  if (base >= U'a' && base <= U'z') {
    name = to_utf8(base - 0x20);
  }
  layout.keys.push_back(
      {static_cast<std::uint32_t>(key), name, base, shift, altgr, shift_altgr, caps});
}

void add_letters(FakeLayout &layout) {
  for (char32_t c = U'a'; c <= U'z'; ++c) {
    add(layout, letter_key(static_cast<int>(c - U'a')), c, c - 0x20, 0, 0, true);
  }
  add(layout, Key::kSpace, U' ', U' ');
}

void add_digits(FakeLayout &layout, std::u32string_view base, std::u32string_view shift,
                std::u32string_view altgr) {
  // Keys 1..9 then 0, as on the top row.
  for (int i = 0; i < 10; ++i) {
    add(layout, digit_key(i == 9 ? 0 : static_cast<int>(i) + 1), base[i], shift[i],
        altgr[i] == U' ' ? 0 : altgr[i]);
  }
}

void set_altgr(FakeLayout &layout, Key key, char32_t ch) {
  for (FakeKey &k : layout.keys) {
    if (k.key == static_cast<std::uint32_t>(key)) {
      k.altgr = ch;
    }
  }
}

const char *modifier_name(Key key) {
  switch (key) {
  case Key::kLeftShift:
    return "Shift";
  case Key::kRightShift:
    return "RShift";
  case Key::kLeftControl:
    return "Ctrl";
  case Key::kLeftAlt:
    return "Alt";
  case Key::kAltGr:
    return "AltGr";
  case Key::kLeftSuper:
    return "Win";
  default:
    return nullptr;
  }
}

} // namespace

FakeLayout fake_layout_us() {
  FakeLayout l{"us", {}, U""};
  add_digits(l, U"1234567890", U"!@#$%^&*()", U"          ");
  add_letters(l);
  add(l, Key::kSemicolon, U';', U':');
  add(l, Key::kEquals, U'=', U'+');
  add(l, Key::kComma, U',', U'<');
  add(l, Key::kMinus, U'-', U'_');
  add(l, Key::kPeriod, U'.', U'>');
  add(l, Key::kSlash, U'/', U'?');
  add(l, Key::kBacktick, U'`', U'~');
  add(l, Key::kLeftBracket, U'[', U'{');
  add(l, Key::kBackslash, U'\\', U'|');
  add(l, Key::kRightBracket, U']', U'}');
  add(l, Key::kQuote, U'\'', U'"');
  return l;
}

FakeLayout fake_layout_es() {
  FakeLayout l{"es", {}, U"`^´¨~"};
  add_digits(l, U"1234567890", U"!\"·$%&/()=", U"|@#~ ¬    ");
  add_letters(l);
  set_altgr(l, letter_key(4), U'€');
  add(l, Key::kBackslash, U'º', U'ª', U'\\');
  add(l, Key::kLeftBracket, U'\'', U'?');
  add(l, Key::kRightBracket, U'¡', U'¿');
  add(l, Key::kSemicolon, U'`', U'^', U'[');
  add(l, Key::kEquals, U'+', U'*', U']');
  add(l, Key::kQuote, U'´', U'¨', U'{');
  add(l, Key::kSlash, U'ç', U'Ç', U'}', 0, true);
  add(l, Key::kBacktick, U'ñ', U'Ñ', 0, 0, true);
  add(l, Key::kComma, U',', U';');
  add(l, Key::kPeriod, U'.', U':');
  add(l, Key::kMinus, U'-', U'_');
  add(l, Key::kLessThan, U'<', U'>');
  return l;
}

FakeLayout fake_layout_de() {
  FakeLayout l{"de", {}, U"´`^"};
  add_digits(l, U"1234567890", U"!\"§$%&/()=", U" ²³   {[]}");
  add_letters(l);
  set_altgr(l, letter_key(16), U'@');
  set_altgr(l, letter_key(4), U'€');
  set_altgr(l, letter_key(12), U'µ');
  add(l, Key::kLeftBracket, U'ß', U'?', U'\\');
  add(l, Key::kRightBracket, U'´', U'`');
  add(l, Key::kEquals, U'+', U'*', U'~');
  add(l, Key::kSlash, U'#', U'\'');
  add(l, Key::kSemicolon, U'ü', U'Ü', 0, 0, true);
  add(l, Key::kBacktick, U'ö', U'Ö', 0, 0, true);
  add(l, Key::kQuote, U'ä', U'Ä', 0, 0, true);
  add(l, Key::kBackslash, U'^', U'°');
  add(l, Key::kComma, U',', U';');
  add(l, Key::kPeriod, U'.', U':');
  add(l, Key::kMinus, U'-', U'_');
  add(l, Key::kLessThan, U'<', U'>', U'|');
  return l;
}

FakeLayout fake_layout_fr() {
  FakeLayout l{"fr", {}, U"~`^¨"};
  add_digits(l, U"&é\"'(-è_çà", U"1234567890", U" ~#{[|`\\^@");
  add_letters(l);
  set_altgr(l, letter_key(4), U'€');
  add(l, Key::kLeftBracket, U')', U'°', U']');
  add(l, Key::kEquals, U'=', U'+', U'}');
  add(l, Key::kRightBracket, U'^', U'¨');
  add(l, Key::kSemicolon, U'$', U'£', U'¤');
  add(l, Key::kBacktick, U'ù', U'%');
  add(l, Key::kBackslash, U'*', U'µ');
  add(l, Key::kComma, U',', U'?');
  add(l, Key::kPeriod, U';', U'.');
  add(l, Key::kSlash, U':', U'/');
  add(l, kOem8, U'!', U'§');
  add(l, Key::kQuote, U'²', 0);
  add(l, Key::kLessThan, U'<', U'>');
  return l;
}

FakePlatform::FakePlatform() = default;

void FakePlatform::hold(unsigned modifiers) {
  for (unsigned bit : {kShift, kControl, kAlt, kAltGr, kSuper}) {
    if (modifiers & bit) {
      down_.insert(bit == kShift     ? Key::kLeftShift
                   : bit == kControl ? Key::kLeftControl
                   : bit == kAlt     ? Key::kLeftAlt
                   : bit == kAltGr   ? Key::kAltGr
                                     : Key::kLeftSuper);
    }
  }
}

unsigned FakePlatform::modifiers_now() const {
  unsigned m = 0;
  if (down_.count(Key::kLeftShift) || down_.count(Key::kRightShift)) {
    m |= kShift;
  }
  if (down_.count(Key::kLeftControl)) {
    m |= kControl;
  }
  if (down_.count(Key::kLeftAlt)) {
    m |= kAlt;
  }
  if (down_.count(Key::kAltGr)) {
    m |= kAltGr;
  }
  if (down_.count(Key::kLeftSuper)) {
    m |= kSuper;
  }
  return m;
}

std::string FakePlatform::joined_log() const {
  std::string out;
  for (const std::string &entry : log) {
    if (!out.empty()) {
      out += ' ';
    }
    out += entry;
  }
  return out;
}

WindowHandle FakePlatform::create_main_window(WindowEvents &events) {
  window_events_ = &events;
  calls.push_back("create");
  return kMainWindow;
}

void FakePlatform::show_window(WindowHandle) {
  shown = true;
  calls.push_back("show");
}

void FakePlatform::set_instruction(WindowHandle, const std::u16string &text) {
  instruction = text;
  shown_texts.push_back(text);
}

void FakePlatform::set_link_color(WindowHandle, Rgb color) {
  link_colors.push_back(color);
}

void FakePlatform::open_address(const std::u16string &address) {
  opened.push_back(address);
}

void FakePlatform::set_cursor_position(Point point) {
  cursor = point;
  calls.push_back("cursor " + std::to_string(point.x) + "," + std::to_string(point.y));
}

void FakePlatform::left_button(bool up) {
  calls.push_back(up ? "left up" : "left down");
}

void FakePlatform::send_right_double_click(WindowHandle window) {
  calls.push_back("right double click " + hex(static_cast<unsigned>(window), 4));
}

std::uint8_t FakePlatform::post_code(char16_t ch) {
  return western_code(ch);
}

void FakePlatform::post_character(WindowHandle, std::uint8_t code) {
  posted.push_back(code);
}

BoxAnswer FakePlatform::message_box(const std::u16string &, const std::u16string &,
                                    const MessageBoxStyle &style) {
  calls.push_back("message_box " + std::to_string(standard_style(style)));
  return message_box_answer;
}

CallResult FakePlatform::register_hotkey(Key key, unsigned modifiers) {
  calls.push_back("register " + hex(virtual_key_for(key), 2) + " " + std::to_string(modifiers));
  if (hotkey_taken) {
    return {false, u"Hot key is already registered."};
  }
  return {};
}

void FakePlatform::unregister_hotkey() {
  calls.push_back("unregister");
}

void FakePlatform::wait_message() {
  ++waits;
  if (on_wait) {
    on_wait();
  }
  if (script.empty()) {
    // The script is over: the user closes the window.
    script.push_back(FakeEvent::Close);
  }
  queued.push_back(script.front());
  script.pop_front();
}

void FakePlatform::wait_message_until(std::chrono::steady_clock::time_point until) {
  wait_message();
  if (queued.back() == FakeEvent::Idle) {
    queued.pop_back();
    clock = std::max(clock, until);
  }
}

bool FakePlatform::take_paste_press() {
  for (auto it = queued.begin(); it != queued.end(); ++it) {
    if (*it == FakeEvent::Hotkey) {
      queued.erase(it);
      return true;
    }
  }
  return false;
}

void FakePlatform::pump_events() {
  while (!queued.empty()) {
    const FakeEvent e = queued.front();
    queued.pop_front();
    if (!window_events_) {
      continue;
    }
    switch (e) {
    case FakeEvent::Close:
      calls.push_back("close");
      window_events_->on_close();
      break;
    case FakeEvent::ButtonClick:
      window_events_->on_paste_button_click();
      break;
    case FakeEvent::Escape:
      window_events_->on_escape_key();
      break;
    case FakeEvent::HotkeyTaken:
      window_events_->on_hotkey_taken();
      break;
    case FakeEvent::Switch:
    case FakeEvent::SwitchElevated:
      focus = switch_to;
      privilege = e == FakeEvent::Switch ? TargetPrivilege::kSameOrLower : TargetPrivilege::kHigher;
      break;
    case FakeEvent::SessionChanged:
      session = session_after;
      window_events_->on_session_changed();
      break;
    case FakeEvent::Hotkey:
    case FakeEvent::Timer:
    case FakeEvent::Idle:
      break;
    }
    // A hotkey still queued here reaches the window, which ignores it.
  }
}

void FakePlatform::begin_typing(std::u16string_view, TypingMode typing_mode,
                                std::function<bool()>) {
  mode = typing_mode;
  ++pastes_started;
}

void FakePlatform::pause(std::chrono::milliseconds time) {
  paused += time;
  paused_since_event_ = true;
  gap_ += time;
}

std::optional<char32_t> FakePlatform::key_character(Key key) {
  // The keypad decimal key of every fake layout is a dot, as on most keyboards.
  return key == Key::kKeypadDecimal ? std::optional<char32_t>(U'.') : std::nullopt;
}

std::optional<DeadKeySequence> FakePlatform::dead_key_sequence(char32_t ch) {
  for (const Composition &c : kCompositions) {
    if (c.result != ch) {
      continue;
    }
    const std::optional<KeyLocation> dead = locate(c.dead);
    const std::optional<KeyLocation> base = locate(c.base);
    if (dead && dead->dead && base && !base->dead) {
      return DeadKeySequence{*dead, *base};
    }
  }
  return std::nullopt;
}

void FakePlatform::end_typing() {
  ++pastes_ended;
  if (pending_dead_ != 0) {
    emit("dead " + to_utf8(pending_dead_)); // a dead key with nothing after it
    pending_dead_ = 0;
  }
}

std::optional<KeyLocation> FakePlatform::locate(char32_t ch) {
  const unsigned altgr = kAltGr;
  const bool dead = layout.dead.find(ch) != std::u32string::npos;
  for (unsigned level = 0; level < 4; ++level) {
    for (const FakeKey &k : layout.keys) {
      const char32_t produced = level == 0   ? k.base
                                : level == 1 ? k.shift
                                : level == 2 ? k.altgr
                                             : k.shift_altgr;
      if (produced == ch && ch != 0) {
        // Caps Lock swaps the base and shift levels of its keys: the Shift to
        // press is the one that gives this level under the lock's state.
        const bool shift = ((level & 1) != 0) != (caps_ && k.caps);
        const unsigned mods = (shift ? unsigned{kShift} : 0u) | (level & 2 ? altgr : 0u);
        return KeyLocation{k.key, mods, dead};
      }
    }
  }
  return std::nullopt;
}

// The fake's own key numbers are the seam's Key values.
void FakePlatform::send_key(Key key, bool up) {
  key_event(key, up);
}

void FakePlatform::send_layout_key(std::uint32_t key, bool up) {
  key_event(static_cast<Key>(key), up);
}

bool FakePlatform::send_character(char32_t ch) {
  log.push_back("U+" + hex(ch, 4));
  emit(ch);
  if (on_key_event) {
    on_key_event();
  }
  return true;
}

void FakePlatform::emit(char32_t ch) {
  append_code_point(typed, ch);
}

void FakePlatform::emit(const std::string &marker) {
  typed += utf8_to_utf16("⟨" + marker + "⟩");
}

void FakePlatform::key_event(Key key, bool up) {
  const FakeKey *layout_key = nullptr;
  for (const FakeKey &k : layout.keys) {
    if (k.key == static_cast<std::uint32_t>(key)) {
      layout_key = &k;
    }
  }
  std::string name;
  if (const char *m = modifier_name(key)) {
    name = m;
  } else if (key == Key::kReturn) {
    name = "Enter";
  } else if (key == Key::kTab) {
    name = "Tab";
  } else if (key == Key::kCapsLock) {
    name = "CapsLock";
  } else if (key == Key::kKeypadDecimal) {
    name = "Decimal";
  } else if (layout_key) {
    name = layout_key->name;
  } else {
    name = "Key_" + hex(static_cast<unsigned>(key), 3);
  }
  log.push_back((up ? "-" : "+") + name);
  if (!paused_since_event_) {
    ++unpaused_events;
  }
  paused_since_event_ = false;
  key_events.push_back(TimedKeyEvent{log.back(), modifier_name(key) != nullptr, gap_});
  gap_ = std::chrono::milliseconds(0);

  if (up) {
    down_.erase(key);
  } else {
    down_.insert(key);
    const unsigned mods = modifiers_now();
    const bool altgr = (mods & kAltGr) || ((mods & kControl) && (mods & kAlt));
    const bool shortcut = !altgr && (mods & (kControl | kAlt | kSuper));
    if (modifier_name(key)) {
      // Modifiers produce no text.
    } else if (key == Key::kCapsLock) {
      caps_ = !caps_;
    } else if (key == Key::kReturn) {
      emit(U'\n');
    } else if (key == Key::kTab) {
      emit(U'\t');
    } else if (key == Key::kKeypadDecimal) {
      emit(static_cast<char32_t>(keypad_decimal));
    } else if (!layout_key) {
      emit(name);
    } else if (shortcut) {
      emit("shortcut " + name);
    } else {
      const bool shifted = ((mods & kShift) != 0) != (caps_ && layout_key->caps);
      const char32_t ch = altgr ? (shifted ? layout_key->shift_altgr : layout_key->altgr)
                                : (shifted ? layout_key->shift : layout_key->base);
      if (ch == 0) {
        emit("nothing from " + name);
      } else if (pending_dead_ != 0) {
        // The key after a dead key: the two make one character, if they go together.
        const char32_t dead = pending_dead_;
        pending_dead_ = 0;
        const auto c =
            std::find_if(std::begin(kCompositions), std::end(kCompositions),
                         [&](const Composition &k) { return k.dead == dead && k.base == ch; });
        if (c != std::end(kCompositions)) {
          emit(c->result);
        } else {
          emit("dead " + to_utf8(dead));
          emit(ch);
        }
      } else if (layout.dead.find(ch) != std::u32string::npos) {
        pending_dead_ = ch;
      } else {
        emit(ch);
      }
    }
  }
  if (on_key_event) {
    on_key_event();
  }
}

} // namespace teclix
