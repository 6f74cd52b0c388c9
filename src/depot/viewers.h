#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "depot/password_hash.h"

namespace nvx::depot {

// A viewers file that cannot be used; what() is a Russian sentence naming
// the file and the line.
class ViewersFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The people who may see the fleet-wide pages: one "name:hash" line each
// (the hash as `nvx-depot --hash-password` prints it), "#" comment lines and
// blank lines allowed. Immutable once read; a reload makes a new list.
class ViewerList {
public:
    // Throws ViewersFileError.
    static std::shared_ptr<const ViewerList> parse(std::string_view text, const std::string& fileName);
    static std::shared_ptr<const ViewerList> load(const std::filesystem::path& file);

    // Whether the value of an Authorization header carries HTTP Basic
    // credentials of a viewer. An unknown name costs the same password hash
    // as a known one, and names are compared in constant time, so the answer
    // time does not tell which names exist. Admitted credentials are
    // remembered (as a digest), so a viewer's further page views do not
    // each pay for the slow hash.
    bool admits(std::string_view authorization) const;

    std::size_t size() const { return viewers_.size(); }

private:
    using Digest = std::array<unsigned char, 32>;
    struct Viewer {
        Digest nameDigest;
        PasswordHash hash;
    };

    std::vector<Viewer> viewers_;
    PasswordHash decoy_;  // checked when no name matched
    mutable std::mutex admittedLock_;
    mutable std::set<Digest> admitted_;
};

// The viewers file of a running depot, read again on request.
class Viewers {
public:
    // Throws ViewersFileError.
    explicit Viewers(std::filesystem::path file);

    std::shared_ptr<const ViewerList> current() const;

    // On failure throws ViewersFileError and the current list stays.
    void reload();

private:
    const std::filesystem::path file_;
    mutable std::mutex lock_;
    std::shared_ptr<const ViewerList> list_;
};

}  // namespace nvx::depot
