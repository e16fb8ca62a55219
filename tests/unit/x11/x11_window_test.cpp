// What the X11 window and its message box decide without a display: sizes at a
// DPI, pointer areas, the buttons of each message box style, wrapping, the
// Western code page and the icon property.
#include "platform/x11/x11_icon.h"
#include "platform/x11/x11_layout.h"
#include "platform/x11/x11_message_box_model.h"

#include <clocale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None and Bool as macros.
#include "platform/x11/x11_text.h"

#include "helpers/automation.h"
#include "teclix_icon_data.h"

namespace teclix::x11 {
namespace {

// Numbers for the X server and the font library are written and read with a
// decimal point, also under a locale whose decimal separator is a comma.
class DpiUnderLocale : public ::testing::TestWithParam<const char *> {
protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, GetParam())) {
      GTEST_SKIP() << GetParam() << " is not installed";
    }
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(DpiUnderLocale, ComesFromTheXftResourceOr96) {
  struct Case {
    const char *value;
    double dpi;
  };
  for (const Case &c : {Case{nullptr, 96.0}, Case{"", 96.0}, Case{"96", 96.0}, Case{"144", 144.0},
                        Case{"120.5", 120.5}, Case{"abc", 96.0}, Case{"0", 96.0}, Case{"-96", 96.0},
                        Case{"inf", 96.0}}) {
    EXPECT_DOUBLE_EQ(dpi_from_resource(c.value), c.dpi) << (c.value ? c.value : "(none)");
  }
}

TEST_P(DpiUnderLocale, AndTheFontSizeReachTheFontRequestExactly) {
  FcPattern *request = font_request("Liberation Serif:bold", 9.75, 120.5);
  ASSERT_NE(request, nullptr);
  double size = 0, dpi = 0;
  FcChar8 *family = nullptr;
  EXPECT_EQ(FcPatternGetDouble(request, FC_SIZE, 0, &size), FcResultMatch);
  EXPECT_EQ(FcPatternGetDouble(request, FC_DPI, 0, &dpi), FcResultMatch);
  EXPECT_EQ(FcPatternGetString(request, FC_FAMILY, 0, &family), FcResultMatch);
  EXPECT_DOUBLE_EQ(size, 9.75);
  EXPECT_DOUBLE_EQ(dpi, 120.5);
  EXPECT_STREQ(reinterpret_cast<const char *>(family), "Liberation Serif");
  FcPatternDestroy(request);
}

INSTANTIATE_TEST_SUITE_P(Locales, DpiUnderLocale, ::testing::Values("C", "es_ES.UTF-8"));

TEST(Dpi, ScalesPixelsAndTwips) {
  struct Case {
    int value;
    double dpi;
    int pixels;
  };
  for (const Case &c : {Case{432, 96, 432}, Case{432, 144, 648}, Case{432, 120, 540},
                        Case{1, 144, 2}, Case{26, 120, 33}}) {
    EXPECT_EQ(scale_pixels(c.value, c.dpi), c.pixels) << c.value << " at " << c.dpi;
  }
  for (const Case &c : {Case{6480, 96, 432}, Case{2505, 96, 167}, Case{1260, 96, 84},
                        Case{6480, 144, 648}, Case{2505, 144, 251}, Case{15, 144, 2}}) {
    EXPECT_EQ(twips_to_pixels(c.value, c.dpi), c.pixels) << c.value << " twips at " << c.dpi;
  }
}

TEST(MainWindow, LayoutAt96And144Dpi) {
  const MainLayout at96 = main_layout(96);
  EXPECT_EQ(at96.width, 432);
  EXPECT_EQ(at96.height, 167);
  EXPECT_EQ(at96.instruction, (Rect{1, 84, 425, 74}));
  EXPECT_EQ(at96.link_x, 4);
  EXPECT_EQ(at96.link_y, 29);
  EXPECT_EQ(at96.button, (Rect{320, 4, 104, 22}));

  const MainLayout at144 = main_layout(144);
  EXPECT_EQ(at144.width, 648);
  EXPECT_EQ(at144.height, 251);
  EXPECT_EQ(at144.instruction, (Rect{2, 126, 638, 111}));
  EXPECT_EQ(at144.link_x, 6);
  EXPECT_EQ(at144.link_y, 44);
  EXPECT_EQ(at144.button, (Rect{480, 6, 156, 33}));
  // The button stays in the strip above the link, inside the window.
  for (const MainLayout &l : {at96, at144}) {
    EXPECT_LT(l.button.y + l.button.height, l.link_y);
    EXPECT_LT(l.button.x + l.button.width, l.width);
  }
}

TEST(MainWindow, PointerAreas) {
  const MainLayout layout = main_layout(96);
  const Rect link{4, 29, 250, 31};
  struct Case {
    int x, y;
    PointerArea area;
  };
  for (const Case &c : {
           Case{0, 0, PointerArea::kBackground},      Case{3, 40, PointerArea::kBackground},
           Case{4, 29, PointerArea::kLink},           Case{253, 59, PointerArea::kLink},
           Case{254, 40, PointerArea::kBackground},   Case{320, 4, PointerArea::kButton},
           Case{423, 25, PointerArea::kButton},       Case{424, 10, PointerArea::kBackground},
           Case{319, 10, PointerArea::kBackground},   Case{400, 26, PointerArea::kBackground},
           Case{100, 60, PointerArea::kBackground},   Case{1, 84, PointerArea::kInstruction},
           Case{425, 157, PointerArea::kInstruction}, Case{426, 100, PointerArea::kBackground},
           Case{100, 158, PointerArea::kBackground},  Case{431, 166, PointerArea::kBackground},
           Case{432, 10, PointerArea::kOutside},      Case{10, 167, PointerArea::kOutside},
           Case{-1, 10, PointerArea::kOutside},
       }) {
    EXPECT_EQ(pointer_area(layout, link, c.x, c.y), c.area) << c.x << "," << c.y;
  }
  // A link that runs into the instruction label wins where they meet.
  EXPECT_EQ(pointer_area(layout, Rect{4, 29, 250, 60}, 10, 85), PointerArea::kLink);
}

TEST(MessageBox, ButtonsOfEachStyle) {
  using enum BoxAnswer;
  struct Case {
    int style;
    std::vector<DialogButton> buttons;
    std::optional<BoxAnswer> dismissed;
  };
  const std::vector<Case> cases = {
      {0, {{"Aceptar", kOk}}, kOk},
      {1, {{"Aceptar", kOk}, {"Cancelar", kCancel}}, kCancel},
      {2, {{"Anular", kAbort}, {"Reintentar", kRetry}, {"Omitir", kIgnore}}, std::nullopt},
      {3, {{"Sí", kYes}, {"No", kNo}, {"Cancelar", kCancel}}, kCancel},
      {4, {{"Sí", kYes}, {"No", kNo}}, std::nullopt},
      {5, {{"Reintentar", kRetry}, {"Cancelar", kCancel}}, kCancel},
      // Icons and other bits do not change the buttons.
      {16, {{"Aceptar", kOk}}, kOk},
      {4 + 32, {{"Sí", kYes}, {"No", kNo}}, std::nullopt},
      {3 + 48 + 0x100, {{"Sí", kYes}, {"No", kNo}, {"Cancelar", kCancel}}, kCancel},
      // Styles this box does not know show OK.
      {6, {{"Aceptar", kOk}}, kOk},
      {15, {{"Aceptar", kOk}}, kOk},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(dialog_buttons(message_box_style(c.style)), c.buttons) << "style " << c.style;
    EXPECT_EQ(dialog_dismiss_result(message_box_style(c.style)), c.dismissed)
        << "style " << c.style;
  }
}

TEST(MessageBox, DefaultButtonAndIcon) {
  // The standard style numbers as the automation helpers pass them on.
  auto default_of = [](int style) { return dialog_default_button(message_box_style(style)); };
  EXPECT_EQ(default_of(4), 0u);
  EXPECT_EQ(default_of(4 + 0x100), 1u);
  EXPECT_EQ(default_of(3 + 0x200), 2u);
  EXPECT_EQ(default_of(4 + 0x200), 0u); // no third button: the first
  EXPECT_EQ(default_of(0 + 0x100), 0u);

  EXPECT_EQ(message_box_style(0).icon, MessageBoxIcon::kNone);
  EXPECT_EQ(message_box_style(16).icon, MessageBoxIcon::kError);
  EXPECT_EQ(message_box_style(4 + 32).icon, MessageBoxIcon::kQuestion);
  EXPECT_EQ(message_box_style(48).icon, MessageBoxIcon::kWarning);
  EXPECT_EQ(message_box_style(1 + 64).icon, MessageBoxIcon::kInformation);
  for (int style : {0, 16, 4 + 32 + 0x100, 3 + 48 + 0x200, 5 + 64}) {
    EXPECT_EQ(standard_style(message_box_style(style)), style);
  }
}

// Every character is 10 pixels wide.
int fixed_width(const std::string &s) {
  return 10 * static_cast<int>(s.size());
}

TEST(Wrap, BreaksAtSpacesAndLineBreaks) {
  struct Case {
    std::string text;
    int width;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"uno dos tres", 200, {"uno dos tres"}},
      {"uno dos tres", 70, {"uno dos", "tres"}},
      {"uno dos tres", 69, {"uno", "dos", "tres"}},
      {"uno\r\ndos\rtres\ncuatro", 1000, {"uno", "dos", "tres", "cuatro"}},
      {"a\r\n\r\nb", 1000, {"a", "", "b"}},
      {"palabralarguisima corta", 50, {"palabralarguisima", "corta"}},
      {"fin de línea \r\nsigue", 1000, {"fin de línea ", "sigue"}},
      {"texto\r\n", 1000, {"texto"}},
      {"", 100, {}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(wrap_text(c.text, c.width, fixed_width), c.lines) << c.text << " in " << c.width;
  }
}

TEST(Icon, IsThe64By64ImageAsArgbCardinals) {
  EXPECT_EQ(sizeof kIconRgba, 64u * 64u * 4u);
  const std::vector<unsigned long> icon = net_wm_icon(kIconRgba, kIconWidth, kIconHeight);
  ASSERT_EQ(icon.size(), 2u + 64u * 64u);
  EXPECT_EQ(icon[0], 64u);
  EXPECT_EQ(icon[1], 64u);
  // The corner is transparent; the middle of the key cap is opaque.
  EXPECT_EQ(icon[2] >> 24, 0u);
  EXPECT_EQ(icon[2 + 30 * 64 + 12] >> 24, 0xFFu);

  const unsigned char two_pixels[] = {0x11, 0x22, 0x33, 0x44, 0xFF, 0x00, 0x80, 0xFF};
  EXPECT_EQ(net_wm_icon(two_pixels, 2, 1),
            (std::vector<unsigned long>{2, 1, 0x44112233u, 0xFFFF0080u}));
  EXPECT_TRUE(net_wm_icon(two_pixels, 2, 2).empty()); // too few bytes
  EXPECT_TRUE(net_wm_icon(two_pixels, 0, 1).empty());
}

} // namespace
} // namespace teclix::x11
