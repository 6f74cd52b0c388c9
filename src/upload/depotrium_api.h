#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/report.h"

namespace nvx {

// A server address that passed the address policy: a bare origin, https to
// any host or http to the local machine.
struct ServerAddress {
    std::string text;    // the trimmed address, exactly as typed
    std::string scheme;  // "https" or "http"
    std::string host;    // as parsed; an IPv6 literal without brackets
    std::string port;    // empty when not given
    std::string path;    // "" or "/"

    // The address of an endpoint below this origin, e.g. "api/runs".
    std::string endpoint(std::string_view relativePath) const;
};

// How an upload reaches the server beyond the address itself.
struct UploadOptions {
    // PEM certificates of authorities trusted for https in addition to the
    // system's store (an organisation's own authority). Verification of the
    // peer and of its host name always stays on.
    std::string extraAuthoritiesPEM;
};

namespace DepotriumAPI {

// The one message of every refusal of the address policy.
inline constexpr const char* addressPolicyMessage =
    "Укажите HTTPS-адрес склада. Для локальной проверки разрешён HTTP на localhost.";

// Messages of the upload's own judgements of the server's answers.
inline constexpr const char* notAcknowledgedMessage =
    "Сервер не подтвердил приём описи. Проверьте адрес склада и повторите отправку.";
inline constexpr const char* refusedMessage =
    "Склад не принял результат. Данные остались в приложении: повторите отправку или сохраните файл.";
inline constexpr const char* redirectedMessage =
    "Сервер перенаправил отправку на другой адрес. Сохранение не подтверждено.";
inline constexpr const char* identifierNotConfirmedMessage =
    "Сервер не подтвердил идентификатор записи. Повторите отправку.";
inline constexpr const char* integrityMessage =
    "Отправка прошла, но целостность сохранённой описи не подтвердилась. Локальная копия сохранена; "
    "повторите проверку.";

// The largest answer body the client reads; a larger one is refused as a
// transport failure instead of being held in memory.
inline constexpr std::size_t maximumResponseBytes = 64u * 1024u * 1024u;

// Throws DepotriumError for anything but a bare https origin or an http
// origin on "localhost", "127.0.0.1" or "::1".
ServerAddress checkedURL(std::string_view server);

// 64 lower-case hexadecimal digits from two random UUIDs.
std::string makeReceiptKey();

// The address under which the server shows a record: the server address with
// the single query item "run" = id.
std::string recordAddress(const ServerAddress& server, std::string_view id);

// Submits the report with a fresh receipt key, reads it back and compares it
// field by field. Returns the record address (the server with "?run=<id>").
// Blocks the calling thread; several uploads may run at once on different
// threads. Throws DepotriumError, EncodingError or TransportError. Without
// options, the process's environment gives them (NVX_CA_FILE); an authority
// file that cannot be used fails the upload.
std::string upload(const RunReport& report, std::string_view server);
std::string upload(const RunReport& report, std::string_view server, const UploadOptions& options);

}  // namespace DepotriumAPI
}  // namespace nvx
