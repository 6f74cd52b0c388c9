#include "core/random_id.h"
#include "upload/depotrium_api.h"

namespace nvx::DepotriumAPI {

std::string makeReceiptKey() {
    std::string key;
    key.reserve(64);
    for (int i = 0; i < 2; ++i) {
        for (char c : randomUUID(UUIDCase::lower)) {
            if (c != '-') key.push_back(c);
        }
    }
    return key;
}

}  // namespace nvx::DepotriumAPI
