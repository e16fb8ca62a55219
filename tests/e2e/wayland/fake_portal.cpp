// A stand-in for the desktop portal's remote-desktop interface on a session bus,
// for the cases a real desktop cannot be made to show here (version 2 with its
// restore token; a user who refuses). It owns org.freedesktop.portal.Desktop,
// answers each request as a portal does (a Response signal on the request's
// object), and writes every call it gets to standard output, one a line:
//   CreateSession, SelectDevices types=1 persist_mode=2 restore_token=T,
//   Start, key KEYCODE STATE, keysym KEYSYM STATE, Close
// With --shortcuts it offers global shortcuts too (ShortcutsSession token=T,
// ListShortcuts, BindShortcuts ID TRIGGER), and SIGUSR1 presses the bound one. With
// --reject-token SelectDevices fails, as xdg-desktop-portal's does, for a
// restore token that is no UUID.
// With --hang-after N it answers N key events, then nothing more. With
// --eis-closed it hands out an emulated-input socket (ConnectToEIS) whose server
// end is closed at once, as a server that refuses the program.
//   fake_portal [--refuse] [--version N] [--shortcuts] [--reject-token] [--hang-after N]
//               [--eis-closed]
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include <systemd/sd-bus.h>

namespace {

bool g_refuse = false;
bool g_reject_token = false;
int g_hang_after = 0; // key events answered before it answers nothing more
bool g_shortcuts = false;
bool g_eis_closed = false;
std::string g_shortcut_session, g_shortcut_id;
int g_press_pipe[2] = {-1, -1};
unsigned g_version = 2;
unsigned g_sessions = 0;

void say(const std::string &line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The options a{sv}: strings and numbers as text.
std::map<std::string, std::string> read_options(sd_bus_message *m) {
  std::map<std::string, std::string> options;
  sd_bus_message_enter_container(m, 'a', "{sv}");
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char *key = nullptr;
    const char *contents = nullptr;
    char type = 0;
    sd_bus_message_read(m, "s", &key);
    sd_bus_message_peek_type(m, &type, &contents);
    if (std::strcmp(contents, "s") == 0 || std::strcmp(contents, "o") == 0) {
      const char *value = nullptr;
      sd_bus_message_read(m, "v", contents, &value);
      options[key] = value;
    } else if (std::strcmp(contents, "u") == 0) {
      unsigned value = 0;
      sd_bus_message_read(m, "v", "u", &value);
      options[key] = std::to_string(value);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  return options;
}

std::string request_path(sd_bus_message *m, const std::string &token) {
  std::string sender = sd_bus_message_get_sender(m) + 1;
  for (char &c : sender) {
    c = c == '.' ? '_' : c;
  }
  return "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
}

// Answers the call with the request's path, then sends its Response.
int respond(sd_bus_message *m, const std::string &token, unsigned response,
            const std::map<std::string, std::string> &strings, const char *number_key = nullptr,
            unsigned number = 0) {
  const std::string path = request_path(m, token);
  sd_bus_reply_method_return(m, "o", path.c_str());
  sd_bus *bus = sd_bus_message_get_bus(m);
  sd_bus_message *signal = nullptr;
  sd_bus_message_new_signal(bus, &signal, path.c_str(), "org.freedesktop.portal.Request",
                            "Response");
  sd_bus_message_append(signal, "u", response);
  sd_bus_message_open_container(signal, 'a', "{sv}");
  for (const auto &[key, value] : strings) {
    sd_bus_message_append(signal, "{sv}", key.c_str(), "s", value.c_str());
  }
  if (number_key) {
    sd_bus_message_append(signal, "{sv}", number_key, "u", number);
  }
  sd_bus_message_close_container(signal);
  sd_bus_send(bus, signal, nullptr);
  sd_bus_message_unref(signal);
  return 1;
}

int create_session(sd_bus_message *m, void *, sd_bus_error *) {
  const auto options = read_options(m);
  say("CreateSession");
  const std::string session =
      "/org/freedesktop/portal/desktop/session/fake/s" + std::to_string(++g_sessions);
  return respond(m, options.at("handle_token"), 0, {{"session_handle", session}});
}

int select_devices(sd_bus_message *m, void *, sd_bus_error *error) {
  const char *session = nullptr;
  sd_bus_message_read(m, "o", &session);
  auto options = read_options(m);
  std::string line = "SelectDevices";
  for (const char *key : {"types", "persist_mode", "restore_token"}) {
    if (options.count(key)) {
      line += std::string(" ") + key + "=" + options[key];
    }
  }
  say(line);
  if (g_reject_token && options.count("restore_token")) {
    return sd_bus_error_set(error, "org.freedesktop.portal.Error.InvalidArgument",
                            "Restore token is not a valid UUID string");
  }
  return respond(m, options.at("handle_token"), 0, {});
}

int start(sd_bus_message *m, void *, sd_bus_error *) {
  const char *session = nullptr, *parent = nullptr;
  sd_bus_message_read(m, "os", &session, &parent);
  const auto options = read_options(m);
  say(g_refuse ? "Start refused" : "Start");
  if (g_refuse) {
    return respond(m, options.at("handle_token"), 1, {});
  }
  std::map<std::string, std::string> results;
  if (g_version >= 2) {
    results["restore_token"] = "token-" + std::to_string(g_sessions);
  }
  return respond(m, options.at("handle_token"), 0, results, "devices", 1);
}

int notify(sd_bus_message *m, const char *what) {
  const char *session = nullptr;
  int code = 0;
  unsigned state = 0;
  sd_bus_message_read(m, "o", &session);
  read_options(m);
  sd_bus_message_read(m, "iu", &code, &state);
  say(std::string(what) + " " + std::to_string(code) + " " + std::to_string(state));
  if (g_hang_after > 0 && --g_hang_after == 0) {
    say("hung");
    while (true) { // answers nothing more, as a portal stuck on a dialog of its own
      sleep(1000);
    }
  }
  return sd_bus_reply_method_return(m, "");
}
int notify_keycode(sd_bus_message *m, void *, sd_bus_error *) {
  return notify(m, "key");
}
int notify_keysym(sd_bus_message *m, void *, sd_bus_error *) {
  return notify(m, "keysym");
}

int connect_to_eis(sd_bus_message *m, void *, sd_bus_error *error) {
  if (!g_eis_closed) {
    return sd_bus_error_set(error, SD_BUS_ERROR_UNKNOWN_METHOD, "no emulated input here");
  }
  say("ConnectToEIS");
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) < 0) {
    return -errno;
  }
  close(ends[1]);
  const int r = sd_bus_reply_method_return(m, "h", ends[0]);
  close(ends[0]);
  return r;
}

int shortcuts_session(sd_bus_message *m, void *, sd_bus_error *) {
  auto options = read_options(m);
  say("ShortcutsSession token=" + options["session_handle_token"]);
  g_shortcut_session = "/org/freedesktop/portal/desktop/session/fake/shortcuts";
  return respond(m, options.at("handle_token"), 0, {{"session_handle", g_shortcut_session}});
}

// (o session, a(sa{sv}) shortcuts, s parent, a{sv} options)
int bind_shortcuts(sd_bus_message *m, void *, sd_bus_error *) {
  const char *session = nullptr;
  sd_bus_message_read(m, "o", &session);
  std::string line = "BindShortcuts";
  sd_bus_message_enter_container(m, 'a', "(sa{sv})");
  while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
    const char *id = nullptr;
    sd_bus_message_read(m, "s", &id);
    auto options = read_options(m);
    line += std::string(" ") + id + " " + options["preferred_trigger"];
    g_shortcut_id = id;
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  const char *parent = nullptr;
  sd_bus_message_read(m, "s", &parent);
  const auto options = read_options(m);
  say(line);
  return respond(m, options.at("handle_token"), 0, {});
}

// Nothing was bound before: this stand-in keeps no shortcuts from one run to the next.
int list_shortcuts(sd_bus_message *m, void *, sd_bus_error *) {
  const char *session = nullptr;
  sd_bus_message_read(m, "o", &session);
  const auto options = read_options(m);
  say("ListShortcuts");
  return respond(m, options.at("handle_token"), 0, {});
}

void on_press_signal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_press_pipe[1], &byte, 1);
}

int close_session(sd_bus_message *m, void *, sd_bus_error *) {
  say("Close");
  return sd_bus_reply_method_return(m, "");
}

int get_version(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
                sd_bus_error *) {
  return sd_bus_message_append(reply, "u", g_version);
}
int get_types(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply, void *,
              sd_bus_error *) {
  return sd_bus_message_append(reply, "u", 1u);
}

int get_shortcuts_version(sd_bus *, const char *, const char *, const char *, sd_bus_message *reply,
                          void *, sd_bus_error *) {
  return sd_bus_message_append(reply, "u", 1u);
}

const sd_bus_vtable kRemoteDesktop[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", create_session, 0),
    SD_BUS_METHOD("SelectDevices", "oa{sv}", "o", select_devices, 0),
    SD_BUS_METHOD("Start", "osa{sv}", "o", start, 0),
    SD_BUS_METHOD("NotifyKeyboardKeycode", "oa{sv}iu", "", notify_keycode, 0),
    SD_BUS_METHOD("NotifyKeyboardKeysym", "oa{sv}iu", "", notify_keysym, 0),
    SD_BUS_METHOD("ConnectToEIS", "oa{sv}", "h", connect_to_eis, 0),
    SD_BUS_PROPERTY("version", "u", get_version, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AvailableDeviceTypes", "u", get_types, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kGlobalShortcuts[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", shortcuts_session, 0),
    SD_BUS_METHOD("ListShortcuts", "oa{sv}", "o", list_shortcuts, 0),
    SD_BUS_METHOD("BindShortcuts", "oa(sa{sv})sa{sv}", "o", bind_shortcuts, 0),
    SD_BUS_PROPERTY("version", "u", get_shortcuts_version, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_SIGNAL("Activated", "osta{sv}", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kSession[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", close_session, 0),
    SD_BUS_VTABLE_END,
};

} // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--refuse") == 0) {
      g_refuse = true;
    } else if (std::strcmp(argv[i], "--hang-after") == 0 && i + 1 < argc) {
      g_hang_after = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--reject-token") == 0) {
      g_reject_token = true;
    } else if (std::strcmp(argv[i], "--eis-closed") == 0) {
      g_eis_closed = true;
    } else if (std::strcmp(argv[i], "--shortcuts") == 0) {
      g_shortcuts = true;
    } else if (std::strcmp(argv[i], "--version") == 0 && i + 1 < argc) {
      g_version = static_cast<unsigned>(std::atoi(argv[++i]));
    }
  }
  sd_bus *bus = nullptr;
  if (sd_bus_open_user(&bus) < 0 ||
      sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                               "org.freedesktop.portal.RemoteDesktop", kRemoteDesktop,
                               nullptr) < 0 ||
      sd_bus_add_fallback_vtable(bus, nullptr, "/org/freedesktop/portal/desktop/session",
                                 "org.freedesktop.portal.Session", kSession, nullptr,
                                 nullptr) < 0 ||
      (g_shortcuts && sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                                               "org.freedesktop.portal.GlobalShortcuts",
                                               kGlobalShortcuts, nullptr) < 0) ||
      sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) < 0) {
    std::fprintf(stderr, "fake_portal: cannot serve on the session bus\n");
    return 1;
  }
  if (pipe2(g_press_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    return 1;
  }
  std::signal(SIGUSR1, on_press_signal);
  say("ready");
  while (true) {
    int r;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (r < 0) {
      return 1;
    }
    sd_bus_flush(bus);
    pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                     {g_press_pipe[0], POLLIN, 0}};
    poll(fds, 2, 1000);
    char byte;
    if ((fds[1].revents & POLLIN) && read(g_press_pipe[0], &byte, 1) == 1 &&
        !g_shortcut_session.empty()) {
      say("press " + g_shortcut_id);
      sd_bus_emit_signal(bus, "/org/freedesktop/portal/desktop",
                         "org.freedesktop.portal.GlobalShortcuts", "Activated", "osta{sv}",
                         g_shortcut_session.c_str(), g_shortcut_id.c_str(), uint64_t{0}, 0);
    }
  }
}
