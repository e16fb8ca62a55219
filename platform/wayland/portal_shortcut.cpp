#include "platform/wayland/portal_shortcut.h"

#include <cstdio>
#include <cstring>

namespace teclix::wayland {

namespace {

constexpr const char *kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char *kShortcutId = "paste";
// The session's token names it the same on every run: KDE keeps the shortcuts of
// a program it cannot name under it, so that the user's key (F10, or the one
// chosen in the desktop's settings) is found again instead of asked for anew.
constexpr const char *kSessionToken = "teclix_shortcuts";

} // namespace

std::unique_ptr<PortalShortcut> PortalShortcut::create(std::function<void()> on_bound) {
  sd_bus *bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    return nullptr;
  }
  if (!portal_version(bus, kGlobalShortcuts)) {
    sd_bus_unref(bus);
    return nullptr;
  }
  std::unique_ptr<PortalShortcut> self(new PortalShortcut(bus, std::move(on_bound)));
  sd_bus_match_signal(bus, &self->activated_slot_, kPortal, kPortalPath, kGlobalShortcuts,
                      "Activated", on_activated, self.get());
  self->requests_.send(
      kGlobalShortcuts, "CreateSession", [](sd_bus_message *) { return 0; },
      [](sd_bus_message *m) {
        return append_option(m, "session_handle_token", std::string(kSessionToken));
      },
      [raw = self.get()](unsigned response, sd_bus_message *m) {
        const PortalResults results = read_results(m);
        if (response != 0 || results.session_handle.empty()) {
          std::fprintf(stderr, "teclix: el portal no abrió la sesión de atajos (respuesta %u)\n",
                       response);
          return;
        }
        raw->session_ = results.session_handle;
        raw->list();
      });
  return self;
}

void PortalShortcut::list() {
  const bool sent = requests_.send(
      kGlobalShortcuts, "ListShortcuts",
      [this](sd_bus_message *m) { return sd_bus_message_append(m, "o", session_.c_str()); },
      [](sd_bus_message *) { return 0; },
      [this](unsigned response, sd_bus_message *m) {
        const PortalResults results = read_results(m);
        if (response == 0 && results.shortcuts.count(kShortcutId)) {
          // Bound on an earlier run: binding again would only send the user to
          // the desktop's settings.
          set_bound(true);
        } else {
          bind();
        }
      });
  if (!sent) {
    bind();
  }
}

void PortalShortcut::set_bound(bool bound) {
  bound_ = bound;
  std::fprintf(stderr, "teclix: atajo global del portal %s\n", bound_ ? "asignado" : "no asignado");
  if (bound_ && on_bound_) {
    on_bound_();
  }
}

PortalShortcut::~PortalShortcut() {
  if (!session_.empty()) {
    sd_bus_call_method(bus_, kPortal, session_.c_str(), "org.freedesktop.portal.Session", "Close",
                       nullptr, nullptr, "");
  }
  sd_bus_slot_unref(activated_slot_);
  sd_bus_flush_close_unref(bus_);
}

void PortalShortcut::bind() {
  requests_.send(
      kGlobalShortcuts, "BindShortcuts",
      [this](sd_bus_message *m) {
        // (o session, a(sa{sv}) shortcuts, s parent window), then the options.
        return sd_bus_message_append(m, "o", session_.c_str()) < 0 ||
                       sd_bus_message_open_container(m, 'a', "(sa{sv})") < 0 ||
                       sd_bus_message_open_container(m, 'r', "sa{sv}") < 0 ||
                       sd_bus_message_append(m, "s", kShortcutId) < 0 ||
                       sd_bus_message_open_container(m, 'a', "{sv}") < 0 ||
                       append_option(m, "description",
                                     std::string("Pegar el portapapeles tecleándolo (Teclix)")) <
                           0 ||
                       append_option(m, "preferred_trigger", std::string("F10")) < 0 ||
                       sd_bus_message_close_container(m) < 0 ||
                       sd_bus_message_close_container(m) < 0 ||
                       sd_bus_message_close_container(m) < 0 ||
                       sd_bus_message_append(m, "s", "") < 0
                   ? -1
                   : 0;
      },
      [](sd_bus_message *) { return 0; },
      [this](unsigned response, sd_bus_message *) { set_bound(response == 0); });
}

int PortalShortcut::fd() const {
  return sd_bus_get_fd(bus_);
}

bool PortalShortcut::dispatch() {
  int r;
  while ((r = sd_bus_process(bus_, nullptr)) > 0) {
  }
  if (r < 0 || sd_bus_is_open(bus_) <= 0) {
    lost_ = true;
    bound_ = false;
    return pressed_;
  }
  sd_bus_flush(bus_);
  return pressed_;
}

int PortalShortcut::on_activated(sd_bus_message *message, void *data, sd_bus_error *) {
  auto *self = static_cast<PortalShortcut *>(data);
  const char *session = nullptr, *id = nullptr;
  if (sd_bus_message_read(message, "os", &session, &id) >= 0 && session && id &&
      self->session_ == session && std::strcmp(id, kShortcutId) == 0) {
    self->pressed_ = true;
  }
  return 0;
}

} // namespace teclix::wayland
