// Text handed to the focused window as the seat's input method would hand it,
// where the compositor has input methods (wlroots) and the window takes text
// from one and says what text surrounds its cursor: after each piece of text
// the window reports its text again, and the next piece goes once the text
// before its cursor ends with this one, so the paste goes at the window's pace
// and a busy window is never sent more than one piece ahead. A window that does
// not say its text (foot) cannot show it has a piece: it gets keys.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/wayland/wayland_connection.h"

struct zwp_input_method_v2;

namespace teclix::wayland {

class InputMethod {
public:
  // The most text a piece may carry, in bytes (a Wayland message's limit).
  static constexpr std::size_t kMaxPiece = 4000;
  // How long the focused window is given to say it takes text from an input
  // method, and to confirm an empty piece (a GTK entry: a few milliseconds).
  static constexpr std::chrono::milliseconds kActivateWait{100};
  // How long a window that has not applied a piece is waited for.
  static constexpr std::chrono::seconds kApplyWait{30};

  // The seat's input method for one paste, when the compositor has input
  // methods, no other input method holds the seat, and the focused window
  // takes text from one and says its text; nullptr otherwise (keys, then).
  static std::unique_ptr<InputMethod> begin(Connection &connection);
  // Stops being the seat's input method: the window goes back to the user's, if any.
  ~InputMethod();

  enum class Commit { kApplied, kInactive, kNoAnswer };
  // Inserts text (UTF-8, at most kMaxPiece bytes) at the window's cursor and
  // waits until the window has applied it: kInactive when the window no longer
  // takes text from this input method (nothing sent), kNoAnswer when it did not
  // show the text within kApplyWait or before keep_waiting said no. (A window
  // that changes the text, a field that takes digits only, say, is given
  // kChangedWait.)
  Commit commit(std::string_view text, const std::function<bool()> &keep_waiting);
  // The window's text as last reported; after keys sent to the window (which
  // reach it apart from this input method's text), waits up to kKeyWait for it
  // to report its text changed from before, so text sent next lands after them.
  std::string text() const { return text_; }
  void wait_for_change(const std::string &before);
  static constexpr std::chrono::milliseconds kChangedWait{500};
  static constexpr std::chrono::milliseconds kKeyWait{200};

  // The compositor's events (listener callbacks).
  static void on_activate(void *data, zwp_input_method_v2 *);
  static void on_deactivate(void *data, zwp_input_method_v2 *);
  static void on_done(void *data, zwp_input_method_v2 *);
  static void on_surrounding_text(void *data, zwp_input_method_v2 *, const char *text,
                                  uint32_t cursor, uint32_t anchor);
  static void on_unavailable(void *data, zwp_input_method_v2 *);

private:
  InputMethod(Connection &connection, zwp_input_method_v2 *method);

  Connection &connection_;
  zwp_input_method_v2 *method_;
  bool pending_active_ = false, active_ = false, unavailable_ = false;
  unsigned done_ = 0; // done events so far
  // The text before the window's cursor: reported, and applied by done.
  std::string pending_text_, text_;
  bool pending_said_ = false, said_ = false;
};

} // namespace teclix::wayland
