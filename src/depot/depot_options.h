#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace nvx::depot {

struct DepotOptions {
    std::string host = "127.0.0.1";
    int port = 8916;  // 0: any free port, printed once listening
    // A SQLite file, or a PostgreSQL connection URI (isPostgresURI).
    std::filesystem::path database;
    // PEM files; both or neither. With them the depot speaks only HTTPS.
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
    // "name:hash" lines of the people who may see the fleet-wide pages.
    std::filesystem::path viewers;
    // Plain HTTP on a non-loopback address, for a TLS proxy in front.
    bool plainHTTP = false;
    bool help = false;
    // Print the hash of a password read from standard input, and end.
    bool hashPassword = false;

    bool secure() const { return !tlsCertificate.empty(); }
};

// A command line that cannot be followed; what() is a Russian sentence.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* depotUsage =
    "Использование: nvx-depot [--listen АДРЕС:ПОРТ] [--db ФАЙЛ|URI] [--tls-cert ФАЙЛ --tls-key ФАЙЛ]\n"
    "                         [--viewers ФАЙЛ] [--plain-http]\n"
    "       nvx-depot --hash-password\n"
    "  --listen         где принимать описи; по умолчанию 127.0.0.1:8916, порт 0 — любой свободный\n"
    "  --db             файл базы SQLite; по умолчанию depot.sqlite в папке данных NVX Depotrium;\n"
    "                   или база PostgreSQL: postgresql://пользователь@узел:порт/база (любой адрес libpq,\n"
    "                   также postgres://); несколько складов на одной базе — один склад\n"
    "  --tls-cert       сертификат в PEM (можно с цепочкой); склад говорит только по HTTPS\n"
    "  --tls-key        закрытый ключ к сертификату в PEM\n"
    "  --viewers        файл зрителей (строки имя:хеш): кто видит список описей и сводные страницы\n"
    "  --plain-http     HTTP без TLS на внешнем адресе, когда TLS снимает прокси перед складом\n"
    "  --hash-password  прочитать пароль из стандартного ввода и напечатать его хеш для файла зрителей\n"
    "SIGHUP перечитывает сертификат, ключ и файл зрителей, не закрывая порт.\n";

// `environment` answers a variable's value or nullopt when it is not set.
using EnvironmentLookup = std::optional<std::string> (*)(const char* name);
std::optional<std::string> processEnvironment(const char* name);

// The data folder: NVX_DATA_DIR when set, else "$XDG_DATA_HOME/NVX Depotrium",
// else "~/.local/share/NVX Depotrium". Throws UsageError when there is no
// home folder to put it in.
std::filesystem::path dataDirectory(EnvironmentLookup environment = processEnvironment);

// Reads the arguments after the program name. Throws UsageError.
DepotOptions parseDepotOptions(const std::vector<std::string>& arguments,
                               EnvironmentLookup environment = processEnvironment);

// "http://127.0.0.1:8916", "https://[::1]:8916".
std::string listeningAddress(const std::string& host, int port, bool secure = false);

}  // namespace nvx::depot
