#include "platform/wayland/toplevels.h"

#include <algorithm>

#include <wayland-client.h>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace teclix::wayland {

namespace {

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {
    Toplevels::on_toplevel, [](void *, zwlr_foreign_toplevel_manager_v1 *) {}, // finished
};

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {
    Toplevels::on_title,
    Toplevels::on_app_id,
    [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {}, // output_enter
    [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {}, // output_leave
    Toplevels::on_state,
    Toplevels::on_done,
    Toplevels::on_closed,
};

} // namespace

Toplevels::Toplevels(wl_registry *registry, std::uint32_t name, std::uint32_t version)
    : manager_(static_cast<zwlr_foreign_toplevel_manager_v1 *>(wl_registry_bind(
          registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, 2u)))) {
  zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &kManagerListener, this);
}

Toplevels::~Toplevels() {
  for (Window &window : windows_) {
    zwlr_foreign_toplevel_handle_v1_destroy(window.handle);
  }
  zwlr_foreign_toplevel_manager_v1_destroy(manager_);
}

std::optional<Toplevel> Toplevels::active() const {
  for (const Window &window : windows_) {
    if (window.active) {
      return window.now;
    }
  }
  return std::nullopt;
}

bool Toplevels::activate(const std::string &app_id, wl_seat *seat) {
  for (Window &window : windows_) {
    if (window.now.app_id == app_id) {
      zwlr_foreign_toplevel_handle_v1_activate(window.handle, seat);
      return true;
    }
  }
  return false;
}

Toplevels::Window *Toplevels::find(zwlr_foreign_toplevel_handle_v1 *handle) {
  for (Window &window : windows_) {
    if (window.handle == handle) {
      return &window;
    }
  }
  return nullptr;
}

void Toplevels::on_toplevel(void *data, zwlr_foreign_toplevel_manager_v1 *,
                            zwlr_foreign_toplevel_handle_v1 *handle) {
  auto *self = static_cast<Toplevels *>(data);
  Window &window = self->windows_.emplace_back(Window{handle, {}, {}});
  window.now.id = window.pending.id = self->next_id_++;
  zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, self);
}

void Toplevels::on_title(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *title) {
  if (Window *window = static_cast<Toplevels *>(data)->find(handle)) {
    window->pending.title = title;
  }
}

void Toplevels::on_app_id(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *app_id) {
  if (Window *window = static_cast<Toplevels *>(data)->find(handle)) {
    window->pending.app_id = app_id;
  }
}

void Toplevels::on_state(void *data, zwlr_foreign_toplevel_handle_v1 *handle, wl_array *state) {
  if (Window *window = static_cast<Toplevels *>(data)->find(handle)) {
    const auto *values = static_cast<const std::uint32_t *>(state->data);
    const std::size_t count = state->size / sizeof(std::uint32_t);
    window->pending_active =
        std::find(values, values + count, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) !=
        values + count;
  }
}

void Toplevels::on_done(void *data, zwlr_foreign_toplevel_handle_v1 *handle) {
  if (Window *window = static_cast<Toplevels *>(data)->find(handle)) {
    window->now = window->pending;
    window->active = window->pending_active;
  }
}

void Toplevels::on_closed(void *data, zwlr_foreign_toplevel_handle_v1 *handle) {
  auto *self = static_cast<Toplevels *>(data);
  self->windows_.remove_if([handle](const Window &window) { return window.handle == handle; });
  zwlr_foreign_toplevel_handle_v1_destroy(handle);
}

} // namespace teclix::wayland
