#include "platform/x11/x11_window_model.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace teclix::x11 {

double dpi_from_resource(const char *value) {
  if (!value || !*value) {
    return 96.0;
  }
  // A resource is written with a decimal point, whatever the user's locale says.
  double dpi = 0.0;
  const char *end = value + std::strlen(value);
  const auto [stop, error] = std::from_chars(value, end, dpi);
  if (error != std::errc{} || stop == value || !std::isfinite(dpi) || dpi < 24.0 || dpi > 1200.0) {
    return 96.0;
  }
  return dpi;
}

int scale_pixels(int pixels_at_96, double dpi) {
  return static_cast<int>(std::lround(pixels_at_96 * dpi / 96.0));
}

int twips_to_pixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

MainLayout main_layout(double dpi) {
  MainLayout layout;
  // The window is 6480 x 2505 twips; the instruction label sits at (15, 1260),
  // 6375 x 1110; the link label's corner is at (60, 435).
  layout.width = twips_to_pixels(6480, dpi);
  layout.height = twips_to_pixels(2505, dpi);
  layout.instruction = Rect{twips_to_pixels(15, dpi), twips_to_pixels(1260, dpi),
                            twips_to_pixels(6375, dpi), twips_to_pixels(1110, dpi)};
  layout.link_x = twips_to_pixels(60, dpi);
  layout.link_y = twips_to_pixels(435, dpi);
  // The strip above the link is free: the button sits there, at the right.
  const int button_width = scale_pixels(104, dpi), button_height = scale_pixels(22, dpi);
  layout.button = Rect{layout.width - scale_pixels(8, dpi) - button_width, scale_pixels(4, dpi),
                       button_width, button_height};
  return layout;
}

PointerArea pointer_area(const MainLayout &layout, const Rect &link, int x, int y) {
  if (!Rect{0, 0, layout.width, layout.height}.contains(x, y)) {
    return PointerArea::kOutside;
  }
  // The link is drawn last, so it is on top where the two labels meet.
  if (link.contains(x, y)) {
    return PointerArea::kLink;
  }
  if (layout.button.contains(x, y)) {
    return PointerArea::kButton;
  }
  if (layout.instruction.contains(x, y)) {
    return PointerArea::kInstruction;
  }
  return PointerArea::kBackground;
}

std::vector<DialogButton> dialog_buttons(const MessageBoxStyle &style) {
  using enum BoxAnswer;
  switch (style.buttons) {
  case MessageBoxButtons::kOkCancel:
    return {{"Aceptar", kOk}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kAbortRetryIgnore:
    return {{"Anular", kAbort}, {"Reintentar", kRetry}, {"Omitir", kIgnore}};
  case MessageBoxButtons::kYesNoCancel:
    return {{"Sí", kYes}, {"No", kNo}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kYesNo:
    return {{"Sí", kYes}, {"No", kNo}};
  case MessageBoxButtons::kRetryCancel:
    return {{"Reintentar", kRetry}, {"Cancelar", kCancel}};
  case MessageBoxButtons::kOk:
    break;
  }
  return {{"Aceptar", kOk}};
}

std::optional<BoxAnswer> dialog_dismiss_result(const MessageBoxStyle &style) {
  const std::vector<DialogButton> buttons = dialog_buttons(style);
  for (const DialogButton &button : buttons) {
    if (button.result == BoxAnswer::kCancel) {
      return BoxAnswer::kCancel;
    }
  }
  if (buttons.size() == 1) {
    return buttons.front().result;
  }
  return std::nullopt;
}

std::size_t dialog_default_button(const MessageBoxStyle &style) {
  const auto wanted = static_cast<std::size_t>(style.default_button);
  return wanted < dialog_buttons(style).size() ? wanted : 0;
}

std::vector<std::string> wrap_text(const std::string &text, int width,
                                   const std::function<int(const std::string &)> &measure) {
  std::vector<std::string> paragraphs(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      paragraphs.emplace_back();
    } else {
      paragraphs.back() += text[i];
    }
  }
  std::vector<std::string> out;
  for (const std::string &paragraph : paragraphs) {
    std::string current;
    std::size_t pos = 0;
    while (true) {
      const std::size_t space = paragraph.find(' ', pos);
      const std::string word =
          paragraph.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
      const std::string candidate = current.empty() ? word : current + " " + word;
      if (!current.empty() && measure(candidate) > width) {
        out.push_back(current);
        current = word;
      } else {
        current = candidate;
      }
      if (space == std::string::npos) {
        break;
      }
      pos = space + 1;
    }
    // Trailing spaces stay with the line: they take no room on screen.
    out.push_back(current);
  }
  while (!out.empty() && out.back().empty()) {
    out.pop_back();
  }
  return out;
}

std::vector<unsigned long> net_wm_icon(std::span<const unsigned char> rgba, int width, int height) {
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (width <= 0 || height <= 0 || rgba.size() != pixels * 4) {
    return {};
  }
  std::vector<unsigned long> out;
  out.reserve(2 + pixels);
  out.push_back(static_cast<unsigned long>(width));
  out.push_back(static_cast<unsigned long>(height));
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned long r = rgba[4 * i], g = rgba[4 * i + 1], b = rgba[4 * i + 2],
                        a = rgba[4 * i + 3];
    out.push_back(a << 24 | r << 16 | g << 8 | b);
  }
  return out;
}

} // namespace teclix::x11
