#pragma once

#include <cstddef>

namespace nvx {

// The largest report document that can make the round trip: the depot refuses
// request bodies over 32 MiB. Report files are read up to this size and no
// further, and a report that would encode larger is not sent at all.
inline constexpr std::size_t maximumReportBytes = 32u * 1024u * 1024u;

}  // namespace nvx
