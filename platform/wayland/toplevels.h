// The compositor's toplevel windows, where it lists them to its clients
// (wlroots compositors other than sway's own IPC: labwc and others): which one
// is active, its app_id and title.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>

struct wl_array;
struct wl_seat;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace teclix::wayland {

struct Toplevel {
  std::uint32_t id = 0; // this program's number for the window, never reused
  std::string app_id, title;
};

class Toplevels {
public:
  Toplevels(wl_registry *registry, std::uint32_t name, std::uint32_t version);
  ~Toplevels();
  Toplevels(const Toplevels &) = delete;
  Toplevels &operator=(const Toplevels &) = delete;

  // The active window, as of the events handled so far; nullopt when none is.
  std::optional<Toplevel> active() const;
  // Asks the compositor to activate the first window with this app_id; false
  // when none has it.
  bool activate(const std::string &app_id, wl_seat *seat);

  // The compositor's events (listener callbacks).
  static void on_toplevel(void *data, zwlr_foreign_toplevel_manager_v1 *,
                          zwlr_foreign_toplevel_handle_v1 *handle);
  static void on_title(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *title);
  static void on_app_id(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *app_id);
  static void on_state(void *data, zwlr_foreign_toplevel_handle_v1 *handle, wl_array *state);
  static void on_done(void *data, zwlr_foreign_toplevel_handle_v1 *handle);
  static void on_closed(void *data, zwlr_foreign_toplevel_handle_v1 *handle);

private:
  struct Window {
    zwlr_foreign_toplevel_handle_v1 *handle;
    Toplevel now, pending; // now: as of its last done
    bool active = false, pending_active = false;
  };
  Window *find(zwlr_foreign_toplevel_handle_v1 *handle);

  zwlr_foreign_toplevel_manager_v1 *manager_;
  std::list<Window> windows_;
  std::uint32_t next_id_ = 1;
};

} // namespace teclix::wayland
