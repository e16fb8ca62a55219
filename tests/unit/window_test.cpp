#include "window/form1.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "test_text.h"

namespace teclix {
namespace {

TEST(Form1, LoadSetsTheCaptionsAndTheRedLink) {
  FakePlatform fake;
  Form1 form(fake);
  form.Load();
  EXPECT_EQ(fake.caption, u"Teclix - " + kMakerDomain);
  EXPECT_EQ(fake.instruction, u"Copiar el texto deseado desde donde se encuentre \r\n"
                              u"y apretar F10 para pegar en donde se desee pegar");
  EXPECT_EQ(fake.link, kMakerHost);
  ASSERT_FALSE(fake.link_colors.empty());
  EXPECT_EQ(fake.link_colors.front(), kLinkRed);
  EXPECT_FALSE(form.link_restored());
}

// B: the pointer moves over the background; L: over the link.
struct HoverCase {
  const char *path;
  const char *colours_after_each_move; // r or b: the link's colour after each move
  const char *colour_changes;          // the colour settings made, after the one at load
};

class Hover : public ::testing::TestWithParam<HoverCase> {};

TEST_P(Hover, ChangesColourOnlyOnTransitions) {
  const HoverCase &c = GetParam();
  FakePlatform fake;
  Form1 form(fake);
  form.Load();
  fake.link_colors.clear();
  std::string after;
  for (const char *p = c.path; *p; ++p) {
    if (*p == 'B') {
      form.on_background_mouse_move();
    } else {
      form.on_link_mouse_move();
    }
    after += form.link_color() == kLinkRed ? 'r' : 'b';
  }
  std::string changes;
  for (Rgb colour : fake.link_colors) {
    changes += colour == kLinkRed ? 'r' : colour == kLinkBlue ? 'b' : '?';
  }
  EXPECT_EQ(after, c.colours_after_each_move) << c.path;
  EXPECT_EQ(changes, c.colour_changes) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    PointerPaths, Hover,
    ::testing::Values(
        // Straight onto the link from outside the window: the flag starts false.
        HoverCase{"L", "r", ""}, HoverCase{"LL", "rr", ""},
        // The first background move sets the resting colour once.
        HoverCase{"B", "r", "r"}, HoverCase{"BBB", "rrr", "r"}, HoverCase{"BL", "rb", "rb"},
        HoverCase{"BLLL", "rbbb", "rb"}, HoverCase{"BLBLB", "rbrbr", "rbrbr"},
        HoverCase{"LBBLLBL", "rrrbbrb", "rbrb"},
        // Leaving the window straight from the link keeps it blue.
        HoverCase{"BL", "rb", "rb"}),
    [](const auto &i) { return case_name(i.index, i.param.path); });

TEST(Form1, AClickOnTheLinkOpensTheMakersPage) {
  FakePlatform fake;
  Form1 form(fake);
  form.Load();
  form.on_link_click();
  ASSERT_EQ(fake.opened.size(), 1u);
  EXPECT_EQ(fake.opened[0], u"https://" + kMakerHost + u"?Teclix");
  EXPECT_EQ(link_address(u"www.example.org"), u"https://www.example.org?Teclix");
}

TEST(Window, SaysHowALongPasteGoesAndWhatWasLeftOut) {
  EXPECT_EQ(paste_progress_text(1200, 5000),
            u"Tecleando: 1200 de 5000 caracteres.\r\nCambie a otra ventana para detenerlo.");
  EXPECT_EQ(skipped_characters_text(1), u"1 carácter del último pegado no se pudo teclear en esa "
                                        u"ventana.");
  FakePlatform fake;
  Form1 form(fake);
  form.paste_progress(8, 16);
  EXPECT_EQ(fake.instruction, paste_progress_text(8, 16));
  form.paste_finished(0);
  EXPECT_EQ(fake.instruction, form.instruction());
}

} // namespace
} // namespace teclix
