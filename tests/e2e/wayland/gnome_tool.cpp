// What the GNOME tests need on the buses, as a person's desktop would have it:
//   gnome_tool locale1 LAYOUT  serves org.freedesktop.locale1 on the system bus
//                              ($DBUS_SYSTEM_BUS_ADDRESS), whose keyboard layout
//                              mutter takes for the seat
//   gnome_tool keys            a keyboard of mutter's own remote-desktop interface
//                              (which asks nothing), held while it runs: it prints
//                              "ready", then presses what each line of standard
//                              input names, "tap KEYSYM..." (hexadecimal keysyms,
//                              pressed in order and released in reverse), the
//                              person at the desk answering a dialog
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <systemd/sd-bus.h>

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
    std::fprintf(stderr, "gnome_tool: cannot serve locale1 on the system bus\n");
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

int press(sd_bus *bus, const std::string &session, unsigned keysym, bool down) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r =
      sd_bus_call_method(bus, kMutter, session.c_str(), "org.gnome.Mutter.RemoteDesktop.Session",
                         "NotifyKeyboardKeysym", &error, nullptr, "ub", keysym, down);
  if (r < 0) {
    std::fprintf(stderr, "gnome_tool: key 0x%x: %s\n", keysym, error.message);
  }
  sd_bus_error_free(&error);
  return r;
}

int keys() {
  sd_bus *bus = nullptr;
  sd_bus_message *reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const char *path = nullptr;
  if (sd_bus_open_user(&bus) < 0 ||
      sd_bus_call_method(bus, kMutter, "/org/gnome/Mutter/RemoteDesktop", kMutter, "CreateSession",
                         &error, &reply, "") < 0 ||
      sd_bus_message_read(reply, "o", &path) < 0) {
    std::fprintf(stderr, "gnome_tool: no remote-desktop session from mutter: %s\n",
                 error.message ? error.message : "");
    return 1;
  }
  const std::string session = path;
  sd_bus_message_unref(reply);
  if (sd_bus_call_method(bus, kMutter, session.c_str(), "org.gnome.Mutter.RemoteDesktop.Session",
                         "Start", &error, nullptr, "") < 0) {
    std::fprintf(stderr, "gnome_tool: the session did not start: %s\n", error.message);
    return 1;
  }
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
    if (verb != "tap") {
      continue;
    }
    for (unsigned sym : syms) {
      press(bus, session, sym, true);
    }
    for (auto it = syms.rbegin(); it != syms.rend(); ++it) {
      press(bus, session, *it, false);
    }
    std::printf("done %s\n", line.c_str());
    std::fflush(stdout);
  }
  sd_bus_call_method(bus, kMutter, session.c_str(), "org.gnome.Mutter.RemoteDesktop.Session",
                     "Stop", nullptr, nullptr, "");
  sd_bus_flush_close_unref(bus);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "locale1") == 0) {
    return serve_locale1(argv[2]);
  }
  if (argc == 2 && std::strcmp(argv[1], "keys") == 0) {
    return keys();
  }
  std::fprintf(stderr, "usage: gnome_tool locale1 LAYOUT | gnome_tool keys\n");
  return 2;
}
