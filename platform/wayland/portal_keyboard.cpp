#include "platform/wayland/portal_keyboard.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include <systemd/sd-bus.h>

#include "platform/wayland/portal_request.h"
#include "platform/wayland/restore_token.h"
#include "platform/wayland/socket_queues.h"
#include "platform/xkb/keymap.h"
#include "typing/keys.h"

namespace teclix::wayland {

namespace {

constexpr const char *kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr unsigned kKeyboardDevice = 1;
// Version 2: the session is kept ("persist_mode" 2, until revoked) and a token
// restores it without asking again.
constexpr unsigned kPersistUntilRevoked = 2;
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;
// How long the emulated-input server may take to hand out its keyboard.
constexpr std::chrono::seconds kEmulatedWait{3};

struct BusMessage {
  sd_bus_message *m = nullptr;
  ~BusMessage() { sd_bus_message_unref(m); }
};

} // namespace

std::unique_ptr<PortalKeyboard> PortalKeyboard::create(Connection *keymaps,
                                                       std::function<void()> on_change) {
  sd_bus *bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    return nullptr;
  }
  const std::optional<unsigned> version = portal_version(bus, kRemoteDesktop);
  unsigned types = 0;
  const bool offered =
      version &&
      sd_bus_get_property_trivial(bus, kPortal, kPortalPath, kRemoteDesktop, "AvailableDeviceTypes",
                                  nullptr, 'u', &types) >= 0 &&
      (types & kKeyboardDevice) != 0;
  if (!offered) {
    sd_bus_unref(bus);
    return nullptr;
  }
  std::unique_ptr<PortalKeyboard> self(new PortalKeyboard(bus, *version, std::move(on_change)));
  self->keymaps_ = keymaps;
  if (keymaps) {
    keymaps->watch_keymap([raw = self.get()](std::string text) {
      if (raw->emulated_) {
        return; // the emulated-input server's keymap is the one its keys follow
      }
      raw->keymap_text_ = std::move(text);
      raw->keymap_changed_ = true;
    });
    keymaps->roundtrip();
  }
  self->create_session();
  return self;
}

PortalKeyboard::PortalKeyboard(sd_bus *bus, unsigned version, std::function<void()> on_change)
    : bus_(bus), version_(version), on_change_(std::move(on_change)), requests_(bus) {}

PortalKeyboard::~PortalKeyboard() {
  if (state_ == State::kReady) {
    end_typing();
    sd_bus_call_method(bus_, kPortal, session_.c_str(), "org.freedesktop.portal.Session", "Close",
                       nullptr, nullptr, "");
  }
  sd_bus_slot_unref(closed_slot_);
  sd_bus_flush_close_unref(bus_);
}

int PortalKeyboard::fd() const {
  return sd_bus_get_fd(bus_);
}

bool PortalKeyboard::dispatch() {
  int r;
  while ((r = sd_bus_process(bus_, nullptr)) > 0) {
  }
  if (r < 0 || sd_bus_is_open(bus_) <= 0) {
    if (state_ != State::kLost) {
      std::fprintf(stderr, "teclix: se perdió la conexión con el bus de la sesión\n");
      down_.clear();
      set_state(State::kLost);
    }
    return false;
  }
  sd_bus_flush(bus_);
  return true;
}

void PortalKeyboard::lose(const char *what, const sd_bus_error &error) {
  std::fprintf(stderr, "teclix: el portal no respondió a %s: %s\n", what,
               error.message ? error.message : "sin respuesta");
  down_.clear();
  set_state(State::kLost);
}

void PortalKeyboard::set_state(State state) {
  if (state_ != state) {
    state_ = state;
    if (on_change_) {
      on_change_();
    }
  }
}

int PortalKeyboard::on_closed(sd_bus_message *, void *data, sd_bus_error *) {
  auto *self = static_cast<PortalKeyboard *>(data);
  std::fprintf(stderr, "teclix: el escritorio cerró la sesión de control remoto\n");
  self->down_.clear();
  self->set_state(State::kClosed);
  return 0;
}

void PortalKeyboard::request(const char *method, const PortalRequests::Append &args,
                             const PortalRequests::Append &options, PortalRequests::Answer answer) {
  if (!requests_.send(kRemoteDesktop, method, args, options, std::move(answer))) {
    set_state(State::kRefused);
  }
}

void PortalKeyboard::create_session() {
  request(
      "CreateSession", [](sd_bus_message *) { return 0; },
      [this](sd_bus_message *m) {
        return append_option(m, "session_handle_token", requests_.new_token());
      },
      [this](unsigned response, sd_bus_message *m) {
        const PortalResults results = read_results(m);
        if (response != 0 || results.session_handle.empty()) {
          set_state(State::kRefused);
          return;
        }
        session_ = results.session_handle;
        sd_bus_match_signal(bus_, &closed_slot_, kPortal, session_.c_str(),
                            "org.freedesktop.portal.Session", "Closed", on_closed, this);
        select_devices();
      });
}

void PortalKeyboard::select_devices() {
  const std::string token =
      version_ >= 2 && !token_refused_ ? read_restore_token(restore_token_path()) : std::string();
  // A token the portal will not take (malformed, or from another portal) is
  // dropped, and the session asked for again without it.
  auto without_token = [this, token] {
    if (token.empty()) {
      return false;
    }
    std::fprintf(stderr, "teclix: el portal rechazó el permiso guardado; se pide de nuevo\n");
    token_refused_ = true;
    std::remove(restore_token_path().c_str());
    select_devices();
    return true;
  };
  const bool sent = requests_.send(
      kRemoteDesktop, "SelectDevices",
      [this](sd_bus_message *m) { return sd_bus_message_append(m, "o", session_.c_str()); },
      [this, &token](sd_bus_message *m) {
        if (append_option(m, "types", kKeyboardDevice) < 0) {
          return -1;
        }
        if (version_ < 2) {
          return 0;
        }
        return append_option(m, "persist_mode", kPersistUntilRevoked) < 0 ? -1
               : token.empty()                                            ? 0
                               : append_option(m, "restore_token", token);
      },
      [this, without_token](unsigned response, sd_bus_message *) {
        if (response == 0) {
          start();
        } else if (response == 1 || !without_token()) {
          set_state(State::kRefused); // the user said no, or it failed without a token
        }
      });
  if (!sent && !without_token()) {
    set_state(State::kRefused);
  }
}

void PortalKeyboard::start() {
  request(
      "Start",
      [this](sd_bus_message *m) { return sd_bus_message_append(m, "os", session_.c_str(), ""); },
      [](sd_bus_message *) { return 0; },
      [this](unsigned response, sd_bus_message *m) {
        const PortalResults results = read_results(m);
        if (response != 0 || !results.devices || (*results.devices & kKeyboardDevice) == 0) {
          std::fprintf(stderr, "teclix: el escritorio no dio el teclado (respuesta %u)\n",
                       response);
          set_state(State::kRefused);
          return;
        }
        std::string why;
        if (!results.restore_token.empty() &&
            !write_restore_token(restore_token_path(), results.restore_token, why)) {
          std::fprintf(stderr, "teclix: no se pudo guardar el permiso del portal: %s\n",
                       why.c_str());
        }
        if (version_ >= 2 && connect_emulated_input()) {
          if (emulated_ && emulated_->state() == EmulatedInput::State::kReady) {
            first_key_sent_ = true; // its own keyboard: no key needed to make one
            dispatch_input();
            set_state(State::kReady);
            adopt_keymap();
          } else {
            // The portal takes no D-Bus keys once it has handed the socket out.
            set_state(State::kRefused);
          }
          return;
        }
        set_state(State::kReady);
        // A seat with no keyboard yet (a headless or docked machine) gets one
        // with the session's first key, and only then hands out its keymap: a
        // Shift tap now, so that the keymap is there for the first paste. (It
        // also takes the first key, which a session may swallow.)
        first_key_sent_ = true;
        adopt_keymap();
        tap_modifiers(kShift, false);
        tap_modifiers(kShift, true);
      });
}

bool PortalKeyboard::connect_emulated_input() {
  if (!EmulatedInput::available()) {
    return false;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusMessage reply;
  if (sd_bus_call_method(bus_, kPortal, kPortalPath, kRemoteDesktop, "ConnectToEIS", &error,
                         &reply.m, "oa{sv}", session_.c_str(), 0) < 0) {
    std::fprintf(stderr, "teclix: el portal no da entrada emulada (%s): teclas por D-Bus\n",
                 error.message ? error.message : "sin respuesta");
    sd_bus_error_free(&error);
    return false;
  }
  int fd = -1;
  if (sd_bus_message_read(reply.m, "h", &fd) < 0 || (fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0) {
    std::fprintf(stderr, "teclix: el portal no dio el conector de la entrada emulada\n");
    return false;
  }
  emulated_ = EmulatedInput::connect(fd);
  if (!emulated_ || !emulated_->wait_ready(kEmulatedWait)) {
    std::fprintf(stderr, "teclix: la entrada emulada del escritorio no dio un teclado\n");
    return true;
  }
  std::fprintf(stderr, "teclix: teclas por la entrada emulada del escritorio (libei)\n");
  return true;
}

bool PortalKeyboard::dispatch_input() {
  if (!emulated_) {
    return false;
  }
  const bool open = emulated_->dispatch();
  if (std::optional<std::string> keymap = emulated_->take_keymap()) {
    keymap_text_ = std::move(*keymap);
    keymap_changed_ = true;
  }
  if (!open && state_ == State::kReady) {
    down_.clear();
    set_state(State::kClosed);
  }
  return open;
}

void PortalKeyboard::read_emulated_states() {
  held_ = false;
  if (emulated_->state() == EmulatedInput::State::kConnecting) {
    emulated_->wait_ready(std::chrono::seconds(1)); // a keyboard the server is replacing
  }
  // The server's word on the keyboard, as of now: Caps Lock, the layout, and
  // the modifiers held (the shortcut's, say), which are waited for. A server
  // that says nothing of them leaves the desktop's other sources (KDE's).
  emulated_->roundtrip();
  dispatch_input();
  compile_keymap();
  if (!emulated_->modifiers()) {
    read_key_states();
    return;
  }
  const auto until = std::chrono::steady_clock::now() + kHeldWait;
  while (emulated_->modifiers()->depressed != 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    emulated_->roundtrip();
  }
  const EmulatedInput::Modifiers &state = *emulated_->modifiers();
  caps_lock_ = keymap_ && keymap_->caps_lock_in(state.locked);
  held_ = state.depressed != 0;
  std::fprintf(stderr,
               "teclix: el escritorio dice: modificadores pulsados %#x, bloqueados %#x, "
               "distribución %u\n",
               state.depressed, state.locked, state.group);
  if (held_) {
    std::fprintf(stderr, "teclix: el usuario mantiene pulsada una tecla modificadora: no se "
                         "teclea nada\n");
  }
}

void PortalKeyboard::wait_for_keymap() {
  if (!keymaps_ || !keymap_text_.empty() || state_ != State::kReady) {
    return;
  }
  // The seat's keyboard, made by the session's first key, is announced and its
  // keymap handed out in a few round trips.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (keymap_text_.empty() && keymaps_->roundtrip() &&
         std::chrono::steady_clock::now() < until) {
    if (keymap_text_.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

unsigned PortalKeyboard::active_layout() {
  // KDE says which of the keymap's layouts the user has switched to; elsewhere
  // the first is taken.
  unsigned layout = 0;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message *reply = nullptr;
  if (sd_bus_call_method(bus_, "org.kde.keyboard", "/Layouts", "org.kde.KeyboardLayouts",
                         "getLayout", &error, &reply, "") >= 0) {
    sd_bus_message_read(reply, "u", &layout);
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return layout;
}

void PortalKeyboard::read_key_states() {
  held_ = false;
  std::optional<KeyStates> states = keymaps_ ? keymaps_->key_states() : std::nullopt;
  if (!states) {
    return; // not said: Caps Lock taken as off, nothing as held
  }
  // The portal's keys join the user's on one keyboard: a modifier the user still
  // holds (the shortcut's Super, say) would change every key. It is waited for.
  const auto until = std::chrono::steady_clock::now() + kHeldWait;
  while (states && states->modifiers_held && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    states = keymaps_->key_states();
  }
  caps_lock_ = states && states->caps_lock;
  held_ = states && states->modifiers_held;
  if (held_) {
    std::fprintf(stderr, "teclix: el usuario mantiene pulsada una tecla modificadora: no se "
                         "teclea nada\n");
  }
}

void PortalKeyboard::compile_keymap() {
  if (keymap_changed_) {
    keymap_ = CompiledKeymap::compile(keymap_text_);
    keymap_changed_ = false;
    keys_stale_ = true;
  }
}

void PortalKeyboard::adopt_keymap() {
  compile_keymap();
  const unsigned layout =
      emulated_ && emulated_->modifiers() ? emulated_->modifiers()->group : active_layout();
  if (!keys_stale_ && layout == layout_ && caps_lock_ == keys_caps_lock_) {
    return;
  }
  keys_stale_ = false;
  keys_caps_lock_ = caps_lock_;
  layout_ = layout;
  if (keymap_) {
    map_ = keymap_->keys(layout_, caps_lock_);
    index_ = xkb::KeyIndex(map_);
    console_index_ = xkb::KeyIndex(map_, true);
    dead_key_index_ = xkb::DeadKeyIndex(map_, std::setlocale(LC_CTYPE, nullptr));
  }
}

void PortalKeyboard::begin_typing(std::u16string_view, TypingMode mode,
                                  std::function<bool()> keep_typing) {
  dispatch();
  if (emulated_) {
    read_emulated_states();
  } else {
    wait_for_keymap();
    read_key_states();
  }
  adopt_keymap();
  pace().start([path = compositor_socket_path()] { return read_client_queues(path); },
               std::move(keep_typing));
  mode_ = mode;
  if (state_ == State::kReady && !first_key_sent_) {
    // A session's first key may be swallowed: a Shift tap goes first.
    first_key_sent_ = true;
    tap_modifiers(kShift, false);
    tap_modifiers(kShift, true);
  }
}

void PortalKeyboard::end_typing() {
  held_ = false;
  for (std::uint32_t code : std::set<std::uint32_t>(down_)) {
    keycode(code, true);
  }
  if (emulated_) {
    emulated_->roundtrip();
  }
  sd_bus_flush(bus_);
  pace().report();
}

std::optional<KeyLocation> PortalKeyboard::locate(char32_t ch) {
  if (state_ != State::kReady || !keymap_ || stopped()) {
    return std::nullopt;
  }
  const std::optional<xkb::KeyChoice> choice =
      (mode_ == TypingMode::kConsole ? console_index_ : index_).find(ch);
  if (!choice) {
    return std::nullopt;
  }
  return KeyLocation{choice->keycode, choice->modifiers, choice->dead};
}

std::optional<DeadKeySequence> PortalKeyboard::dead_key_sequence(char32_t ch) {
  if (state_ != State::kReady || stopped()) {
    return std::nullopt;
  }
  return xkb::dead_key_sequence_of(dead_key_index_, ch);
}

std::optional<char32_t> PortalKeyboard::key_character(Key key) {
  return xkb::key_character(key);
}

void PortalKeyboard::pause(std::chrono::milliseconds time) {
  sd_bus_flush(bus_);
  std::this_thread::sleep_for(time);
}

void PortalKeyboard::tap_modifiers(unsigned modifiers, bool up) {
  for (Modifier m : {kShift, kAltGr}) {
    if (modifiers & m) {
      send_key(modifier_key(m), up);
    }
  }
}

void PortalKeyboard::send_key(Key named, bool up) {
  const std::optional<KeySym32> sym = xkb::keysym_for(named);
  if (!sym || state_ != State::kReady || stopped()) {
    return;
  }
  std::optional<std::uint32_t> code;
  if (keymap_) {
    code = key_modifier(named) ? xkb::modifier_keycode(map_, *sym) : xkb::plain_keycode(map_, *sym);
  }
  if (code) {
    keycode(*code, up);
  } else {
    keysym(*sym, up);
  }
}

void PortalKeyboard::send_layout_key(std::uint32_t key, bool up) {
  keycode(key, up);
}

bool PortalKeyboard::send_character(char32_t ch) {
  const std::optional<DeadKeySequence> sequence = dead_key_sequence(ch);
  if (!sequence) {
    return false; // the layout has no key for it, and the portal types none other
  }
  for (const KeyLocation &key : {sequence->dead, sequence->base}) {
    tap_modifiers(key.modifiers, false);
    keycode(key.key, false);
    keycode(key.key, true);
    tap_modifiers(key.modifiers, true);
  }
  return true;
}

void PortalKeyboard::keycode(std::uint32_t code, bool up) {
  if (pace().gave_up() && (!up || !down_.count(code))) {
    return;
  }
  // evdev's numbering: the XKB keycode less 8
  if (emulated_ ? emulate(code - 8, up)
                : notify("NotifyKeyboardKeycode", static_cast<int>(code) - 8, up)) {
    if (up) {
      down_.erase(code);
    } else {
      down_.insert(code);
    }
  }
}

void PortalKeyboard::keysym(std::uint32_t sym, bool up) {
  if (emulated_) {
    return; // emulated input has keycodes only
  }
  notify("NotifyKeyboardKeysym", static_cast<int>(sym), up);
}

bool PortalKeyboard::emulate(std::uint32_t evdev_code, bool up) {
  if (state_ != State::kReady) {
    return false;
  }
  // Keys go in frames, and after each batch a round trip: the server has
  // handled them before more go out, and the pace looks at the target.
  if (!emulated_pace_.before_event([this] { emulated_->roundtrip(); }) && !up) {
    return false;
  }
  if (emulated_->state() != EmulatedInput::State::kReady) {
    dispatch_input(); // a connection that closed is said
    return false;
  }
  emulated_->key(evdev_code, !up);
  return true;
}

bool PortalKeyboard::notify(const char *method, int key, bool up) {
  if (state_ != State::kReady) {
    return false;
  }
  if (!pace_.before_event([this] { sd_bus_flush(bus_); }) && !up) {
    return false;
  }
  // Each event waits for the portal's answer: sent without waiting, KDE's portal
  // applied some out of order (a Shift release after the letters it should not
  // have shifted). A portal that does not answer one key would not answer the
  // next either: the paste ends at the first (the session's state stops it) and
  // the window says so.
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusMessage call;
  const int r =
      sd_bus_message_new_method_call(bus_, &call.m, kPortal, kPortalPath, kRemoteDesktop, method);
  if (r < 0 ||
      sd_bus_message_append(call.m, "oa{sv}iu", session_.c_str(), 0, key, up ? 0u : 1u) < 0) {
    return false;
  }
  if (sd_bus_call(bus_, call.m, kCallTimeoutUs, &error, nullptr) < 0) {
    lose("una tecla", error);
    sd_bus_error_free(&error);
    return false;
  }
  return true;
}

} // namespace teclix::wayland
