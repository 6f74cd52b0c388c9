#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nvx::testing {

// An in-process depot on 127.0.0.1 and a port the system picked. By default
// it behaves like a correct server: it stores the posted body under the
// report's id with the receipt key, confirms the id, and serves the stored
// bytes back to the same key. Tests replace either handler to misbehave.
class FakeDepot {
public:
    struct Seen {
        std::string method;
        std::string target;  // as sent, before decoding
        std::string path;    // decoded
        std::string receiptKey;
        std::string contentType;
        std::string body;
    };

    explicit FakeDepot(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : server_(std::move(server)) {
        server_->Post("/api/runs", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            onPost(request, response);
        });
        server_->Get("/api/runs/(.+)", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            onGet(request, response);
        });
        // One request per connection: an idle kept-alive connection would
        // hold stop() for the whole keep-alive time.
        server_->set_keep_alive_max_count(1);
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        // stop() does nothing to a server that has not started listening
        // yet, so the destructor could otherwise wait forever.
        while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~FakeDepot() {
        server_->stop();
        thread_.join();
    }

    FakeDepot(const FakeDepot&) = delete;
    FakeDepot& operator=(const FakeDepot&) = delete;

    int port() const { return port_; }
    std::string address(const std::string& scheme = "http", const std::string& host = "127.0.0.1") const {
        return scheme + "://" + host + ":" + std::to_string(port_);
    }

    std::vector<Seen> seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

    // Handlers run on the server's threads; they may use stored().
    std::function<void(const httplib::Request&, httplib::Response&)> onPost = [this](auto& request, auto& response) {
        storeAndConfirm(request, response);
    };
    std::function<void(const httplib::Request&, httplib::Response&)> onGet = [this](auto& request, auto& response) {
        serveStored(request, response);
    };

    void storeAndConfirm(const httplib::Request& request, httplib::Response& response) {
        const auto json = nlohmann::json::parse(request.body);
        const std::string id = json.at("id").get<std::string>();
        {
            std::lock_guard lock(mutex_);
            stored_[id] = {request.get_header_value("X-NVX-Receipt-Key"), request.body};
        }
        response.set_content(nlohmann::json{{"id", id}}.dump(), "application/json");
    }

    void serveStored(const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex_);
        const auto record = stored_.find(request.matches[1].str());
        if (record == stored_.end() || record->second.first != request.get_header_value("X-NVX-Receipt-Key")) {
            response.status = 401;
            return;
        }
        response.set_content(record->second.second, "application/json");
    }

private:
    void remember(const httplib::Request& request) {
        std::lock_guard lock(mutex_);
        seen_.push_back({request.method, request.target, request.path, request.get_header_value("X-NVX-Receipt-Key"),
                         request.get_header_value("Content-Type"), request.body});
    }

    std::unique_ptr<httplib::Server> server_;
    int port_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
    std::map<std::string, std::pair<std::string, std::string>> stored_;  // id → key, body
};

}  // namespace nvx::testing
