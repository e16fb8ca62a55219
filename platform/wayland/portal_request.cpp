#include "platform/wayland/portal_request.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unistd.h>

namespace teclix::wayland {

namespace {

constexpr std::uint64_t kCallTimeoutUs = 5'000'000;

struct BusMessage {
  sd_bus_message *m = nullptr;
  ~BusMessage() { sd_bus_message_unref(m); }
};

// The ids of a variant a(sa{sv}) of shortcuts, each with its properties.
void read_shortcut_ids(sd_bus_message *m, std::set<std::string> &ids) {
  if (sd_bus_message_enter_container(m, 'v', "a(sa{sv})") <= 0) {
    return;
  }
  if (sd_bus_message_enter_container(m, 'a', "(sa{sv})") > 0) {
    while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
      const char *id = nullptr;
      if (sd_bus_message_read(m, "s", &id) >= 0 && id) {
        ids.insert(id);
      }
      sd_bus_message_skip(m, "a{sv}");
      sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
}

} // namespace

int append_option(sd_bus_message *m, const char *key, const std::string &value) {
  return sd_bus_message_append(m, "{sv}", key, "s", value.c_str());
}

int append_option(sd_bus_message *m, const char *key, unsigned value) {
  return sd_bus_message_append(m, "{sv}", key, "u", value);
}

PortalResults read_results(sd_bus_message *m) {
  PortalResults results;
  if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) {
    return results;
  }
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char *key = nullptr;
    char type = 0;
    const char *contents = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0 ||
        sd_bus_message_peek_type(m, &type, &contents) < 0) {
      break;
    }
    const std::string_view name(key ? key : "");
    const std::string_view kind(contents ? contents : "");
    if ((kind == "s" || kind == "o") && (name == "session_handle" || name == "restore_token")) {
      const char *value = nullptr;
      sd_bus_message_read(m, "v", contents, &value);
      (name == "session_handle" ? results.session_handle : results.restore_token) =
          value ? value : "";
    } else if (kind == "a(sa{sv})" && name == "shortcuts") {
      read_shortcut_ids(m, results.shortcuts);
    } else if (kind == "u" && name == "devices") {
      unsigned value = 0;
      sd_bus_message_read(m, "v", "u", &value);
      results.devices = value;
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  return results;
}

PortalRequests::~PortalRequests() {
  sd_bus_slot_unref(slot_);
}

std::string PortalRequests::new_token() {
  return "teclix" + std::to_string(getpid()) + "_" + std::to_string(++tokens_);
}

int PortalRequests::on_response(sd_bus_message *message, void *data, sd_bus_error *) {
  auto *self = static_cast<PortalRequests *>(data);
  unsigned response = 2;
  sd_bus_message_read(message, "u", &response);
  Answer answer = std::move(self->answer_);
  self->answer_ = nullptr;
  sd_bus_slot_unref(self->slot_);
  self->slot_ = nullptr;
  if (answer) {
    answer(response, message);
  }
  return 0;
}

bool PortalRequests::send(const char *interface, const char *method, const Append &args,
                          const Append &options, Answer answer) {
  // Listen where the answer will come before asking.
  const char *unique = nullptr;
  sd_bus_get_unique_name(bus_, &unique);
  std::string sender = unique ? unique + 1 : "";
  for (char &c : sender) {
    c = c == '.' ? '_' : c;
  }
  const std::string token = new_token();
  const std::string path = std::string(kPortalPath) + "/request/" + sender + "/" + token;
  sd_bus_slot_unref(slot_);
  slot_ = nullptr;
  if (sd_bus_match_signal(bus_, &slot_, kPortal, path.c_str(), "org.freedesktop.portal.Request",
                          "Response", on_response, this) < 0) {
    return false;
  }
  answer_ = std::move(answer);
  BusMessage call, reply;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const bool sent =
      sd_bus_message_new_method_call(bus_, &call.m, kPortal, kPortalPath, interface, method) >= 0 &&
      args(call.m) >= 0 && sd_bus_message_open_container(call.m, 'a', "{sv}") >= 0 &&
      append_option(call.m, "handle_token", token) >= 0 && options(call.m) >= 0 &&
      sd_bus_message_close_container(call.m) >= 0 &&
      sd_bus_call(bus_, call.m, kCallTimeoutUs, &error, &reply.m) >= 0;
  if (!sent) {
    std::fprintf(stderr, "teclix: el portal no aceptó %s: %s\n", method,
                 error.message ? error.message : "sin respuesta");
    answer_ = nullptr;
  }
  sd_bus_error_free(&error);
  return sent;
}

std::optional<unsigned> portal_version(sd_bus *bus, const char *interface) {
  unsigned version = 0;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  const int r = sd_bus_get_property_trivial(bus, kPortal, kPortalPath, interface, "version", &error,
                                            'u', &version);
  sd_bus_error_free(&error);
  if (r < 0 || version == 0) {
    return std::nullopt;
  }
  return version;
}

} // namespace teclix::wayland
