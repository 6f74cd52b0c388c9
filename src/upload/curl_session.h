#pragma once

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <vector>

namespace nvx {

// The process-wide HTTP session of the upload client, created on first use.
//
// An easy handle may be used by one thread at a time only, so the session
// keeps a small pool of them: a transfer borrows one (reset to no options,
// but keeping its open connections) and gives it back afterwards. Several
// uploads can so run at once on different threads, and consecutive uploads
// reuse a live connection. The DNS cache and the TLS session cache are
// shared between the handles through a share object guarded by locks; the
// connection cache is deliberately not shared, libcurl does not support that
// between concurrent threads. Nothing is ever written to disk and no cookie
// engine is switched on.
class CurlSession {
public:
    // Borrowed handle; goes back to the pool when destroyed.
    class Lease {
    public:
        Lease(CurlSession& session, CURL* handle) : session_(&session), handle_(handle) {}
        Lease(Lease&& other) noexcept : session_(other.session_), handle_(other.handle_) { other.handle_ = nullptr; }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (handle_ != nullptr) session_->giveBack(handle_);
        }
        CURL* get() const { return handle_; }

    private:
        CurlSession* session_;
        CURL* handle_;
    };

    static CurlSession& shared();

    // A handle with every option at its default, attached to the share.
    // Throws TransportError when libcurl cannot make one.
    Lease borrow();

    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

private:
    CurlSession();
    void giveBack(CURL* handle);

    static void lockShared(CURL*, curl_lock_data data, curl_lock_access, void* session);
    static void unlockShared(CURL*, curl_lock_data data, void* session);

    CURLSH* share_ = nullptr;
    // One lock per kind of shared data (libcurl's curl_lock_data values).
    std::mutex sharedDataLocks_[CURL_LOCK_DATA_LAST];
    std::mutex poolLock_;
    std::vector<CURL*> idleHandles_;
};

}  // namespace nvx
