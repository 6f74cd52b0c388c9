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
    std::filesystem::path database;
    bool help = false;
};

// A command line that cannot be followed; what() is a Russian sentence.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* depotUsage =
    "Использование: nvx-depot [--listen АДРЕС:ПОРТ] [--db ФАЙЛ]\n"
    "  --listen  где принимать описи; по умолчанию 127.0.0.1:8916, порт 0 — любой свободный\n"
    "  --db      файл базы SQLite; по умолчанию depot.sqlite в папке данных NVX Depotrium\n";

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

// "http://127.0.0.1:8916", "http://[::1]:8916".
std::string listeningAddress(const std::string& host, int port);

}  // namespace nvx::depot
