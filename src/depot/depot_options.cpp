#include "depot/depot_options.h"

#include <charconv>
#include <cstdlib>

#include "depot/loopback_address.h"

namespace nvx::depot {
namespace {

int parsedPort(const std::string& text, const std::string& listen) {
    int port = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
        throw UsageError("Неверный адрес для --listen: «" + listen + "». Нужен вид АДРЕС:ПОРТ, порт от 0 до 65535.");
    }
    return port;
}

void parseListen(const std::string& listen, DepotOptions& options) {
    const auto colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw UsageError("Неверный адрес для --listen: «" + listen + "». Нужен вид АДРЕС:ПОРТ, например 127.0.0.1:8916.");
    }
    std::string host = listen.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            throw UsageError("Неверный адрес для --listen: «" + listen + "».");
        }
        host = host.substr(1, host.size() - 2);
    }
    options.host = host;
    options.port = parsedPort(listen.substr(colon + 1), listen);
}

}  // namespace

std::optional<std::string> processEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::filesystem::path dataDirectory(EnvironmentLookup environment) {
    if (auto configured = environment("NVX_DATA_DIR"); configured && !configured->empty()) return *configured;
    if (auto data = environment("XDG_DATA_HOME"); data && !data->empty() && data->front() == '/') {
        return std::filesystem::path(*data) / "NVX Depotrium";
    }
    auto home = environment("HOME");
    if (!home || home->empty()) {
        throw UsageError("Не найдена домашняя папка (HOME не задана); укажите файл базы через --db.");
    }
    return std::filesystem::path(*home) / ".local" / "share" / "NVX Depotrium";
}

DepotOptions parseDepotOptions(const std::vector<std::string>& arguments, EnvironmentLookup environment) {
    DepotOptions options;
    bool databaseGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        if (argument == "--hash-password") {
            options.hashPassword = true;
            return options;
        }
        if (argument == "--plain-http") {
            options.plainHTTP = true;
            continue;
        }
        std::filesystem::path* path = argument == "--db"         ? &options.database
                                      : argument == "--tls-cert" ? &options.tlsCertificate
                                      : argument == "--tls-key"  ? &options.tlsKey
                                      : argument == "--viewers"  ? &options.viewers
                                                                 : nullptr;
        if (argument != "--listen" && path == nullptr) throw UsageError("Неизвестный параметр: «" + argument + "».");
        if (i + 1 >= arguments.size()) throw UsageError("После " + argument + " нужно значение.");
        const std::string& value = arguments[++i];
        if (argument == "--listen") {
            parseListen(value, options);
            continue;
        }
        if (value.empty()) throw UsageError("Путь для " + argument + " пуст.");
        *path = value;
        databaseGiven = databaseGiven || argument == "--db";
    }
    if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
        throw UsageError("Для HTTPS нужны оба параметра: --tls-cert и --tls-key.");
    }
    if (options.secure() && options.plainHTTP) {
        throw UsageError("--plain-http не сочетается с --tls-cert: склад говорит либо по HTTPS, либо по HTTP.");
    }
    if (!options.secure() && !options.plainHTTP && !isLoopbackHost(options.host)) {
        throw UsageError("Склад не будет слушать «" + options.host +
                         "» без TLS: описи и ключи получения шли бы по сети открытым текстом. Укажите --tls-cert и "
                         "--tls-key или, если TLS снимает прокси перед складом, --plain-http.");
    }
    if (!databaseGiven) options.database = dataDirectory(environment) / "depot.sqlite";
    return options;
}

std::string listeningAddress(const std::string& host, int port, bool secure) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string(secure ? "https" : "http") + "://" + (ipv6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

}  // namespace nvx::depot
