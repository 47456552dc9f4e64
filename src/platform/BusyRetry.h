#pragma once

// Asking a busy application again: how often and for how long. Free of any
// platform header, so that the rule is tested without the automation runtime.

#include <chrono>

namespace engine {

/// A refused call is asked again every |interval| until |bound| has passed
/// since the call began.
struct RetryPolicy {
  std::chrono::milliseconds interval;
  std::chrono::milliseconds bound;
};

/// Runs |call| and returns its result once |refused(result)| is false, or once
/// |policy.bound| has passed between |start| and |now()| after a refusal;
/// between tries, |wait(policy.interval)|. The bound is measured from |start|,
/// not from the first try, so that steps of one call share it.
template <typename TimePoint, typename Now, typename Refused, typename Call, typename Wait>
auto RetryWhileRefused(const RetryPolicy& policy, TimePoint start, Now&& now, Refused&& refused,
                       Call&& call, Wait&& wait) {
  for (;;) {
    auto result = call();
    if (!refused(result) || now() - start >= policy.bound) return result;
    wait(policy.interval);
  }
}

}  // namespace engine
