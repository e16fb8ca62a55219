#include "helpers/automation.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "platform/fake/fake_platform.h"
#include "test_text.h"
#include "typing/runtime_error.h"
#include "window/form1.h"

namespace teclix {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// The run-time error number an operation raises, or 0 when it returns.
template <typename F> int error_of(F f) {
  try {
    f();
    return 0;
  } catch (const RuntimeError &e) {
    return e.number();
  }
}

struct DivideCase {
  std::int32_t a, b;
  double quotient;
  int error;
};

TEST(divide, QuotientsAndErrors) {
  const DivideCase cases[] = {
      {7, 2, 3.5, 0},       {-7, 2, -3.5, 0},   {7, -2, -3.5, 0},
      {0, 5, 0.0, 0},       {kMax, 1, kMax, 0}, {kMin, -1, 2147483648.0, 0},
      {1, 3, 1.0 / 3.0, 0}, {1, 0, 0, 11},      {-5, 0, 0, 11},
      {0, 0, 0, 6},
  };
  for (const DivideCase &c : cases) {
    double got = 0;
    EXPECT_EQ(error_of([&] { got = divide(c.a, c.b); }), c.error) << c.a << " / " << c.b;
    if (c.error == 0) {
      EXPECT_DOUBLE_EQ(got, c.quotient) << c.a << " / " << c.b;
    }
  }
}

struct MultiplyCase {
  std::int32_t a, b;
  std::int32_t product;
  int error;
};

TEST(multiply, ExactWhileItFitsOverflowBeyond) {
  const MultiplyCase cases[] = {
      {6, 7, 42, 0},
      {-6, 7, -42, 0},
      {-6, -7, 42, 0},
      {kMax, 1, kMax, 0},
      {kMin, 1, kMin, 0},
      {46340, 46340, 2147395600, 0},
      {-65536, 32768, kMin, 0},
      {65536, 32768, 0, 6},
      {46341, 46341, 0, 6},
      {kMax, 2, 0, 6},
      {kMin, -1, 0, 6},
      {kMin, 2, 0, 6},
      {-46341, 46341, 0, 6},
      {0, kMin, 0, 0},
  };
  for (const MultiplyCase &c : cases) {
    std::int32_t got = 0;
    EXPECT_EQ(error_of([&] { got = multiply(c.a, c.b); }), c.error) << c.a << " * " << c.b;
    EXPECT_EQ(got, c.product) << c.a << " * " << c.b;
  }
}

TEST(question_box, AddsTheQuestionIconAndReturnsTheButton) {
  FakePlatform fake;
  fake.message_box_answer = BoxAnswer::kYes;
  EXPECT_EQ(question_box(fake, u"¿Seguro?", 4, u"Teclix"), 6);
  fake.message_box_answer = BoxAnswer::kNo;
  EXPECT_EQ(question_box(fake, u"¿Seguro?", 4, u"Teclix"), 7);
  EXPECT_EQ(question_box(fake, u"x", 32767 - 32, u"t"), 7);
  // The largest style: what a message box shows of it (OK, no icon the program
  // knows, the fourth button as default).
  const std::vector<std::string> expected = {"message_box 36", "message_box 36", "message_box 768"};
  EXPECT_EQ(fake.calls, expected);
  EXPECT_EQ(error_of([&] { question_box(fake, u"x", 32767 - 31, u"t"); }), 6);
  EXPECT_EQ(fake.calls.size(), 3u); // no box shown for the overflow
}

TEST(EnviarTexto, PostsWesternCodesSkipsLineFeedsAndKeepsTheLastCode) {
  FakePlatform fake;
  std::uint8_t key = 0;
  post_text(fake, 0x77, u"aÑ€\r\n世", key);
  const std::vector<std::uint8_t> expected = {'a', 0xD1, 0x80, '\r', '?'};
  EXPECT_EQ(fake.posted, expected);
  EXPECT_EQ(key, '?');
  post_text(fake, 0x77, u"x\n", key);
  EXPECT_EQ(key, 10); // the line feed is the last code handled, though not posted
  EXPECT_EQ(fake.posted.back(), 'x');
}

// A platform whose posted characters are read in Windows-1251 (Cyrillic).
class CyrillicPostCodes : public FakePlatform {
public:
  std::uint8_t post_code(char16_t ch) override {
    return ch == u'Ж' ? 0xC6 : ch == u'ж' ? 0xE6 : ch < 0x80 ? static_cast<std::uint8_t>(ch) : '?';
  }
};

TEST(EnviarTexto, PostsThePlatformsCodes) {
  CyrillicPostCodes platform;
  std::uint8_t key = 0;
  post_text(platform, 0x77, u"Жж ñ", key);
  const std::vector<std::uint8_t> expected = {0xC6, 0xE6, ' ', '?'};
  EXPECT_EQ(platform.posted, expected);
  EXPECT_EQ(key, '?');
}

TEST(EnviarTexto, TextsBeyondSixteenBitsAreAnOverflowAndPostNothing) {
  FakePlatform fake;
  std::uint8_t key = 0;
  EXPECT_EQ(error_of([&] { post_text(fake, 1, std::u16string(32768, u'a'), key); }), 6);
  EXPECT_TRUE(fake.posted.empty());
  EXPECT_EQ(error_of([&] { post_text(fake, 1, std::u16string(32767, u'a'), key); }), 0);
  EXPECT_EQ(fake.posted.size(), 32767u);
}

TEST(click_at, ClicksThereAndPutsThePointerBack) {
  FakePlatform fake;
  fake.cursor = {300, 400};
  Point saved;
  click_at(fake, 5, 6, saved);
  const std::vector<std::string> expected = {"cursor 5,6", "left down", "left up",
                                             "cursor 300,400"};
  EXPECT_EQ(fake.calls, expected);
  EXPECT_EQ(saved, (Point{300, 400}));
  EXPECT_EQ(fake.cursor, (Point{300, 400}));
}

TEST(EnviarPulsacion, SendsTheDoubleClickThenPumps) {
  FakePlatform fake;
  fake.queued.push_back(FakeEvent::Timer);
  right_double_click(fake, 0xABCD);
  EXPECT_EQ(fake.calls, std::vector<std::string>{"right double click ABCD"});
  EXPECT_TRUE(fake.queued.empty());
}

TEST(Form1, OffersTheOperationsOnItsOwnPlatform) {
  FakePlatform fake;
  Form1 form(fake);
  fake.focus = 0x4242;
  EXPECT_EQ(form.GetFocusHandle(), 0x4242u);
  EXPECT_DOUBLE_EQ(form.Divide(7, 2), 3.5);
  EXPECT_EQ(form.Multiplica(-3, 5), -15);
  form.Pulsar_TeclaS(u"Ab");
  form.Pulsar_Tecla(0x6E);
  EXPECT_EQ(fake.typed, u"Ab,");
  form.pp();
}

TEST(RunToTheEnd, EveryErrorThatEndsTheProgramIsARunTimeError) {
  EXPECT_EQ(run_to_the_end([] {}), std::nullopt);
  struct Case {
    std::function<void()> run;
    int number;
  };
  for (const Case &c :
       {Case{[] { throw division_by_zero_error(); }, 11}, Case{[] { throw std::bad_alloc(); }, 7},
        Case{[] { throw std::out_of_range("x"); }, 51}}) {
    const std::optional<RuntimeError> error = run_to_the_end(c.run);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), c.number);
  }
}

} // namespace
} // namespace teclix
