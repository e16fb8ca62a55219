#include "typing/main_loop.h"

#include <chrono>

#include "typing/console_targets.h"
#include "typing/keystrokes.h"
#include "typing/paste_plan.h"

namespace teclix {

namespace {

// A paste shorter than this is over before the user could read its progress.
constexpr auto kProgressAfter = std::chrono::seconds(1);

} // namespace

void paste_clipboard(Platform &platform, PasteListener *listener) {
  const WindowHandle target = platform.focused_control();
  if (target == 0) {
    return;
  }
  const std::optional<std::u16string> text = platform.clipboard_text();
  if (!text || text->empty()) {
    return;
  }
  TypingOptions options;
  options.mode = is_console(platform.focused_target()) ? TypingMode::kConsole : TypingMode::kDirect;
  // Keys go only where the user aimed: when the focus moves to another control
  // during the paste (a click elsewhere, a dialog), the rest is not typed.
  options.keep_typing = [&platform, target] { return platform.focused_control() == target; };
  const auto started = std::chrono::steady_clock::now();
  if (listener) {
    options.progress = [&](std::size_t done, std::size_t total) {
      if (done < total && std::chrono::steady_clock::now() - started >= kProgressAfter) {
        listener->paste_progress(done, total);
      }
    };
  }
  const TypingResult result =
      type_paste(platform, plan_paste(*text, platform.number_format()), options);
  if (listener) {
    listener->paste_finished(result.skipped);
  }
}

void run_main_loop(Platform &platform, WindowHandle window, const bool &stop,
                   PasteListener *listener) {
  while (!stop) {
    platform.wait_message();
    if (platform.peek_hotkey(window)) {
      paste_clipboard(platform, listener);
    }
    platform.pump_events();
  }
}

} // namespace teclix
