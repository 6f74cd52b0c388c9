#include "errors.h"

namespace nvx {

std::string describe(const std::exception& error) {
    return error.what();
}

}  // namespace nvx
