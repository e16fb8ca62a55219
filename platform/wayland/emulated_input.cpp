#include "platform/wayland/emulated_input.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <poll.h>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

// libei's C interface, as far as this program uses it (libei 1.x, soname
// libei.so.1): its types are opaque, its enumerations' values fixed by its ABI.
extern "C" {
struct ei;
struct ei_seat;
struct ei_device;
struct ei_event;
struct ei_keymap;
struct ei_ping;
}

namespace teclix::wayland {

namespace {

enum : unsigned { kCapKeyboard = 1 << 2 };
enum : int { kKeymapXkb = 1 };
enum : int {
  kEventConnect = 1,
  kEventDisconnect = 2,
  kEventSeatAdded = 3,
  kEventSeatRemoved = 4,
  kEventDeviceAdded = 5,
  kEventDeviceRemoved = 6,
  kEventDevicePaused = 7,
  kEventDeviceResumed = 8,
  kEventKeyboardModifiers = 9,
  kEventPong = 90,
};

} // namespace

struct EmulatedInput::Library {
  ei *(*new_sender)(void *);
  ei *(*unref)(ei *);
  void (*configure_name)(ei *, const char *);
  int (*setup_backend_fd)(ei *, int);
  int (*get_fd)(ei *);
  void (*dispatch)(ei *);
  ei_event *(*get_event)(ei *);
  std::uint64_t (*now)(ei *);
  ei_event *(*event_unref)(ei_event *);
  int (*event_get_type)(ei_event *);
  ei_seat *(*event_get_seat)(ei_event *);
  ei_device *(*event_get_device)(ei_event *);
  std::uint32_t (*mods_depressed)(ei_event *);
  std::uint32_t (*mods_latched)(ei_event *);
  std::uint32_t (*mods_locked)(ei_event *);
  std::uint32_t (*group)(ei_event *);
  ei_ping *(*event_pong_get_ping)(ei_event *);
  bool (*seat_has_capability)(ei_seat *, unsigned);
  void (*seat_bind_capabilities)(ei_seat *, ...);
  ei_seat *(*seat_ref)(ei_seat *);
  ei_seat *(*seat_unref)(ei_seat *);
  ei_device *(*device_ref)(ei_device *);
  ei_device *(*device_unref)(ei_device *);
  bool (*device_has_capability)(ei_device *, unsigned);
  ei_keymap *(*device_keyboard_get_keymap)(ei_device *);
  int (*keymap_get_type)(ei_keymap *);
  int (*keymap_get_fd)(ei_keymap *);
  std::size_t (*keymap_get_size)(ei_keymap *);
  void (*device_start_emulating)(ei_device *, std::uint32_t);
  void (*device_stop_emulating)(ei_device *);
  void (*device_keyboard_key)(ei_device *, std::uint32_t, bool);
  void (*device_frame)(ei_device *, std::uint64_t);
  ei_ping *(*new_ping)(ei *);
  void (*ping)(ei_ping *);
  ei_ping *(*ping_unref)(ei_ping *);

  // nullptr when libei.so.1 is not there or lacks a function.
  static const Library *load() {
    static const Library *loaded = []() -> const Library * {
      void *handle = dlopen("libei.so.1", RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        return nullptr;
      }
      static Library lib;
      bool complete = true;
      auto get = [&](auto &function, const char *name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        complete = complete && function != nullptr;
      };
      get(lib.new_sender, "ei_new_sender");
      get(lib.unref, "ei_unref");
      get(lib.configure_name, "ei_configure_name");
      get(lib.setup_backend_fd, "ei_setup_backend_fd");
      get(lib.get_fd, "ei_get_fd");
      get(lib.dispatch, "ei_dispatch");
      get(lib.get_event, "ei_get_event");
      get(lib.now, "ei_now");
      get(lib.event_unref, "ei_event_unref");
      get(lib.event_get_type, "ei_event_get_type");
      get(lib.event_get_seat, "ei_event_get_seat");
      get(lib.event_get_device, "ei_event_get_device");
      get(lib.mods_depressed, "ei_event_keyboard_get_xkb_mods_depressed");
      get(lib.mods_latched, "ei_event_keyboard_get_xkb_mods_latched");
      get(lib.mods_locked, "ei_event_keyboard_get_xkb_mods_locked");
      get(lib.group, "ei_event_keyboard_get_xkb_group");
      get(lib.event_pong_get_ping, "ei_event_pong_get_ping");
      get(lib.seat_has_capability, "ei_seat_has_capability");
      get(lib.seat_bind_capabilities, "ei_seat_bind_capabilities");
      get(lib.seat_ref, "ei_seat_ref");
      get(lib.seat_unref, "ei_seat_unref");
      get(lib.device_ref, "ei_device_ref");
      get(lib.device_unref, "ei_device_unref");
      get(lib.device_has_capability, "ei_device_has_capability");
      get(lib.device_keyboard_get_keymap, "ei_device_keyboard_get_keymap");
      get(lib.keymap_get_type, "ei_keymap_get_type");
      get(lib.keymap_get_fd, "ei_keymap_get_fd");
      get(lib.keymap_get_size, "ei_keymap_get_size");
      get(lib.device_start_emulating, "ei_device_start_emulating");
      get(lib.device_stop_emulating, "ei_device_stop_emulating");
      get(lib.device_keyboard_key, "ei_device_keyboard_key");
      get(lib.device_frame, "ei_device_frame");
      get(lib.new_ping, "ei_new_ping");
      get(lib.ping, "ei_ping");
      get(lib.ping_unref, "ei_ping_unref");
      if (!complete) {
        std::fprintf(stderr, "teclix: libei.so.1 no tiene todo lo que se usa: no se usa\n");
        dlclose(handle);
        return nullptr;
      }
      return &lib;
    }();
    return loaded;
  }
};

bool EmulatedInput::available() {
  return Library::load() != nullptr;
}

std::unique_ptr<EmulatedInput> EmulatedInput::connect(int fd) {
  const Library *lib = Library::load();
  // A socket whose server end is closed already (a server that refuses at once)
  // is not given to libei: libei 1.3.901 crashes setting up on one.
  pollfd p{fd, POLLRDHUP, 0};
  if (!lib || (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0)) {
    close(fd);
    return nullptr;
  }
  ei *context = lib->new_sender(nullptr);
  if (!context) {
    close(fd);
    return nullptr;
  }
  lib->configure_name(context, "teclix");
  std::unique_ptr<EmulatedInput> self(new EmulatedInput(*lib, context));
  if (const int r = lib->setup_backend_fd(context, fd); r < 0) {
    std::fprintf(stderr, "teclix: la entrada emulada no se pudo abrir: %s\n", std::strerror(-r));
    self->state_ = State::kRefused;
  }
  return self;
}

EmulatedInput::EmulatedInput(const Library &library, void *context) : lib_(library), ei_(context) {}

EmulatedInput::~EmulatedInput() {
  auto *device = static_cast<ei_device *>(device_);
  if (device && emulating_) {
    lib_.device_stop_emulating(device);
  }
  if (ping_) {
    lib_.ping_unref(static_cast<ei_ping *>(ping_));
  }
  if (device) {
    lib_.device_unref(device);
  }
  if (seat_) {
    lib_.seat_unref(static_cast<ei_seat *>(seat_));
  }
  lib_.unref(static_cast<ei *>(ei_));
}

int EmulatedInput::fd() const {
  return lib_.get_fd(static_cast<ei *>(ei_));
}

void EmulatedInput::set_closed(const char *why) {
  if (state_ == State::kRefused || state_ == State::kClosed) {
    return;
  }
  std::fprintf(stderr, "teclix: entrada emulada: %s\n", why);
  state_ = state_ == State::kReady ? State::kClosed : State::kRefused;
  emulating_ = false;
}

bool EmulatedInput::dispatch() {
  auto *context = static_cast<ei *>(ei_);
  lib_.dispatch(context);
  while (ei_event *event = lib_.get_event(context)) {
    handle(event);
    lib_.event_unref(event);
  }
  return state_ == State::kConnecting || state_ == State::kReady;
}

void EmulatedInput::handle(void *raw) {
  auto *event = static_cast<ei_event *>(raw);
  switch (lib_.event_get_type(event)) {
  case kEventDisconnect:
    set_closed("el escritorio cerró la conexión");
    break;
  case kEventSeatAdded:
    if (!seat_) {
      ei_seat *seat = lib_.event_get_seat(event);
      if (!lib_.seat_has_capability(seat, kCapKeyboard)) {
        set_closed("el asiento no ofrece teclado");
        break;
      }
      seat_ = lib_.seat_ref(seat);
      lib_.seat_bind_capabilities(seat, kCapKeyboard, nullptr);
    }
    break;
  case kEventDeviceAdded:
    if (ei_device *device = lib_.event_get_device(event);
        !device_ && lib_.device_has_capability(device, kCapKeyboard)) {
      device_ = lib_.device_ref(device);
      if (ei_keymap *keymap = lib_.device_keyboard_get_keymap(device);
          keymap && lib_.keymap_get_type(keymap) == kKeymapXkb) {
        const std::size_t size = lib_.keymap_get_size(keymap);
        void *data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, lib_.keymap_get_fd(keymap), 0);
        if (data != MAP_FAILED) {
          keymap_ = std::string(static_cast<const char *>(data),
                                strnlen(static_cast<const char *>(data), size));
          munmap(data, size);
        }
      }
    }
    break;
  case kEventDeviceRemoved:
    // A server may replace the keyboard (a new keymap): the next one is waited for.
    if (lib_.event_get_device(event) == device_) {
      lib_.device_unref(static_cast<ei_device *>(device_));
      device_ = nullptr;
      emulating_ = false;
      if (state_ == State::kReady) {
        state_ = State::kConnecting;
      }
    }
    break;
  case kEventSeatRemoved:
    if (lib_.event_get_seat(event) == seat_) {
      set_closed("el escritorio quitó el asiento");
    }
    break;
  case kEventDevicePaused:
    if (lib_.event_get_device(event) == device_ && state_ == State::kReady) {
      state_ = State::kConnecting;
      emulating_ = false;
    }
    break;
  case kEventDeviceResumed:
    if (lib_.event_get_device(event) == device_ && state_ == State::kConnecting) {
      state_ = State::kReady;
      lib_.device_start_emulating(static_cast<ei_device *>(device_), ++sequence_);
      emulating_ = true;
    }
    break;
  case kEventKeyboardModifiers:
    modifiers_ = Modifiers{lib_.mods_depressed(event), lib_.mods_latched(event),
                           lib_.mods_locked(event), lib_.group(event)};
    break;
  case kEventPong:
    if (lib_.event_pong_get_ping(event) == ping_) {
      pong_ = true;
    }
    break;
  default:
    break;
  }
}

bool EmulatedInput::wait_until(const std::function<bool()> &done, std::chrono::milliseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (!done() && dispatch()) {
    if (done() || std::chrono::steady_clock::now() >= until) {
      break;
    }
    // In slices of a millisecond: libei may hold an answer it has read (a
    // ping's, seen with KWin 6.3) while its descriptor does not wake a poll.
    pollfd p{fd(), POLLIN, 0};
    poll(&p, 1, 1);
  }
  return done();
}

bool EmulatedInput::wait_ready(std::chrono::milliseconds time) {
  return wait_until([this] { return state_ != State::kConnecting; }, time) &&
         state_ == State::kReady;
}

std::optional<std::string> EmulatedInput::take_keymap() {
  std::optional<std::string> keymap = std::move(keymap_);
  keymap_.reset();
  return keymap;
}

void EmulatedInput::key(std::uint32_t evdev_code, bool press) {
  // What the server said since the last look (a connection it closed, a
  // keyboard it paused) comes before the key.
  pollfd p{fd(), POLLIN, 0};
  if (poll(&p, 1, 0) > 0) {
    dispatch();
  }
  if (state_ != State::kReady || !emulating_) {
    return;
  }
  auto *device = static_cast<ei_device *>(device_);
  lib_.device_keyboard_key(device, evdev_code, press);
  lib_.device_frame(device, lib_.now(static_cast<ei *>(ei_)));
}

bool EmulatedInput::roundtrip(std::chrono::milliseconds time) {
  auto *context = static_cast<ei *>(ei_);
  if (state_ != State::kConnecting && state_ != State::kReady) {
    return false;
  }
  if (ping_) {
    lib_.ping_unref(static_cast<ei_ping *>(ping_));
  }
  ei_ping *ping = lib_.new_ping(context);
  ping_ = ping;
  if (!ping) {
    return false;
  }
  pong_ = false;
  lib_.ping(ping);
  return wait_until([this] { return pong_; }, time);
}

} // namespace teclix::wayland
