#include "errors.h"

#include <filesystem>
#include <new>
#include <system_error>

#include "files.h"

namespace nvx {

std::string describe(const std::exception& error) {
    // Ours and the platform's carry their user-facing sentence already.
    if (dynamic_cast<const DepotriumError*>(&error) || dynamic_cast<const CancellationError*>(&error) ||
        dynamic_cast<const PlatformError*>(&error))
        return error.what();
    // Anything else comes from the standard library or a library beneath us,
    // with an English what(): the user gets a Russian sentence instead.
    if (dynamic_cast<const std::bad_alloc*>(&error)) return "Недостаточно памяти для этой операции.";
    if (const auto* failure = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
        const std::string path = failure->path1().empty() ? std::string() : " «" + failure->path1().string() + "»";
        return "Ошибка файловой системы" + path + ": " + systemErrorText(failure->code().value()) + ".";
    }
    if (const auto* failure = dynamic_cast<const std::system_error*>(&error);
        failure &&
        (failure->code().category() == std::generic_category() || failure->code().category() == std::system_category()))
        return "Системная ошибка: " + systemErrorText(failure->code().value()) + ".";
    return "Внутренняя ошибка программы. Повторите действие; если ошибка повторится, сообщите о ней разработчикам.";
}

}  // namespace nvx
