#pragma once

#include <stdexcept>
#include <string>

namespace nvx {

// The program's own failure: one complete Russian sentence, shown or printed
// exactly as it stands.
class DepotriumError : public std::exception {
public:
    explicit DepotriumError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// A stop requested through a StopToken. Deliberately not a DepotriumError:
// callers tell the two apart by type and never turn this one into a message
// or a skipped metric.
class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "Операция остановлена."; }
};

// Failures of the platform beneath us (file system, process launch, JSON,
// HTTP transport, GPU compilation). what() is the user-facing description.
class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FileSystemError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

class LaunchError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// Malformed JSON or property-list text, or a document of the wrong shape.
class ParseError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// A value that cannot be written as JSON (a non-finite double).
class EncodingError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

class TransportError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

class ComputeError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// The user-facing description of any error, always Russian: for ours and the
// platform's it is what() itself; a foreign exception (out of memory, a
// standard library failure) becomes a Russian sentence of its own, never its
// English what().
std::string describe(const std::exception& error);

}  // namespace nvx
