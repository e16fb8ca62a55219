#include "platform/wayland/wayland_clipboard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <wayland-client.h>

#include "platform/xkb/selection_transfer.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace teclix::wayland {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// As for X11: a silent owner is waited for this long between pieces, a text
// sent in pieces no longer than the limit.
constexpr auto kClipboardWait = 1s;
constexpr auto kTransferLimit = 10s;

const zwlr_data_control_device_v1_listener kDeviceListener = {
    DataControlClipboard::on_data_offer,
    DataControlClipboard::on_selection,
    DataControlClipboard::on_finished,
    DataControlClipboard::on_primary_selection,
};

const zwlr_data_control_offer_v1_listener kOfferListener = {
    DataControlClipboard::on_offer,
};

// The text forms, best first, and how each is encoded.
struct TextForm {
  const char *mime_type;
  xkb::SelectionEncoding encoding;
};
constexpr TextForm kTextForms[] = {
    {"text/plain;charset=utf-8", xkb::SelectionEncoding::kUtf8},
    {"UTF8_STRING", xkb::SelectionEncoding::kUtf8},
    {"text/plain", xkb::SelectionEncoding::kUtf8},
    {"STRING", xkb::SelectionEncoding::kLatin1},
    {"TEXT", xkb::SelectionEncoding::kLatin1},
};

int milliseconds_until(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::max<long long>(left, 0));
}

} // namespace

std::unique_ptr<DataControlClipboard> DataControlClipboard::create(Connection &connection) {
  if (!connection.data_control() || !connection.seat()) {
    return nullptr;
  }
  zwlr_data_control_device_v1 *device =
      zwlr_data_control_manager_v1_get_data_device(connection.data_control(), connection.seat());
  std::unique_ptr<DataControlClipboard> self(new DataControlClipboard(connection, device));
  zwlr_data_control_device_v1_add_listener(device, &kDeviceListener, self.get());
  connection.roundtrip(); // the selection as it is now
  return self;
}

DataControlClipboard::DataControlClipboard(Connection &connection,
                                           zwlr_data_control_device_v1 *device)
    : connection_(connection), device_(device) {}

DataControlClipboard::~DataControlClipboard() {
  for (auto &[offer, types] : offers_) {
    zwlr_data_control_offer_v1_destroy(offer);
  }
  if (device_) {
    zwlr_data_control_device_v1_destroy(device_);
  }
}

void DataControlClipboard::forget(zwlr_data_control_offer_v1 *offer) {
  if (offer && offers_.erase(offer) > 0) {
    zwlr_data_control_offer_v1_destroy(offer);
  }
}

void DataControlClipboard::on_data_offer(void *data, zwlr_data_control_device_v1 *,
                                         zwlr_data_control_offer_v1 *offer) {
  auto *self = static_cast<DataControlClipboard *>(data);
  self->offers_[offer];
  zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, self);
}

void DataControlClipboard::on_offer(void *data, zwlr_data_control_offer_v1 *offer,
                                    const char *mime_type) {
  auto *self = static_cast<DataControlClipboard *>(data);
  if (const auto found = self->offers_.find(offer); found != self->offers_.end()) {
    found->second.emplace_back(mime_type);
  }
}

void DataControlClipboard::on_selection(void *data, zwlr_data_control_device_v1 *,
                                        zwlr_data_control_offer_v1 *offer) {
  auto *self = static_cast<DataControlClipboard *>(data);
  if (self->selection_ != offer) {
    self->forget(self->selection_);
  }
  self->selection_ = offer;
}

void DataControlClipboard::on_primary_selection(void *data, zwlr_data_control_device_v1 *,
                                                zwlr_data_control_offer_v1 *offer) {
  // Only the clipboard is pasted; the primary selection's offers go at once.
  auto *self = static_cast<DataControlClipboard *>(data);
  if (offer != self->selection_) {
    self->forget(offer);
  }
}

void DataControlClipboard::on_finished(void *data, zwlr_data_control_device_v1 *device) {
  auto *self = static_cast<DataControlClipboard *>(data);
  zwlr_data_control_device_v1_destroy(device);
  self->device_ = nullptr;
  self->forget(self->selection_);
  self->selection_ = nullptr;
}

std::optional<std::u16string> DataControlClipboard::clipboard_text() {
  connection_.roundtrip(); // every change of the selection up to now
  read_nothing_ = true;
  if (!selection_) {
    return std::nullopt;
  }
  const std::vector<std::string> &types = offers_[selection_];
  const TextForm *form = nullptr;
  for (const TextForm &candidate : kTextForms) {
    if (std::find(types.begin(), types.end(), candidate.mime_type) != types.end()) {
      form = &candidate;
      break;
    }
  }
  if (!form) {
    return std::nullopt; // no text in it, or no form it could be read in
  }
  read_nothing_ = false;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  zwlr_data_control_offer_v1_receive(selection_, form->mime_type, pipe_fds[1]);
  connection_.flush();
  close(pipe_fds[1]);
  xkb::SelectionTransfer transfer(form->encoding);
  transfer.start(true, 8, {});
  const auto give_up = Clock::now() + kTransferLimit;
  char buffer[65536];
  while (transfer.state() == xkb::SelectionTransfer::State::kReceiving) {
    pollfd p{pipe_fds[0], POLLIN, 0};
    const auto until = std::min(give_up, Clock::now() + kClipboardWait);
    if (poll(&p, 1, milliseconds_until(until)) <= 0) {
      std::fprintf(stderr, "teclix: el dueño del portapapeles no contesta\n");
      read_nothing_ = true;
      break;
    }
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n < 0) {
      break;
    }
    transfer.add_piece(8, std::string_view(buffer, static_cast<std::size_t>(n)));
  }
  close(pipe_fds[0]);
  if (transfer.state() != xkb::SelectionTransfer::State::kDone) {
    return std::nullopt;
  }
  return transfer.text();
}

} // namespace teclix::wayland
