#include "upload/curl_session.h"

#include "core/errors.h"

namespace nvx {
namespace {

// Idle handles kept beyond this many are closed: each one holds open
// connections, and more concurrent uploads than this are not expected.
constexpr std::size_t maximumIdleHandles = 16;

}  // namespace

CurlSession& CurlSession::shared() {
    // Thread-safe one-time construction. Deliberately never destroyed: an
    // upload still running on another thread while the process exits must
    // not find its handle pool torn down under it. The system reclaims the
    // memory and closes the connections at exit.
    static CurlSession* session = new CurlSession;
    return *session;
}

CurlSession::CurlSession() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;  // borrow() reports it
    share_ = curl_share_init();
    if (share_ == nullptr) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlSession::lockShared);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlSession::unlockShared);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

void CurlSession::lockShared(CURL*, curl_lock_data data, curl_lock_access, void* session) {
    static_cast<CurlSession*>(session)->sharedDataLocks_[data].lock();
}

void CurlSession::unlockShared(CURL*, curl_lock_data data, void* session) {
    static_cast<CurlSession*>(session)->sharedDataLocks_[data].unlock();
}

CurlSession::Lease CurlSession::borrow() {
    if (share_ == nullptr) throw TransportError("Не удалось подготовить HTTP-клиент (libcurl).");
    CURL* handle = nullptr;
    {
        std::lock_guard lock(poolLock_);
        if (!idleHandles_.empty()) {
            handle = idleHandles_.back();
            idleHandles_.pop_back();
        }
    }
    if (handle == nullptr) {
        handle = curl_easy_init();
        if (handle == nullptr) throw TransportError("Не удалось подготовить HTTP-запрос (libcurl).");
    } else {
        // Forget the previous transfer's options; open connections and the
        // caches stay.
        curl_easy_reset(handle);
    }
    curl_easy_setopt(handle, CURLOPT_SHARE, share_);
    return Lease(*this, handle);
}

void CurlSession::giveBack(CURL* handle) {
    {
        std::lock_guard lock(poolLock_);
        if (idleHandles_.size() < maximumIdleHandles) {
            idleHandles_.push_back(handle);
            return;
        }
    }
    curl_easy_cleanup(handle);
}

}  // namespace nvx
