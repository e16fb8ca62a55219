// Types a text through XTest the way a virtual-machine console needs it, to
// find how fast such a console takes keys:
//   - each character by a main-block key whose plain or Shift level gives it in
//     the current keyboard map (never a keypad key, whose scan code means
//     something else to the guest);
//   - Shift pressed once and held across a run of shifted characters;
//   - EVENT_US microseconds after every key event, and SETTLE_US more before
//     and after each press or release of Shift;
//   - every modifier key released at the end.
//
//   pace_probe type FILE EVENT_US SETTLE_US   types the text of FILE (ASCII)
//   pace_probe text COUNT SEED                prints COUNT printable ASCII
//                                             characters, every one at least once
//   pace_probe held                           lists modifier keys held down;
//                                             exit status 1 if there are any
//
// Build: g++ -std=c++20 -O2 pace_probe.cpp -o pace_probe -lX11 -lXtst

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Key {
  KeyCode code = 0;
  bool shift = false;
};

KeySym keysym_for(unsigned char c) {
  if (c == '\n' || c == '\r') return XK_Return;
  if (c == '\t') return XK_Tab;
  return c; // printable ASCII keysyms equal their codes
}

// Whether the XKB key name is one of the main (alphanumeric) block: the
// letter and digit rows, space, tab and return. Other keys, such as the
// keypad parentheses that some maps give plain '(' and ')', have scan codes
// that the guest reads as something else or not at all.
bool main_block(const char* name) {
  const std::string n(name, strnlen(name, XkbKeyNameLength));
  static const char* const others[] = {"TLDE", "BKSL", "LSGT", "SPCE", "TAB", "RTRN"};
  if (n.size() == 4 && n[0] == 'A' && std::strchr("EDCB", n[1]) && std::isdigit(n[2]) && std::isdigit(n[3]))
    return true;
  return std::find(std::begin(others), std::end(others), n) != std::end(others);
}

// The main-block key and Shift state that give KEYSYM in group 1 of the map.
Key find_key(Display* dpy, XkbDescPtr xkb, KeySym keysym) {
  for (int level = 0; level < 2; ++level) {
    for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
      if (!main_block(xkb->names->keys[kc].name)) continue;
      if (XkbKeycodeToKeysym(dpy, kc, 0, level) == keysym) return {static_cast<KeyCode>(kc), level == 1};
    }
  }
  return {};
}

class Pacer {
 public:
  explicit Pacer(Display* dpy) : dpy_(dpy), next_(Clock::now()) {}
  void event(KeyCode code, bool down, std::chrono::microseconds after) {
    std::this_thread::sleep_until(next_);
    XTestFakeKeyEvent(dpy_, code, down ? True : False, CurrentTime);
    XSync(dpy_, False);
    next_ = std::max(next_ + after, Clock::now());
  }
  void pause(std::chrono::microseconds t) { next_ += t; }
  void finish() { std::this_thread::sleep_until(next_); }

 private:
  Display* dpy_;
  Clock::time_point next_;
};

// The keycodes of the modifier map that are down now.
std::vector<KeyCode> held_modifiers(Display* dpy) {
  char keys[32];
  XQueryKeymap(dpy, keys);
  XModifierKeymap* map = XGetModifierMapping(dpy);
  std::vector<KeyCode> held;
  for (int i = 0; i < 8 * map->max_keypermod; ++i) {
    KeyCode kc = map->modifiermap[i];
    if (kc && (keys[kc / 8] & (1 << (kc % 8))) && std::find(held.begin(), held.end(), kc) == held.end())
      held.push_back(kc);
  }
  XFreeModifiermap(map);
  return held;
}

int type_text(Display* dpy, const std::string& text, long event_us, long settle_us) {
  const std::chrono::microseconds gap(event_us), settle(settle_us);
  const KeyCode shift_key = XKeysymToKeycode(dpy, XK_Shift_L);
  XkbDescPtr xkb = XkbGetMap(dpy, 0, XkbUseCoreKbd);
  if (!xkb || XkbGetNames(dpy, XkbKeyNamesMask, xkb) != Success) {
    std::fputs("pace_probe: cannot read the key names\n", stderr);
    return 2;
  }
  std::vector<Key> keys;
  for (unsigned char c : text) {
    Key k = find_key(dpy, xkb, keysym_for(c));
    if (!k.code || !shift_key) {
      std::fprintf(stderr, "pace_probe: no main-block key gives 0x%02x\n", c);
      return 2;
    }
    keys.push_back(k);
  }
  XkbFreeKeyboard(xkb, 0, True);
  Pacer pacer(dpy);
  bool shifted = false;
  auto set_shift = [&](bool down) {
    pacer.pause(settle);
    pacer.event(shift_key, down, gap + settle);
    shifted = down;
  };
  for (const Key& k : keys) {
    if (k.shift != shifted) set_shift(k.shift);
    pacer.event(k.code, true, gap);
    pacer.event(k.code, false, gap);
  }
  if (shifted) set_shift(false);
  for (KeyCode kc : held_modifiers(dpy)) pacer.event(kc, false, gap);
  pacer.finish();
  return 0;
}

std::string make_text(std::size_t count, unsigned seed) {
  std::string all;
  for (int c = 0x20; c <= 0x7e; ++c) all += static_cast<char>(c);
  std::mt19937 gen(seed);
  std::string text;
  while (text.size() < count) {
    std::string round = all; // each printable character once per 95, in a seeded order
    for (std::size_t i = round.size() - 1; i > 0; --i) std::swap(round[i], round[gen() % (i + 1)]);
    text += round;
  }
  text.resize(count);
  return text;
}

int usage() {
  std::fputs("usage: pace_probe type FILE EVENT_US SETTLE_US | text COUNT SEED | held\n", stderr);
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "text" && argc == 4) {
    std::fputs(make_text(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10)).c_str(), stdout);
    return 0;
  }
  if ((cmd != "type" || argc != 5) && (cmd != "held" || argc != 2)) return usage();
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fputs("pace_probe: cannot open the display\n", stderr);
    return 2;
  }
  int status = 0;
  if (cmd == "held") {
    for (KeyCode kc : held_modifiers(dpy)) {
      std::printf("%s ", XKeysymToString(XkbKeycodeToKeysym(dpy, kc, 0, 0)));
      status = 1;
    }
  } else {
    std::ifstream in(argv[2], std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    status = type_text(dpy, text, std::atol(argv[3]), std::atol(argv[4]));
  }
  XCloseDisplay(dpy);
  return status;
}
