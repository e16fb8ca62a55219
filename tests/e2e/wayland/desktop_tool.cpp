// What the desktop tests need on the buses, as a person's desktop would have it:
//   desktop_tool locale1 LAYOUT  serves org.freedesktop.locale1 on the system bus
//                                ($DBUS_SYSTEM_BUS_ADDRESS), whose keyboard layout
//                                mutter takes for the seat
//   desktop_tool mutter-keys     the person's hands: a keyboard of mutter's own
//                                remote-desktop interface (which asks nothing)
//   desktop_tool portal-keys     the same through the remote-desktop portal (on a
//                                desktop that lets it in without asking)
//   desktop_tool activate APP_ID the window with that app_id activated, as a
//                                task bar would (wlroots' list of windows)
//   desktop_tool active          prints the active window's app_id
// The hands are held while the tool runs: it prints "ready", then presses what
// each line of standard input names, "tap KEYSYM..." (hexadecimal keysyms,
// pressed in order and released in reverse; "press" and "release" do half),
// and prints "done" and the line.
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <systemd/sd-bus.h>

#include "platform/wayland/portal_request.h"
#include "platform/wayland/wayland_connection.h"

namespace {

std::string g_layout;

int layout_property(sd_bus *, const char *, const char *, const char *property,
                    sd_bus_message *reply, void *, sd_bus_error *) {
  const std::string name(property);
  return sd_bus_message_append(reply, "s", name == "X11Layout" ? g_layout.c_str() : "");
}

int locale_property(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply,
                    void *, sd_bus_error *) {
  return sd_bus_message_append(reply, "as", 1, "LANG=en_US.UTF-8");
}

const sd_bus_vtable kLocale1[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Locale", "as", locale_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("X11Layout", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("X11Model", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("X11Variant", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("X11Options", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("VConsoleKeymap", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("VConsoleKeymapToggle", "s", layout_property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

int serve_locale1(const char *layout) {
  g_layout = layout;
  sd_bus *bus = nullptr;
  if (sd_bus_open_system(&bus) < 0 ||
      sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/locale1", "org.freedesktop.locale1",
                               kLocale1, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.freedesktop.locale1", 0) < 0) {
    std::fprintf(stderr, "desktop_tool: cannot serve locale1 on the system bus\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  while (true) {
    int r;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (r < 0 || sd_bus_wait(bus, UINT64_MAX) < 0) {
      return 1;
    }
  }
}

constexpr const char *kMutter = "org.gnome.Mutter.RemoteDesktop";
using teclix::wayland::kPortal;
using teclix::wayland::kPortalPath;
constexpr const char *kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";

// Presses one key, by keysym, through a keyboard of the desktop's.
using Press = std::function<int(unsigned keysym, bool down)>;

// Prints "ready", then taps what each line of standard input names.
int tap_lines(const Press &press) {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string verb, word;
    std::vector<unsigned> syms;
    words >> verb;
    while (words >> word) {
      syms.push_back(static_cast<unsigned>(std::stoul(word, nullptr, 16)));
    }
    if (verb == "tap" || verb == "press") {
      for (unsigned sym : syms) {
        press(sym, true);
      }
    }
    if (verb == "tap" || verb == "release") {
      for (auto it = syms.rbegin(); it != syms.rend(); ++it) {
        press(*it, false);
      }
    }
    std::printf("done %s\n", line.c_str());
    std::fflush(stdout);
  }
  return 0;
}

int complain(const char *what, const sd_bus_error &error) {
  std::fprintf(stderr, "desktop_tool: %s: %s\n", what, error.message ? error.message : "");
  return -1;
}

int mutter_keys() {
  sd_bus *bus = nullptr;
  sd_bus_message *reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const char *path = nullptr;
  if (sd_bus_open_user(&bus) < 0 ||
      sd_bus_call_method(bus, kMutter, "/org/gnome/Mutter/RemoteDesktop", kMutter, "CreateSession",
                         &error, &reply, "") < 0 ||
      sd_bus_message_read(reply, "o", &path) < 0) {
    complain("no remote-desktop session from mutter", error);
    return 1;
  }
  const std::string session = path;
  sd_bus_message_unref(reply);
  const char *interface = "org.gnome.Mutter.RemoteDesktop.Session";
  if (sd_bus_call_method(bus, kMutter, session.c_str(), interface, "Start", &error, nullptr, "") <
      0) {
    complain("the session did not start", error);
    return 1;
  }
  tap_lines([&](unsigned sym, bool down) {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus, kMutter, session.c_str(), interface,
                                     "NotifyKeyboardKeysym", &e, nullptr, "ub", sym, down);
    if (r < 0) {
      complain("key", e);
    }
    sd_bus_error_free(&e);
    return r;
  });
  sd_bus_call_method(bus, kMutter, session.c_str(), interface, "Stop", nullptr, nullptr, "");
  sd_bus_flush_close_unref(bus);
  return 0;
}

// One request of the portal's, through the program's own request handling, waited
// for: the response's session handle ("" when it has none), nullopt when it failed.
std::optional<std::string> portal_request(sd_bus *bus, teclix::wayland::PortalRequests &requests,
                                          const char *method, const std::string &session) {
  bool came = false;
  std::optional<std::string> handle;
  const bool sent = requests.send(
      kRemoteDesktop, method,
      [&](sd_bus_message *m) {
        return session.empty() ? 0
               : std::string(method) == "Start"
                   ? sd_bus_message_append(m, "os", session.c_str(), "")
                   : sd_bus_message_append(m, "o", session.c_str());
      },
      [](sd_bus_message *m) {
        return teclix::wayland::append_option(m, "session_handle_token", "hands") < 0
                   ? -1
                   : teclix::wayland::append_option(m, "types", 1u);
      },
      [&](unsigned response, sd_bus_message *m) {
        came = true;
        if (response == 0) {
          handle = teclix::wayland::read_results(m).session_handle;
        }
      });
  for (int i = 0; sent && !came && i < 100; ++i) {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
    if (!came) {
      sd_bus_wait(bus, 100'000);
    }
  }
  if (!handle) {
    std::fprintf(stderr, "desktop_tool: %s was not granted\n", method);
  }
  return handle;
}

int portal_keys() {
  sd_bus *bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    return 1;
  }
  teclix::wayland::PortalRequests requests(bus);
  const std::optional<std::string> session = portal_request(bus, requests, "CreateSession", "");
  if (!session || !portal_request(bus, requests, "SelectDevices", *session) ||
      !portal_request(bus, requests, "Start", *session)) {
    return 1;
  }
  tap_lines([&](unsigned sym, bool down) {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus, kPortal, kPortalPath, kRemoteDesktop,
                                     "NotifyKeyboardKeysym", &e, nullptr, "oa{sv}iu",
                                     session->c_str(), 0, static_cast<int>(sym), down ? 1u : 0u);
    if (r < 0) {
      complain("key", e);
    }
    sd_bus_error_free(&e);
    return r;
  });
  sd_bus_call_method(bus, kPortal, session->c_str(), "org.freedesktop.portal.Session", "Close",
                     nullptr, nullptr, "");
  sd_bus_flush_close_unref(bus);
  return 0;
}

} // namespace

// Activates the window with this app_id, as a task bar would.
int activate(const char *app_id) {
  auto connection = teclix::wayland::Connection::open();
  if (!connection || !connection->toplevels() || !connection->roundtrip() ||
      !connection->toplevels()->activate(app_id, connection->seat()) || !connection->roundtrip()) {
    std::fprintf(stderr, "desktop_tool: no window %s to activate\n", app_id);
    return 1;
  }
  return 0;
}

// Prints the active window's app_id.
int active() {
  auto connection = teclix::wayland::Connection::open();
  if (!connection || !connection->toplevels() || !connection->roundtrip()) {
    return 1;
  }
  const auto window = connection->toplevels()->active();
  std::printf("%s\n", window ? window->app_id.c_str() : "");
  return window ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "activate") == 0) {
    return activate(argv[2]);
  }
  if (argc == 2 && std::strcmp(argv[1], "active") == 0) {
    return active();
  }
  if (argc == 3 && std::strcmp(argv[1], "locale1") == 0) {
    return serve_locale1(argv[2]);
  }
  if (argc == 2 && std::strcmp(argv[1], "mutter-keys") == 0) {
    return mutter_keys();
  }
  if (argc == 2 && std::strcmp(argv[1], "portal-keys") == 0) {
    return portal_keys();
  }
  std::fprintf(stderr, "usage: desktop_tool locale1 LAYOUT | mutter-keys | portal-keys | activate "
                       "APP_ID | active\n");
  return 2;
}
