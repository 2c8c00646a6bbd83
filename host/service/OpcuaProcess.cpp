#include "service/OpcuaProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kListening = "opcua: listening at ";
constexpr const char* kInstall = "install them with scripts/setup.sh";
constexpr std::string_view kWriteTokenVariable = "VARBANK_OPCUA_WRITE_TOKEN";
constexpr std::string_view kReadTokenVariable = "VARBANK_OPCUA_READ_TOKEN";

// The child's environment: this process's, less any tokens of its own, plus the service's
// tokens that are set.
std::vector<std::string> ChildEnvironment(const std::string& writeToken,
                                          const std::string& readToken) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('='));
        if (name != kWriteTokenVariable && name != kReadTokenVariable) {
            entries.emplace_back(text);
        }
    }
    if (!writeToken.empty()) {
        entries.push_back(std::string(kWriteTokenVariable) + "=" + writeToken);
    }
    if (!readToken.empty()) {
        entries.push_back(std::string(kReadTokenVariable) + "=" + readToken);
    }
    return entries;
}

// The path of `program` on $PATH; empty when it is not there.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        std::string candidate = end > start ? folders.substr(start, end - start) : ".";
        candidate += '/';
        candidate += program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::string StatusText(int status) {
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "was ended by signal " + std::to_string(WTERMSIG(status));
    }
    return "ended";
}

// The spawn attributes of the child: default dispositions and no blocked signal (varbank
// serve blocks SIGINT and SIGTERM in its threads), and a process group of its own, so that a
// Ctrl-C at the terminal reaches only varbank serve, which then stops the child itself.
struct SpawnAttributes {
    posix_spawnattr_t attributes{};

    SpawnAttributes() {
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                  POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

// Standard input from /dev/null, standard output into the pipe, nothing else inherited.
struct SpawnFiles {
    posix_spawn_file_actions_t actions{};

    explicit SpawnFiles(int output) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, output, 1);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    }
    ~SpawnFiles() { posix_spawn_file_actions_destroy(&actions); }
    SpawnFiles(const SpawnFiles&) = delete;
    SpawnFiles& operator=(const SpawnFiles&) = delete;
};

} // namespace

OpcuaProcess::OpcuaProcess(ServiceLog& log) : m_Log(log) {}

OpcuaProcess::~OpcuaProcess() {
    Stop();
}

std::string OpcuaProcess::ScriptFolder() {
    namespace fs = std::filesystem;
    const char* folder = std::getenv("VARBANK_OPCUA_DIR");
    if (folder != nullptr && *folder != '\0') {
        return folder;
    }
    // An installed varbank (bin/varbank) has its front in share/varbank/opcua.
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path installed = self.parent_path().parent_path() / "share/varbank/opcua";
        if (fs::is_regular_file(installed / "server.mjs", error)) {
            return installed.string();
        }
    }
    return VARBANK_OPCUA_DIR;
}

std::string OpcuaProcess::DefaultStateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::string(state) + "/varbank";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        return std::string(home) + "/.local/state/varbank";
    }
    return ".varbank-state";
}

bool OpcuaProcess::Check(std::string& reason) {
    namespace fs = std::filesystem;
    if (FindOnPath("node").empty()) {
        reason = "node is not on PATH: the OPC UA server needs Node.js and its packages (" +
                 std::string(kInstall) + ")";
        return false;
    }
    const fs::path folder = ScriptFolder();
    std::error_code error;
    if (!fs::is_regular_file(folder / "server.mjs", error)) {
        reason = "no OPC UA server script at " + (folder / "server.mjs").string() +
                 " (set VARBANK_OPCUA_DIR to the opcua folder of the sources)";
        return false;
    }
    if (!fs::is_regular_file(folder / "node_modules" / "node-opcua" / "package.json", error)) {
        reason = "the OPC UA packages are not installed in " + (folder / "node_modules").string() +
                 " (" + kInstall + ", or run npm ci --omit=dev in " + folder.string() + ")";
        return false;
    }
    return true;
}

bool OpcuaProcess::Start(const Options& options, std::function<void()> exited, std::string& line,
                         std::string& reason) {
    if (!Check(reason)) {
        return false;
    }
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        reason = "cannot make a pipe for the OPC UA server";
        return false;
    }
    const std::string node = FindOnPath("node");
    const std::string script = ScriptFolder() + "/server.mjs";
    const std::string port = std::to_string(options.port);
    const std::string pki =
        (options.stateFolder.empty() ? DefaultStateFolder() : options.stateFolder) + "/opcua/pki";
    // The monitored items reach the service's sampler over a WebSocket, a client Node 20
    // offers only behind this flag.
    std::vector<const char*> argv = {node.c_str(),
                                     "--experimental-websocket",
                                     script.c_str(),
                                     "--service",
                                     options.serviceUrl.c_str(),
                                     "--port",
                                     port.c_str(),
                                     "--host",
                                     options.host.c_str(),
                                     "--pki",
                                     pki.c_str(),
                                     nullptr};
    const std::vector<std::string> environment =
        ChildEnvironment(options.writeToken, options.readToken);
    std::vector<const char*> envp;
    envp.reserve(environment.size() + 1);
    for (const std::string& entry : environment) {
        envp.push_back(entry.c_str());
    }
    envp.push_back(nullptr);
    const SpawnAttributes attributes;
    const SpawnFiles files(pipe[1]);
    const int spawned =
        ::posix_spawn(&m_Pid, node.c_str(), &files.actions, &attributes.attributes,
                      const_cast<char**>(argv.data()), const_cast<char**>(envp.data()));
    ::close(pipe[1]);
    m_Output = pipe[0];
    if (spawned != 0) {
        m_Pid = -1;
        reason = "cannot start " + node + " (error " + std::to_string(spawned) + ")";
        return false;
    }
    if (!AwaitListening(options.startTimeout, line)) {
        m_Stopping = true;
        const std::string status = Reap(options.stopGrace);
        reason = "the OPC UA server did not start: node " + status;
        return false;
    }
    m_Reader = std::thread([this, exited = std::move(exited)] { ReadRest(exited); });
    return true;
}

bool OpcuaProcess::AwaitListening(std::chrono::milliseconds timeout, std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    while (ReadLine(deadline, text)) {
        if (text.rfind(kListening, 0) == 0) {
            line = text;
            return true;
        }
        m_Log.Write(text);
    }
    return false;
}

void OpcuaProcess::ReadRest(const std::function<void()>& exited) {
    std::string text;
    while (ReadLine(std::chrono::steady_clock::time_point::max(), text)) {
        m_Log.Write(text);
    }
    if (!m_Stopping) {
        m_Log.Write("opcua: the OPC UA server ended; the service stops");
        exited();
    }
}

bool OpcuaProcess::ReadLine(std::chrono::steady_clock::time_point deadline, std::string& line) {
    for (;;) {
        const std::size_t end = m_Pending.find('\n');
        if (end != std::string::npos) {
            line = m_Pending.substr(0, end);
            m_Pending.erase(0, end + 1);
            return true;
        }
        int wait = -1;
        if (deadline != std::chrono::steady_clock::time_point::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            wait = static_cast<int>(left.count());
        }
        pollfd poll{m_Output, POLLIN, 0};
        const int ready = ::poll(&poll, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t count = ::read(m_Output, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        m_Pending.append(buffer, static_cast<std::size_t>(count));
    }
}

std::string OpcuaProcess::Reap(std::chrono::milliseconds grace) {
    if (m_Pid <= 0) {
        return "ended";
    }
    ::kill(m_Pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(m_Pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (done == 0) {
        m_Log.Write("opcua: the OPC UA server did not stop within " +
                    std::to_string(grace.count()) + " ms: killed");
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, &status, 0);
    }
    m_Pid = -1;
    return StatusText(status);
}

void OpcuaProcess::Stop() {
    m_Stopping = true;
    if (m_Pid > 0) {
        Reap(Options{}.stopGrace);
    }
    if (m_Reader.joinable()) {
        m_Reader.join();
    }
    if (m_Output >= 0) {
        ::close(m_Output);
        m_Output = -1;
    }
}
