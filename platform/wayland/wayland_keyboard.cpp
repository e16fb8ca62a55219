#include "platform/wayland/wayland_keyboard.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "platform/wayland/socket_queues.h"
#include "platform/xkb/keymap.h"
#include "typing/keys.h"
#include "typing/unicode.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace teclix::wayland {

namespace {

// Key events sent together, and then waited for the compositor to have handled
// them: it writes each client what a batch brought in few large writes, where
// keys sent one by one would each cost the client's socket a write of its own.
constexpr std::size_t kBatch = 128;

} // namespace

void VirtualKeyboard::StateFree::operator()(xkb_state *state) const {
  xkb_state_unref(state);
}

std::unique_ptr<VirtualKeyboard> VirtualKeyboard::create(Connection &connection) {
  if (!connection.keyboard_manager() || !connection.seat()) {
    return nullptr;
  }
  zwp_virtual_keyboard_v1 *keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
      connection.keyboard_manager(), connection.seat());
  std::unique_ptr<VirtualKeyboard> self(new VirtualKeyboard(connection, keyboard));
  // The compositor hands its new keyboard the user's keymap and makes it the
  // seat's: the keymap the seat then hands out is the user's.
  connection.roundtrip();
  // Another keymap handed out is the user's when it is a whole keyboard's: a
  // layout switched to, or the compositor's own set on this keyboard again
  // (after its input settings change), which the next paste replaces with this
  // program's. Other virtual keyboards (a typing tool's few keys) are not.
  connection.watch_keymap([raw = self.get()](std::string text) {
    if (!is_own_keymap(text) && is_whole_keyboard(text)) {
      raw->user_text_ = std::move(text);
      raw->user_changed_ = true;
    }
  });
  connection.roundtrip();
  return self;
}

VirtualKeyboard::VirtualKeyboard(Connection &connection, zwp_virtual_keyboard_v1 *keyboard)
    : connection_(connection), keyboard_(keyboard), socket_path_(compositor_socket_path()),
      pace_(kBatch) {}

VirtualKeyboard::~VirtualKeyboard() {
  for (std::uint32_t keycode : std::vector<std::uint32_t>(down_.begin(), down_.end())) {
    key(keycode, true);
  }
  zwp_virtual_keyboard_v1_destroy(keyboard_);
  connection_.flush();
}

void VirtualKeyboard::adopt_user_keymap() {
  if (!user_changed_ && user_) {
    return;
  }
  user_changed_ = false;
  std::optional<CompiledKeymap> compiled;
  if (!user_text_.empty()) {
    compiled = CompiledKeymap::compile(user_text_);
  }
  if (!compiled) {
    // No keyboard on the seat yet: the layout the environment names, else US.
    compiled = CompiledKeymap::from_names(nullptr);
  }
  if (!compiled) {
    std::fprintf(stderr, "teclix: no se pudo leer el mapa de teclado del compositor\n");
    return;
  }
  user_ = std::move(compiled);
  map_ = user_->keys();
  index_ = xkb::KeyIndex(map_);
  pool_ = xkb::SparePool(spare_keycodes(map_));
  uploaded_text_.clear();
}

void VirtualKeyboard::upload() {
  if (!user_) {
    return;
  }
  std::string text = keymap_with_bindings(*user_, pool_.slots());
  if (text == uploaded_text_) {
    return;
  }
  std::optional<CompiledKeymap> compiled = CompiledKeymap::compile(text);
  if (!compiled) {
    std::fprintf(stderr, "teclix: el mapa de teclado con teclas añadidas no compila\n");
    text = keymap_with_bindings(*user_, {});
    compiled = CompiledKeymap::compile(text);
    if (!compiled) {
      return;
    }
  }
  const int fd = memfd_create("teclix-keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
    std::fprintf(stderr, "teclix: no se pudo pasar el mapa de teclado al compositor\n");
    if (fd >= 0) {
      close(fd);
    }
    return;
  }
  zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                 static_cast<uint32_t>(text.size() + 1));
  close(fd);
  uploaded_text_ = std::move(text);
  // The keys still down stay down under the new map.
  state_.reset(xkb_state_new(compiled->keymap()));
  for (std::uint32_t keycode : down_) {
    xkb_state_update_key(state_.get(), keycode, XKB_KEY_DOWN);
  }
  std::fill(std::begin(sent_mods_), std::end(sent_mods_), ~0u);
  send_modifiers();
}

void VirtualKeyboard::begin_typing(std::u16string_view text, TypingMode mode,
                                   std::function<bool()> keep_typing) {
  connection_.dispatch(); // a keymap the user switched to meanwhile
  adopt_user_keymap();
  pace_.start([path = socket_path_] { return read_client_queues(path); }, keep_typing);
  keep_typing_ = std::move(keep_typing);
  text_.clear();
  before_keys_.reset();
  text_refused_ = false;
  // A console's keys are its own; anything else may take the text as text.
  input_method_ = mode == TypingMode::kConsole ? nullptr : InputMethod::begin(connection_);
  mode_ = mode;
  needed_.clear();
  needed_cursor_ = 0;
  if (mode == TypingMode::kConsole) {
    console_index_ = xkb::KeyIndex(map_, true);
    dead_key_index_ = xkb::DeadKeyIndex(map_, std::setlocale(LC_CTYPE, nullptr));
  } else {
    std::size_t pos = 0;
    while (pos < text.size()) {
      const char32_t ch = next_code_point(text, pos);
      if (ch < 0x20 || ch == 0x7F) {
        continue;
      }
      const std::optional<xkb::KeyChoice> choice = index_.find(ch);
      if (!choice || choice->dead) {
        needed_.push_back(xkb::char_to_keysym(ch));
      }
    }
    if (!needed_.empty() && pool_.size() > 0) {
      auto batches = xkb::plan_batches(needed_, pool_.size());
      if (batches.size() > 1) {
        batches = xkb::plan_batches(needed_, pool_.batch_limit());
      }
      pool_.bind(batches.front());
    }
  }
  // Sent again for every paste: the compositor may have put its own map on this
  // keyboard since (when its input settings change), and not said so here.
  uploaded_text_.clear();
  upload();
}

void VirtualKeyboard::end_typing() {
  commit_text();
  input_method_.reset();
  for (std::uint32_t keycode : std::vector<std::uint32_t>(down_.begin(), down_.end())) {
    key(keycode, true);
  }
  mode_ = TypingMode::kDirect;
  connection_.roundtrip();
  pace_.report();
}

std::optional<KeyLocation> VirtualKeyboard::locate(char32_t ch) {
  if (pace_.gave_up() || input_method_ || text_refused_) {
    return std::nullopt; // the character goes as text, or not at all
  }
  const std::optional<xkb::KeyChoice> choice =
      (mode_ == TypingMode::kConsole ? console_index_ : index_).find(ch);
  if (!choice) {
    return std::nullopt;
  }
  return KeyLocation{choice->keycode, choice->modifiers, choice->dead};
}

std::optional<DeadKeySequence> VirtualKeyboard::dead_key_sequence(char32_t ch) {
  return xkb::dead_key_sequence_of(dead_key_index_, ch);
}

std::optional<char32_t> VirtualKeyboard::key_character(Key key) {
  return xkb::key_character(key);
}

void VirtualKeyboard::pause(std::chrono::milliseconds time) {
  connection_.flush();
  std::this_thread::sleep_for(time);
}

std::optional<std::uint32_t> VirtualKeyboard::keycode_for_keysym(KeySym32 keysym) {
  if (const auto keycode = xkb::plain_keycode(map_, keysym)) {
    return keycode;
  }
  if (!pool_.keycode_for(keysym) && pool_.size() > 0) {
    pool_.bind({keysym});
    upload();
  }
  return pool_.keycode_for(keysym);
}

void VirtualKeyboard::send_key(Key named, bool up) {
  commit_text(); // the text before the key arrives before it
  if (input_method_ && !before_keys_) {
    before_keys_ = input_method_->text();
  }
  const std::optional<KeySym32> keysym = xkb::keysym_for(named);
  if (!keysym || !user_) {
    return;
  }
  std::optional<std::uint32_t> keycode;
  if (const std::optional<Modifier> modifier = key_modifier(named)) {
    keycode = xkb::modifier_keycode(map_, *keysym);
    if (!keycode && *modifier == kAltGr) {
      keycode = xkb::modifier_keycode(map_, 0xFFEA); // Alt_R, where no key is AltGr
    }
  } else {
    keycode = keycode_for_keysym(*keysym);
  }
  if (keycode) {
    key(*keycode, up);
  }
}

void VirtualKeyboard::send_layout_key(std::uint32_t keycode, bool up) {
  key(keycode, up);
}

void VirtualKeyboard::commit_text() {
  if (text_.empty() || !input_method_) {
    return;
  }
  std::string text = std::move(text_);
  text_.clear();
  if (keep_typing_ && !keep_typing_()) {
    return; // the focus moved: not for the window that has it now
  }
  if (before_keys_) {
    // Keys reach the window apart from the text: it takes them first.
    input_method_->wait_for_change(*before_keys_);
    before_keys_.reset();
  }
  switch (input_method_->commit(text, keep_typing_)) {
  case InputMethod::Commit::kApplied:
    break;
  case InputMethod::Commit::kInactive:
    input_method_.reset();
    type_as_keys(text);
    break;
  case InputMethod::Commit::kNoAnswer:
    std::fprintf(stderr, "teclix: la ventana de destino no tomó el texto: no se teclea el resto\n");
    input_method_.reset();
    text_refused_ = true;
    break;
  }
}

void VirtualKeyboard::type_as_keys(std::string_view utf8) {
  const std::u16string text = utf8_to_utf16(utf8);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t ch = next_code_point(text, pos);
    const std::optional<xkb::KeyChoice> choice = index_.find(ch);
    if (!choice || choice->dead) {
      send_character(ch);
      continue;
    }
    for (bool up : {false, true}) {
      if (!up) {
        for (Modifier m : {kShift, kAltGr}) {
          if (choice->modifiers & m) {
            send_key(modifier_key(m), false);
          }
        }
      }
      key(choice->keycode, up);
    }
    for (Modifier m : {kAltGr, kShift}) {
      if (choice->modifiers & m) {
        send_key(modifier_key(m), true);
      }
    }
  }
}

bool VirtualKeyboard::send_character(char32_t ch) {
  if (pace_.gave_up() || text_refused_) {
    return false;
  }
  if (input_method_) {
    if (text_.size() + 4 > InputMethod::kMaxPiece) {
      commit_text();
    }
    std::u16string one;
    append_code_point(one, ch);
    text_ += utf16_to_utf8(one);
    return true;
  }
  const KeySym32 keysym = xkb::char_to_keysym(ch);
  const std::size_t index = needed_cursor_;
  if (needed_cursor_ < needed_.size()) {
    ++needed_cursor_;
  }
  if (!pool_.keycode_for(keysym) && pool_.size() > 0) {
    // The next batch of the text's characters, starting with this one.
    if (index < needed_.size() && needed_[index] == keysym) {
      const std::vector<KeySym32> rest(needed_.begin() + static_cast<std::ptrdiff_t>(index),
                                       needed_.end());
      pool_.bind(xkb::plan_batches(rest, pool_.batch_limit()).front());
    } else {
      pool_.bind({keysym});
    }
    upload();
  }
  const std::optional<std::uint32_t> keycode = pool_.keycode_for(keysym);
  if (!keycode) {
    std::fprintf(stderr, "teclix: no queda ninguna tecla libre para U+%04X\n",
                 static_cast<unsigned>(ch));
    return false;
  }
  key(*keycode, false);
  key(*keycode, true);
  return true;
}

void VirtualKeyboard::key(std::uint32_t keycode, bool up) {
  if (!state_) {
    upload();
  }
  // Once the target has stopped reading, only the keys still down go, up.
  if (!pace_.before_event([this] { connection_.roundtrip(); }) && (!up || !down_.count(keycode))) {
    return;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - epoch_);
  zwp_virtual_keyboard_v1_key(keyboard_, static_cast<uint32_t>(ms.count()), keycode - 8,
                              up ? WL_KEYBOARD_KEY_STATE_RELEASED : WL_KEYBOARD_KEY_STATE_PRESSED);
  if (up) {
    down_.erase(keycode);
  } else {
    down_.insert(keycode);
  }
  if (state_) {
    xkb_state_update_key(state_.get(), keycode, up ? XKB_KEY_UP : XKB_KEY_DOWN);
    send_modifiers();
  }
}

void VirtualKeyboard::send_modifiers() {
  if (!state_) {
    return;
  }
  const unsigned mods[4] = {
      xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_DEPRESSED),
      xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LATCHED),
      xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LOCKED),
      xkb_state_serialize_layout(state_.get(), XKB_STATE_LAYOUT_EFFECTIVE),
  };
  if (std::equal(std::begin(mods), std::end(mods), std::begin(sent_mods_))) {
    return;
  }
  std::copy(std::begin(mods), std::end(mods), std::begin(sent_mods_));
  zwp_virtual_keyboard_v1_modifiers(keyboard_, mods[0], mods[1], mods[2], mods[3]);
}

} // namespace teclix::wayland
