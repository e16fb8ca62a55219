#include "typing/main_loop.h"

#include <chrono>

#include "typing/console_targets.h"
#include "typing/keystrokes.h"
#include "typing/paste_plan.h"

namespace teclix {

namespace {

// A paste shorter than this is over before the user could read its progress.
constexpr auto kProgressAfter = std::chrono::seconds(1);

// At zero: the text goes where the focus is then, but never into this program's
// own window (the user did not switch) and never nowhere.
void finish_countdown(const Platform &platform, PasteCountdown &countdown, WindowHandle window,
                      PasteListener *listener) {
  const std::u16string text = countdown.take();
  const WindowHandle target = platform.desktop.focused_control();
  if (target == 0 || target == window) {
    if (listener) {
      listener->countdown_ended(CountdownEnd::kNoTarget);
    }
    return;
  }
  paste_text(platform, text, listener);
}

} // namespace

void paste_text(const Platform &platform, const std::u16string &text, PasteListener *listener) {
  const WindowHandle target = platform.desktop.focused_control();
  if (target == 0 || text.empty()) {
    return;
  }
  // Keys the system would drop are not sent at all: the user hears why instead of
  // finding an untouched window. A level that cannot be read does not stop the paste.
  if (platform.desktop.target_privilege() == TargetPrivilege::kHigher) {
    if (listener) {
      listener->target_elevated();
    }
    return;
  }
  TypingOptions options;
  const TargetWindow window = platform.desktop.focused_target();
  options.mode = is_console(window) ? TypingMode::kConsole : TypingMode::kDirect;
  if (keeps_up(window)) {
    options.pace = ConsolePace{std::chrono::milliseconds(0), std::chrono::milliseconds(0)};
  }
  // Keys go only where the user aimed: when the focus moves to another control
  // during the paste (a click elsewhere, a dialog), the rest is not typed.
  options.keep_typing = [&platform, target] {
    return platform.desktop.focused_control() == target;
  };
  const auto started = std::chrono::steady_clock::now();
  if (listener) {
    options.progress = [&](std::size_t done, std::size_t total) {
      if (done < total && std::chrono::steady_clock::now() - started >= kProgressAfter) {
        listener->paste_progress(done, total);
      }
    };
  }
  const TypingResult result =
      type_paste(platform, plan_paste(text, platform.window.number_format()), options);
  if (listener) {
    listener->paste_finished(result.skipped);
  }
}

void paste_clipboard(const Platform &platform, PasteListener *listener) {
  if (platform.desktop.focused_control() == 0) {
    return;
  }
  const std::optional<std::u16string> text = platform.clipboard.clipboard_text();
  if (text && !text->empty()) {
    paste_text(platform, *text, listener);
  } else if (listener) {
    listener->nothing_to_paste();
  }
}

void start_or_stop_countdown(const Platform &platform, PasteCountdown &countdown,
                             PasteListener *listener) {
  if (countdown.running()) {
    countdown.stop();
    if (listener) {
      listener->countdown_ended(CountdownEnd::kCancelled);
    }
    return;
  }
  // Read now, so that a clipboard with nothing to paste is said at once.
  const std::optional<std::u16string> text = platform.clipboard.clipboard_text();
  if (!text || text->empty()) {
    if (listener) {
      listener->countdown_ended(CountdownEnd::kNoText);
    }
    return;
  }
  countdown.start(*text, platform.window.now());
  if (listener) {
    listener->countdown_shown(*countdown.new_number(platform.window.now()));
  }
}

void run_main_loop(const Platform &platform, WindowHandle window, const bool &stop,
                   PasteListener *listener, PasteCountdown *countdown) {
  while (!stop) {
    if (countdown && countdown->running()) {
      platform.window.wait_message_until(countdown->next_change(platform.window.now()));
    } else {
      platform.window.wait_message();
    }
    if (platform.hotkey.take_paste_press()) {
      if (countdown && (countdown->running() || platform.desktop.focused_control() == window)) {
        start_or_stop_countdown(platform, *countdown, listener);
      } else {
        paste_clipboard(platform, listener);
      }
    }
    platform.window.pump_events();
    if (countdown && countdown->running()) {
      const auto now = platform.window.now();
      if (countdown->seconds_left(now) == 0) {
        finish_countdown(platform, *countdown, window, listener);
      } else if (const std::optional<int> shown = countdown->new_number(now); shown && listener) {
        listener->countdown_shown(*shown);
      }
    }
  }
}

} // namespace teclix
