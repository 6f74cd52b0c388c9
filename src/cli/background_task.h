#pragma once

#include <semaphore>
#include <thread>
#include <utility>

namespace nvx {

// Runs `work` on a thread of its own while the calling thread waits on a
// semaphore that the work signals exactly once, as its last action. The
// result holder is written by the work before the signal and read by the
// caller after the wait, so the semaphore orders the two without a lock.
// The thread is joined before returning: nothing outlives the mode.
struct ResultBox {
    bool failed = false;
};

template <typename Work>
ResultBox runAndWait(Work work) {
    ResultBox box;
    std::binary_semaphore done(0);
    std::thread task([&box, &done, work = std::move(work)]() mutable {
        work(box);
        done.release();
    });
    done.acquire();
    task.join();
    return box;
}

}  // namespace nvx
