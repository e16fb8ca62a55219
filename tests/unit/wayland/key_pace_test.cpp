#include "platform/wayland/key_pace.h"

#include <gtest/gtest.h>

namespace teclix::wayland {
namespace {

using namespace std::chrono_literals;
using Clock = KeyPace::Clock;

// A paste of events key events against one client whose queue is at_start when
// the paste begins and held(t) after, on a clock that moves only when the pace sleeps.
struct Paste {
  std::size_t sends = 0, typed = 0;
  Clock::duration took{};
};
Paste paste(std::size_t events, std::function<std::optional<std::uint32_t>(Clock::duration)> held,
            std::function<bool()> keep_typing = {}, std::uint32_t at_start = 0) {
  const Clock::time_point zero{};
  Clock::time_point now = zero;
  bool started = false;
  KeyPace pace(128, {[&] { return now; }, [&](Clock::time_point t) { now = std::max(now, t); }});
  pace.start(
      [&]() -> std::optional<std::vector<ClientQueue>> {
        const std::optional<std::uint32_t> h = started ? held(now - zero) : at_start;
        started = true;
        if (!h) {
          return std::nullopt;
        }
        return std::vector<ClientQueue>{{7, 0, 200'000}, {9, *h, 200'000}};
      },
      std::move(keep_typing));
  Paste result;
  for (std::size_t i = 0; i < events; ++i) {
    if (pace.before_event([&] { ++result.sends; })) {
      ++result.typed;
    }
  }
  result.took = now - zero;
  return result;
}

TEST(KeyPace, WaitsWhileTheClientIsBehindAndStopsWhenItReadsNothing) {
  struct Case {
    const char *name;
    std::function<std::optional<std::uint32_t>(Clock::duration)> held;
    std::size_t typed;
    Clock::duration least, most;
  };
  const Case cases[] = {
      {"keeps up", [](auto) { return 1000u; }, 1000, 0s, 0s},
      {"behind for 3 s, then reads", [](auto t) { return t < 3s ? 90'000u : 0u; }, 1000, 3s,
       3020ms},
      {"a quarter of its room is not behind", [](auto) { return 50'000u; }, 1000, 0s, 0s},
      {"never reads again", [](auto) { return 120'000u; }, 128, KeyPace::kGiveUp,
       KeyPace::kGiveUp + 20ms},
      {"unreadable: a burst, then the rate", [](auto) { return std::optional<std::uint32_t>(); },
       1000, (1000 - 1 - KeyPace::kBurst) / 128 * 128 * 1s / KeyPace::kPerSecond, 1s},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Paste r = paste(1000, c.held);
    EXPECT_EQ(r.typed, c.typed);
    EXPECT_GE(r.took, c.least);
    EXPECT_LE(r.took, c.most);
    EXPECT_EQ(r.sends, (c.typed - 1) / 128 + (c.typed < 1000)); // the last batch, before it stops
  }
}

TEST(KeyPace, ABacklogFromBeforeThePasteIsNotWaitedFor) {
  // Held at the start, and not growing: another program's, not the target's.
  EXPECT_EQ(paste(
                1000, [](auto) { return 150'000u; }, {}, 150'000)
                .took,
            0s);
  // Growing from there: waited for.
  EXPECT_GE(paste(
                1000, [](auto t) { return t < 1s ? 150'100u : 150'000u; }, {}, 150'000)
                .took,
            1s);
}

TEST(KeyPace, TheFocusMovingEndsTheWait) {
  int asked = 0;
  const Paste r = paste(
      1000, [](auto) { return 120'000u; }, [&] { return ++asked < 3; });
  EXPECT_EQ(r.typed, 128);
  EXPECT_LT(r.took, 1s);
}

} // namespace
} // namespace teclix::wayland
