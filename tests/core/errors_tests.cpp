#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include <gtest/gtest.h>

#include "core/errors.h"

namespace nvx {
namespace {

TEST(Describe, PlatformErrorsAreShownVerbatim) {
    EXPECT_EQ(describe(FileSystemError("Не удалось записать файл «a»: нет доступа.")),
              "Не удалось записать файл «a»: нет доступа.");
}

// Whatever a library beneath us throws reaches the user as Russian, never as
// its English what().
TEST(Describe, ForeignExceptionsBecomeRussianSentences) {
    EXPECT_EQ(describe(std::bad_alloc()), "Недостаточно памяти для этой операции.");
    EXPECT_EQ(describe(std::system_error(std::make_error_code(std::errc::no_space_on_device), "write")),
              "Системная ошибка: на диске нет места.");
    EXPECT_EQ(describe(std::filesystem::filesystem_error("cannot remove", "/tmp/x",
                                                         std::make_error_code(std::errc::permission_denied))),
              "Ошибка файловой системы «/tmp/x»: нет доступа.");
    const std::string unknown = describe(std::out_of_range("vector::_M_range_check: __n (which is 5)"));
    EXPECT_EQ(unknown,
              "Внутренняя ошибка программы. Повторите действие; если ошибка повторится, сообщите о ней разработчикам.");
}

}  // namespace
}  // namespace nvx
