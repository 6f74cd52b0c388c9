#include "support/private_postgres.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "core/random_id.h"
#include "support/child_process.h"

namespace nvx::testing {
namespace {

const std::filesystem::path binaries = "/usr/lib/postgresql/15/bin";
constexpr const char* superuser = "nvx";
constexpr auto startLimit = std::chrono::seconds(60);

// A loopback port nobody listens on at this moment.
int freeLoopbackPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (probe >= 0) ::close(probe);
    if (!bound) throw std::runtime_error("no free loopback port for PostgreSQL");
    return ntohs(address.sin_port);
}

std::string keywordConnection(int port, const std::string& database) {
    return "host=127.0.0.1 port=" + std::to_string(port) + " user=" + superuser + " dbname=" + database +
           " connect_timeout=10";
}

}  // namespace

PrivatePostgres::PrivatePostgres()
    : folder_(std::filesystem::temp_directory_path() / ("nvx-test-postgres-" + randomUUID())) {
    std::filesystem::create_directories(folder_);
    try {
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        if (::geteuid() == 0) {
            // The server refuses to run as root: the folder and the server
            // belong to the postgres system user.
            const passwd* postgres = ::getpwnam("postgres");
            if (postgres == nullptr) throw std::runtime_error("no postgres system user (install postgresql-15)");
            user_ = postgres->pw_uid;
            group_ = postgres->pw_gid;
            switchUser_ = true;
            if (::chown(folder_.c_str(), user_, group_) != 0) throw std::runtime_error("chown of the server folder");
        }
#ifdef NVX_TEST_POSTGRES_TEMPLATE
        // initdb takes seconds and makes the same cluster every time: it
        // runs once per build tree, and each server starts from a copy.
        const std::filesystem::path cluster = NVX_TEST_POSTGRES_TEMPLATE;
        if (!std::filesystem::exists(cluster / "data" / "PG_VERSION")) makeTemplate(cluster);
        const ProcessResult copied =
            runProcess({"/bin/cp", "-a", (cluster / "data").string(), (folder_ / "data").string()});
        if (copied.status != 0) throw std::runtime_error("copying the cluster template failed: " + copied.err);
#else
        initializeCluster(folder_);
#endif
        // A port taken by someone else between the probe and the server's
        // bind costs one more try with another port.
        bool started = false;
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            port_ = freeLoopbackPort();
            started = startOnPort();
        }
        if (!started) throw std::runtime_error("PostgreSQL did not start: " + serverLog());
    } catch (...) {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        throw;
    }
}

void PrivatePostgres::initializeCluster(const std::filesystem::path& folder) const {
    std::vector<std::string> initdb = {(binaries / "initdb").string(),
                                       "--pgdata",
                                       (folder / "data").string(),
                                       "--username",
                                       superuser,
                                       "--auth",
                                       "trust",
                                       "--encoding",
                                       "UTF8",
                                       "--locale",
                                       "C.UTF-8",
                                       "--no-sync"};
    if (switchUser_) initdb.insert(initdb.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    const ProcessResult made = runProcess(initdb);
    if (made.status != 0) throw std::runtime_error("initdb failed: " + made.out + made.err);
}

void PrivatePostgres::makeTemplate(const std::filesystem::path& cluster) const {
    // Made aside and renamed into place: of two programs making it at once
    // (ctest -j), one rename wins and the other's copy is dropped.
    const std::filesystem::path making = cluster.string() + ".making-" + randomUUID();
    std::filesystem::create_directories(making);
    try {
        if (switchUser_ && ::chown(making.c_str(), user_, group_) != 0)
            throw std::runtime_error("chown of the template folder");
        initializeCluster(making);
        std::error_code taken;
        std::filesystem::rename(making, cluster, taken);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(making, ignored);
        throw;
    }
    std::error_code ignored;
    std::filesystem::remove_all(making, ignored);  // there when the other program's rename won
}

PrivatePostgres::~PrivatePostgres() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool PrivatePostgres::startOnPort() {
    const std::string program = (binaries / "postgres").string();
    const std::string log = (folder_ / "server.log").string();
    std::vector<std::string> arguments = {program,
                                          "-D",
                                          (folder_ / "data").string(),
                                          "-p",
                                          std::to_string(port_),
                                          "-k",
                                          folder_.string(),
                                          "-c",
                                          "listen_addresses=127.0.0.1",
                                          "-c",
                                          "shared_buffers=16MB",
                                          "-c",
                                          "max_connections=100"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    // fork rather than runuser: the server must outlive no test program.
    // The parent-death signal (set after the user switch, which clears it)
    // shuts it down even when the program is killed; runuser would stand
    // between them and answer a signal with SIGKILL after two seconds.
    server_ = ::fork();
    if (server_ < 0) throw std::runtime_error("fork");
    if (server_ == 0) {
        const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (output < 0 || input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
            ::dup2(output, STDERR_FILENO) < 0)
            ::_exit(127);
        if (switchUser_ && (::setgroups(0, nullptr) != 0 || ::setgid(group_) != 0 || ::setuid(user_) != 0))
            ::_exit(127);
        if (::prctl(PR_SET_PDEATHSIG, SIGINT) != 0 || ::getppid() != parent) ::_exit(127);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    const std::string probe = keywordConnection(port_, "postgres");
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (PQping(probe.c_str()) == PQPING_OK) return true;
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            if (serverLog().find("could not bind") != std::string::npos) return false;
            throw std::runtime_error("PostgreSQL ended at start: " + serverLog());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling for readiness
    }
    throw std::runtime_error("PostgreSQL not ready in time: " + serverLog());
}

void PrivatePostgres::stop() {
    if (server_ <= 0) return;
    ::kill(server_, SIGINT);  // fast shutdown: cut connections, then stop cleanly
    int status = 0;
    while (::waitpid(server_, &status, 0) < 0 && errno == EINTR) {
    }
    server_ = -1;
}

void PrivatePostgres::start() {
    if (server_ > 0) return;
    if (!startOnPort()) throw std::runtime_error("PostgreSQL could not take its port again: " + serverLog());
}

std::string PrivatePostgres::serverLog() const {
    std::ifstream log(folder_ / "server.log");
    return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
}

std::string PrivatePostgres::uri(const std::string& database) const {
    return "postgresql://" + std::string(superuser) + "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

std::string PrivatePostgres::freshDatabase() {
    const std::string name = "depot_" + std::to_string(++databases_);
    PGconn* connection = PQconnectdb(keywordConnection(port_, "postgres").c_str());
    PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
    const bool created = PQresultStatus(result) == PGRES_COMMAND_OK;
    const std::string message = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    if (!created) throw std::runtime_error("CREATE DATABASE failed: " + message);
    return uri(name);
}

}  // namespace nvx::testing
