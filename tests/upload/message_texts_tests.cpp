// The texts the user reads when a submission fails, pinned letter by letter:
// the protocol tests check which of them each answer gives.
#include <gtest/gtest.h>

#include "upload/depotrium_api.h"

namespace nvx {
namespace {

TEST(UploadMessages, AreTheSentencesTheUserReads) {
    EXPECT_STREQ(DepotriumAPI::addressPolicyMessage,
                 "Укажите HTTPS-адрес склада. Для локальной проверки разрешён HTTP на localhost.");
    EXPECT_STREQ(DepotriumAPI::notAcknowledgedMessage,
                 "Сервер не подтвердил приём описи. Проверьте адрес склада и повторите отправку.");
    EXPECT_STREQ(DepotriumAPI::refusedMessage,
                 "Склад не принял результат. Данные остались в приложении: повторите отправку или сохраните файл.");
    EXPECT_STREQ(DepotriumAPI::redirectedMessage,
                 "Сервер перенаправил отправку на другой адрес. Сохранение не подтверждено.");
    EXPECT_STREQ(DepotriumAPI::identifierNotConfirmedMessage,
                 "Сервер не подтвердил идентификатор записи. Повторите отправку.");
    EXPECT_STREQ(DepotriumAPI::integrityMessage,
                 "Отправка прошла, но целостность сохранённой описи не подтвердилась. Локальная копия сохранена; "
                 "повторите проверку.");
}

}  // namespace
}  // namespace nvx
