// The busy policy on its own: no COM, a clock that only the waits move.

#include <gtest/gtest.h>

#include "platform/BusyRetry.h"

namespace engine {
namespace {

using std::chrono::milliseconds;

// The answers that a call meets, and how many tries the rule makes of them.
TEST(BusyRetryTest, AsksAgainUntilAcceptedOrTheBoundHasPassed) {
  const RetryPolicy policy{milliseconds(10), milliseconds(35)};
  const struct {
    const char* label;
    int refusals;         // tries turned away before one is accepted
    milliseconds before;  // how long before the first try the call began
    int tries;
  } cases[] = {
      {"accepted at once: one try", 0, milliseconds(0), 1},
      {"refused twice: asked until accepted", 2, milliseconds(0), 3},
      {"always refused: tries at 0, 10, 20, 30, 40 ms", 1000, milliseconds(0), 5},
      {"the bound reached exactly ends it", 1000, milliseconds(5), 4},
      {"the bound counts from the call's start", 1000, milliseconds(30), 2},
      {"a bound spent before the first try still leaves that try", 1000, milliseconds(100), 1},
  };
  for (const auto& c : cases) {
    milliseconds now(0);
    int tries = 0;
    const int last = RetryWhileRefused(
        policy, now - c.before, [&] { return now; },
        [&](int tryNumber) { return tryNumber <= c.refusals; }, [&] { return ++tries; },
        [&](milliseconds wait) { now += wait; });
    EXPECT_EQ(tries, c.tries) << c.label;
    EXPECT_EQ(last, tries) << c.label << ": the last try's answer is returned";
  }
}

}  // namespace
}  // namespace engine
