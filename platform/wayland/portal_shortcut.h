// F10 through the desktop portal's global shortcuts
// (org.freedesktop.portal.GlobalShortcuts), where a desktop offers them: one
// session while the window is open, one shortcut, "paste", with F10 as the
// trigger Teclix asks for (the desktop may let the user choose another).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/wayland/portal_request.h"

namespace teclix::wayland {

class PortalShortcut {
public:
  // nullptr when the session bus has no global-shortcuts portal. The shortcut
  // is asked for at once; on_bound hears when the desktop has bound it.
  static std::unique_ptr<PortalShortcut> create(std::function<void()> on_bound);
  ~PortalShortcut();
  PortalShortcut(const PortalShortcut &) = delete;
  PortalShortcut &operator=(const PortalShortcut &) = delete;

  // Whether the desktop bound the shortcut.
  bool bound() const { return bound_; }
  int fd() const;
  // Handles what came on the bus; true when the shortcut was pressed since.
  bool dispatch();
  // Whether the bus has gone (its descriptor is to be watched no more).
  bool lost() const { return lost_; }
  // Whether it was pressed since the last call.
  bool take() {
    const bool pressed = pressed_;
    pressed_ = false;
    return pressed;
  }

  static int on_activated(sd_bus_message *message, void *data, sd_bus_error *error);

private:
  PortalShortcut(sd_bus *bus, std::function<void()> on_bound)
      : bus_(bus), requests_(bus), on_bound_(std::move(on_bound)) {}
  // The shortcuts the desktop keeps for this session's name, then a bind when
  // "paste" is not among them.
  void list();
  void bind();
  void set_bound(bool bound);

  sd_bus *bus_;
  PortalRequests requests_;
  std::function<void()> on_bound_;
  sd_bus_slot *activated_slot_ = nullptr;
  std::string session_;
  bool bound_ = false;
  bool pressed_ = false;
  bool lost_ = false;
};

} // namespace teclix::wayland
