// Requests of the desktop portal (xdg-desktop-portal) over the session bus:
// each call is answered by a Response signal on a request object whose path
// the call's handle token makes known in advance.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

#include <systemd/sd-bus.h>

namespace teclix::wayland {

inline constexpr const char *kPortal = "org.freedesktop.portal.Desktop";
inline constexpr const char *kPortalPath = "/org/freedesktop/portal/desktop";

// Appends one entry to an open a{sv}.
int append_option(sd_bus_message *m, const char *key, const std::string &value);
int append_option(sd_bus_message *m, const char *key, unsigned value);

// What Teclix reads of a response's results.
struct PortalResults {
  std::string session_handle, restore_token;
  std::optional<unsigned> devices;
  std::set<std::string> shortcuts; // the ids of "shortcuts", a(sa{sv})
};
PortalResults read_results(sd_bus_message *m);

class PortalRequests {
public:
  using Append = std::function<int(sd_bus_message *)>;
  using Answer = std::function<void(unsigned response, sd_bus_message *results)>;

  explicit PortalRequests(sd_bus *bus) : bus_(bus) {}
  ~PortalRequests();
  PortalRequests(const PortalRequests &) = delete;
  PortalRequests &operator=(const PortalRequests &) = delete;

  // Calls interface.method with the arguments args appends and an a{sv} of the
  // entries options appends, a handle token added; answer hears the response
  // (one request at a time). False, with the reason on standard error, when the
  // call itself failed.
  bool send(const char *interface, const char *method, const Append &args, const Append &options,
            Answer answer);
  // A token no other request or session of this program has used.
  std::string new_token();

  static int on_response(sd_bus_message *message, void *data, sd_bus_error *error);

private:
  sd_bus *bus_;
  sd_bus_slot *slot_ = nullptr;
  Answer answer_;
  unsigned tokens_ = 0;
};

// Whether the portal offers an interface of at least version 1: its version.
std::optional<unsigned> portal_version(sd_bus *bus, const char *interface);

} // namespace teclix::wayland
