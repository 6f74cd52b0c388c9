#include "stop_token.h"

#include "errors.h"

namespace nvx {

StopToken::StopToken() : state_(std::make_shared<State>()) {}

void StopToken::cancel() const {
    std::lock_guard guard(state_->lock);
    state_->stopped = true;
}

bool StopToken::isCancelled() const {
    std::lock_guard guard(state_->lock);
    return state_->stopped;
}

void StopToken::check() const {
    if (isCancelled()) throw CancellationError();
}

}  // namespace nvx
