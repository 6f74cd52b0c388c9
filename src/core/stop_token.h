#pragma once

#include <memory>
#include <mutex>

namespace nvx {

// A one-way stop flag shared by everything that works on one run. Copies are
// handles to the same flag; a new run takes a new token.
class StopToken {
public:
    StopToken();

    // Sets the flag. Interrupts nothing: workers notice at their next check.
    void cancel() const;
    bool isCancelled() const;
    // Throws CancellationError once the token is stopped.
    void check() const;

private:
    struct State {
        std::mutex lock;
        bool stopped = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace nvx
