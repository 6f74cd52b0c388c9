#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "upload/depotrium_api.h"

namespace nvx {

// The environment variable naming a PEM file of certificate authorities that
// the depot's connections trust in addition to the system's store: how an
// organisation that runs its depot under its own authority lets clients in.
inline constexpr const char* authorityFileVariable = "NVX_CA_FILE";

// The PEM text of the authorities in `file`. Throws DepotriumError when the
// file cannot be read or holds no certificate: a trust setting that silently
// did nothing would only show up later as a baffling TLS failure.
std::string readAuthorityFile(const std::filesystem::path& file);

// The options of an upload as the process's environment sets them: the
// authorities of NVX_CA_FILE when it is set and not empty. Throws as above.
UploadOptions uploadOptionsFromEnvironment();

// How many certificates the PEM text holds (unreadable blocks end the count).
std::size_t certificateCount(const std::string& pem);

}  // namespace nvx
