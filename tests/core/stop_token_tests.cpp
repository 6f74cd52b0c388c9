#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/stop_token.h"

namespace nvx {
namespace {

TEST(StopToken, ChecksPassUntilCancelledThenAlwaysThrowCancellation) {
    StopToken token;
    EXPECT_FALSE(token.isCancelled());
    EXPECT_NO_THROW(token.check());
    token.cancel();
    token.cancel();
    EXPECT_TRUE(token.isCancelled());
    for (int i = 0; i < 3; ++i) EXPECT_THROW(token.check(), CancellationError);
}

TEST(StopToken, CopiesShareOneFlagAcrossThreads) {
    StopToken token;
    const StopToken copy = token;
    std::atomic<int> sawStop{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([copy, &sawStop] {
            while (!copy.isCancelled()) std::this_thread::yield();
            ++sawStop;
        });
    token.cancel();
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(sawStop.load(), 4);
    EXPECT_FALSE(StopToken().isCancelled()) << "a new token is a new flag";
}

TEST(DepotriumError, DescriptionIsTheMessageVerbatim) {
    const DepotriumError error("Metal недоступен на этом компьютере.");
    EXPECT_STREQ(error.what(), "Metal недоступен на этом компьютере.");
    EXPECT_EQ(describe(error), "Metal недоступен на этом компьютере.");
}

TEST(DepotriumError, CancellationIsNotADepotriumError) {
    try {
        StopToken token;
        token.cancel();
        token.check();
        FAIL();
    } catch (const DepotriumError&) {
        FAIL() << "cancellation must be its own kind";
    } catch (const CancellationError&) {
        SUCCEED();
    }
}

}  // namespace
}  // namespace nvx
