#include "common/interrupt.hpp"

#include <gtest/gtest.h>

#include <cerrno>

namespace dsf {
namespace {

// A system call that is interrupted `interruptions` times and then succeeds with 7.
struct FakeCall {
  int interruptions;
  int made = 0;
  int operator()() {
    if (made++ < interruptions) {
      errno = EINTR;
      return -1;
    }
    return 7;
  }
};

TEST(RetryOnEintr, RetriesUntilTheCallGoesThroughWhenNoCheckIsInPlace) {
  FakeCall call{.interruptions = 3};
  EXPECT_EQ(retry_on_eintr(call), 7);
  EXPECT_EQ(call.made, 4);
}

TEST(RetryOnEintr, AsksTheThreadsCheckBeforeEachRetryAndStopsWhenItSaysSo) {
  struct Case {
    int interruptions;
    int stop_at_ask;  // the check says stop at this ask, 0 for never
    int result;
    int made;
  };
  for (auto [interruptions, stop_at_ask, result, made] :
       {Case{0, 1, 7, 1}, Case{2, 0, 7, 3}, Case{2, 1, -1, 1}, Case{5, 3, -1, 3}}) {
    struct Asks {
      int count = 0;
      int stop_at;
    } asks{.stop_at = stop_at_ask};
    InterruptCheckScope scope({[](void* context) {
                                 auto* a = static_cast<Asks*>(context);
                                 errno = 0;  // whatever the check does, the caller sees EINTR
                                 return ++a->count == a->stop_at;
                               },
                               &asks});
    FakeCall call{.interruptions = interruptions};
    EXPECT_EQ(retry_on_eintr(call), result) << interruptions << " " << stop_at_ask;
    EXPECT_EQ(call.made, made);
    if (result < 0) {
      EXPECT_EQ(errno, EINTR);
    }
  }
}

TEST(RetryOnEintr, AScopeRestoresTheCheckBeforeIt) {
  auto stop = [](void*) { return true; };
  {
    InterruptCheckScope outer({stop, nullptr});
    { InterruptCheckScope inner({nullptr, nullptr}); EXPECT_FALSE(stop_requested()); }
    EXPECT_TRUE(stop_requested());
  }
  EXPECT_FALSE(stop_requested());
}

}  // namespace
}  // namespace dsf
