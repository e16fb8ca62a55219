// Reading the clipboard of a Wayland seat through data control, which needs no
// window with the focus: every wait on the owner is bounded.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wayland/wayland_connection.h"

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;

namespace teclix::wayland {

class DataControlClipboard : public ClipboardService {
public:
  // nullptr when the compositor does not offer data control.
  static std::unique_ptr<DataControlClipboard> create(Connection &connection);
  ~DataControlClipboard() override;

  // The selection's text (UTF-8, or Latin-1 where only that is offered);
  // nullopt when there is none, no text in it, or its owner does not answer.
  std::optional<std::u16string> clipboard_text() override;
  // Whether the last read found no selection, one none of whose forms is a
  // text form known here, or an owner that did not answer: Xwayland may still
  // have it (KWin 5.27 names the forms of some selections in garbled bytes,
  // shows no selection an X11 program owns, or passes on one it cannot serve).
  bool read_nothing() const { return read_nothing_; }

  // The compositor's events (listener callbacks).
  static void on_data_offer(void *data, zwlr_data_control_device_v1 *device,
                            zwlr_data_control_offer_v1 *offer);
  static void on_selection(void *data, zwlr_data_control_device_v1 *device,
                           zwlr_data_control_offer_v1 *offer);
  static void on_primary_selection(void *data, zwlr_data_control_device_v1 *device,
                                   zwlr_data_control_offer_v1 *offer);
  static void on_finished(void *data, zwlr_data_control_device_v1 *device);
  static void on_offer(void *data, zwlr_data_control_offer_v1 *offer, const char *mime_type);

private:
  DataControlClipboard(Connection &connection, zwlr_data_control_device_v1 *device);
  void forget(zwlr_data_control_offer_v1 *offer);

  Connection &connection_;
  zwlr_data_control_device_v1 *device_;
  std::map<zwlr_data_control_offer_v1 *, std::vector<std::string>> offers_;
  zwlr_data_control_offer_v1 *selection_ = nullptr;
  bool read_nothing_ = false;
};

} // namespace teclix::wayland
