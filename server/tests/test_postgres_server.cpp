#include "test_postgres_server.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Only the socket in the server's own folder listens, so this number
// cannot meet another server's.
constexpr int kPort = 54329;
constexpr const char* kSuperuser = "morvane";
constexpr const char* kLibraries = "libraries";  // the database that holds the libraries

struct Account {
  uid_t uid;
  gid_t gid;
};

// Who runs the server: ourselves, or an unprivileged user when we are root.
std::optional<Account> ServerAccount() {
  if (geteuid() != 0) return std::nullopt;
  for (const char* name : {"postgres", "nobody"}) {
    if (const passwd* user = getpwnam(name)) return Account{user->pw_uid, user->pw_gid};
  }
  throw std::runtime_error("running as root, and neither a postgres nor a nobody user exists");
}

// Starts `arguments` with its output in `log`, as `account` when given.
// With `tiedToUs`, the program gets SIGQUIT (PostgreSQL's immediate stop)
// when this process ends, so a crashed test leaves no server behind.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& log,
            const std::optional<Account>& account, bool tiedToUs) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot fork");
  if (child > 0) return child;
  if (account &&
      (setgroups(0, nullptr) != 0 || setgid(account->gid) != 0 || setuid(account->uid) != 0)) {
    _exit(126);
  }
  // Set after the change of user, which clears it.
  if (tiedToUs && (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)) _exit(126);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (out >= 0) {
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    close(out);
  }
  const int none = open("/dev/null", O_RDONLY);
  if (none >= 0) dup2(none, STDIN_FILENO);
  execv(argv[0], argv.data());
  _exit(127);
}

std::string ReadLog(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Version(const fs::path& folder) { return folder.filename().string(); }

}  // namespace

std::string TestPostgresServer::ProgramFolder() {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
    const fs::path bin = entry.path() / "bin";
    if (fs::exists(bin / "postgres", error) && fs::exists(bin / "initdb", error)) {
      found.push_back(entry.path());
    }
  }
  if (found.empty()) return {};
  // Versions are numbers ("15", "16"): the newest is the largest.
  const auto newest =
      std::max_element(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        return std::atoi(Version(a).c_str()) < std::atoi(Version(b).c_str());
      });
  return (*newest / "bin").string();
}

TestPostgresServer::TestPostgresServer() {
  try {
    Start();
  } catch (...) {
    Stop();
    throw;
  }
}

TestPostgresServer::~TestPostgresServer() { Stop(); }

void TestPostgresServer::Start() {
  const std::string programs = ProgramFolder();
  if (programs.empty()) throw std::runtime_error("no PostgreSQL server under /usr/lib/postgresql");
  std::string pattern = (fs::temp_directory_path() / "morvane-pg-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder for PostgreSQL");
  folder_ = pattern;
  const auto account = ServerAccount();
  if (account && chown(folder_.c_str(), account->uid, account->gid) != 0) {
    throw std::runtime_error("cannot give " + folder_ + " to the server's user");
  }
  const std::string data = folder_ + "/data", log = folder_ + "/server.log";

  const pid_t initdb = Spawn({programs + "/initdb", "-D", data, "-U", kSuperuser, "-A", "trust",
                              "-E", "UTF8", "--locale=C", "--no-sync"},
                             log, account, false);
  int status = 0;
  waitpid(initdb, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("initdb failed:\n" + ReadLog(log));
  }

  server_ = Spawn({programs + "/postgres", "-D", data, "-k", folder_, "-p", std::to_string(kPort),
                   "-c", "listen_addresses=", "-c", "fsync=off", "-c", "synchronous_commit=off",
                   "-c", "full_page_writes=off"},
                  log, account, true);
  const std::string admin = ConnectionString("postgres");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (PQping(admin.c_str()) != PQPING_OK) {
    if (waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      throw std::runtime_error("the PostgreSQL server ended at its start:\n" + ReadLog(log));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("the PostgreSQL server did not start in 60 s:\n" + ReadLog(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  admin_ = PQconnectdb(admin.c_str());
  Execute(std::string("CREATE DATABASE ") + kLibraries);
  PQfinish(admin_);
  admin_ = PQconnectdb(ConnectionString(kLibraries).c_str());
  if (PQstatus(admin_) != CONNECTION_OK) {
    throw std::runtime_error(std::string("cannot connect to the test server: ") +
                             PQerrorMessage(admin_));
  }
}

void TestPostgresServer::Stop() {
  PQfinish(admin_);
  admin_ = nullptr;
  if (server_ > 0) {
    // A fast stop: sessions are ended, the data is thrown away anyway.
    kill(server_, SIGINT);
    int status = 0;
    waitpid(server_, &status, 0);
    server_ = -1;
  }
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

void TestPostgresServer::Execute(const std::string& sql) {
  PGresult* result = PQexec(admin_, sql.c_str());
  const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
  const std::string why = PQresultErrorMessage(result);
  PQclear(result);
  if (!done) throw std::runtime_error(sql + ": " + why);
}

std::string TestPostgresServer::NewLibrary() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string schema = "library_" + std::to_string(++libraries_);
  Execute("CREATE SCHEMA " + schema);
  return ConnectionString(kLibraries, schema);
}

std::string TestPostgresServer::ConnectionString(const std::string& database,
                                                 const std::string& schema) const {
  std::string text = "postgresql://" + std::string(kSuperuser) + "@/" + database +
                     "?host=" + folder_ + "&port=" + std::to_string(kPort);
  if (!schema.empty()) text += "&options=-csearch_path%3D" + schema;
  return text;
}
