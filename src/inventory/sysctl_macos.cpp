#include "inventory/sysctl.h"

#include <cstring>
#include <vector>

#include <sys/sysctl.h>
#include <sys/types.h>

#include "inventory/utf8_text.h"

namespace nvx {

std::optional<std::string> sysctlString(const std::string& name) {
    std::size_t size = 0;
    if (::sysctlbyname(name.c_str(), nullptr, &size, nullptr, 0) != 0 || size == 0) return std::nullopt;
    std::vector<char> buffer(size, '\0');
    if (::sysctlbyname(name.c_str(), buffer.data(), &size, nullptr, 0) != 0) return std::nullopt;
    // The value may have shrunk between the two calls; text ends at the first NUL.
    const std::size_t length = ::strnlen(buffer.data(), size < buffer.size() ? size : buffer.size());
    return repairedUTF8(std::string_view(buffer.data(), length));
}

std::optional<std::int64_t> sysctlInt(const std::string& name) {
    std::int32_t value = 0;
    std::size_t size = sizeof value;
    if (::sysctlbyname(name.c_str(), &value, &size, nullptr, 0) != 0) return std::nullopt;
    return value;
}

}  // namespace nvx
