#include "run_program.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/text.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;

std::u16string DecodePipe(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == u'\n' && !text.empty() && text.back() == u'\r') text.pop_back();
        text.push_back(unit);
    }
    return text;
}

std::string PipeBytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        if (unit == u'\n') bytes.append("\r\0", 2);
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::u16string U(const std::string& utf8) {
    return platform::Utf8ToU16(utf8);
}

std::u16string RunResult::Out() const {
    return DecodePipe(out_bytes);
}
std::u16string RunResult::Err() const {
    return DecodePipe(err_bytes);
}

namespace {

// The child's environment: `env`, then each fallback whose name `env` does not give, then this
// process's entries of other names.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& env,
                                          std::initializer_list<const char*> fallbacks) {
    auto names_in = [](const std::vector<std::string>& entries, std::string_view name) {
        for (const std::string& entry : entries)
            if (entry.compare(0, name.size(), name) == 0) return true;
        return false;
    };
    std::vector<std::string> text = env;
    for (const char* fallback : fallbacks)
        if (!names_in(env, std::string_view(fallback).substr(0, std::string_view(fallback).find('=') + 1)))
            text.push_back(fallback);
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (!names_in(text, std::string_view(entry).substr(0, entry.find('=') + 1))) text.push_back(entry);
    }
    return text;
}

// The NUL-terminated pointer array an exec call takes.
std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& env, const std::string& cwd, const std::string& input) {
    RunResult result;
    int out_pipe[2], err_pipe[2];
    if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) return result;
    // Standard input is a file holding `input` (empty: nothing to read).
    char input_name[] = "/tmp/dornick-e2e-input-XXXXXX";
    int input_fd = ::mkstemp(input_name);
    if (input_fd >= 0) {
        [[maybe_unused]] ssize_t written = ::write(input_fd, input.data(), input.size());
        ::close(input_fd);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input_fd >= 0 ? input_name : "/dev/null",
                                     O_RDONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The given entries replace those of the same name; unless a test says otherwise, the program
    // prints the designed form (UTF-16LE, Japanese messages).
    std::vector<std::string> env_text = ChildEnvironment(
        env, {"DORNICK_OUTPUT_ENCODING=UTF-16LE", "LC_ALL=ja_JP.UTF-8", "DORNICK_MESSAGES="});
    std::vector<char*> envp = Pointers(env_text);

    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out_bytes, &result.err_bytes};
    int open_count = 2;
    while (spawned == 0 && open_count > 0) {
        if (::poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[65536];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) ::close(p.fd);
    int status = 0;
    if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    if (input_fd >= 0) ::unlink(input_name);
    return result;
}

RunResult RunOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env,
                        const std::string& cwd) {
    RunResult result;
    std::vector<std::string> argv_text = {DORNICK_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text =
        ChildEnvironment(env, {"LC_ALL=ja_JP.UTF-8", "DORNICK_MESSAGES=", "DORNICK_OUTPUT_ENCODING="});
    std::vector<char*> envp = Pointers(env_text);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = 200;
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) return result;
    if (pid == 0) {
        int null_fd = ::open("/dev/null", O_RDONLY);
        if (null_fd >= 0) ::dup2(null_fd, STDIN_FILENO);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execve(DORNICK_PATH, argv.data(), envp.data());
        ::_exit(127);
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            result.out_bytes.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // EIO: the child's side is closed
    }
    ::close(master);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> entries;
    if (!fs::exists(root)) return entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory() && !entry.is_symlink()) relative += "/";
        entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

void TempDir::SetUp() {
    char name[] = "/tmp/dornick-e2e-XXXXXX";
    root = ::mkdtemp(name);
}

void TempDir::TearDown() {
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root);
}

} // namespace e2e
