#include "gui/console_child.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "gui/child_report.h"
#include "gui/command_line.h"

extern char** environ;

namespace tarnfield {

namespace {

constexpr int kPollMilliseconds = 100;
constexpr size_t kReadBytes = 64 * 1024;

// Children started without waiting; collected by ReapFinishedChildren.
std::mutex unwaitedMutex;
std::vector<pid_t> unwaitedChildren;

void Remember(pid_t pid) {
    std::lock_guard lock(unwaitedMutex);
    unwaitedChildren.push_back(pid);
}

// Waits for the oldest child that was not waited for; false when there is none.
bool WaitForOldestUnwaited() {
    pid_t pid = 0;
    {
        std::lock_guard lock(unwaitedMutex);
        if (unwaitedChildren.empty()) return false;
        pid = unwaitedChildren.front();
        unwaitedChildren.erase(unwaitedChildren.begin());
    }
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return true;
}

// The child's end: false when it ended by a signal or with a status other than 0.
bool WaitForChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool EndedWell(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void AppendFailure(LogText& log, const QString& text) {
    log.Append(QString(text + QStringLiteral("\r\n")));
}

// The child's argument vector: the command line split by the Windows rules, the program's own path
// in place of the bare name at its head.
std::vector<QByteArray> ChildArguments(const QString& program, const QString& commandLine) {
    QStringList split = SplitWindowsCommandLine(commandLine);
    std::vector<QByteArray> arguments;
    arguments.reserve(split.size() + 1);
    arguments.push_back(QFile::encodeName(program));
    for (qsizetype i = 1; i < split.size(); ++i)
        arguments.push_back(split[i].toUtf8());
    return arguments;
}

// Starts the child; EAGAIN (too many processes) is met by waiting for one started earlier.
// The front end's environment, with the two entries that make a child print what the log view
// shows: the designed UTF-16LE form with CR LF, and the messages in the front end's language.
std::vector<QByteArray> ChildEnvironment(bool japanese) {
    std::vector<QByteArray> entries;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray text(*entry);
        if (text.startsWith("DORNICK_OUTPUT_ENCODING=") || text.startsWith("DORNICK_MESSAGES=")) continue;
        entries.push_back(text);
    }
    entries.push_back("DORNICK_OUTPUT_ENCODING=UTF-16LE");
    entries.push_back(japanese ? "DORNICK_MESSAGES=ja" : "DORNICK_MESSAGES=en");
    return entries;
}

int Spawn(pid_t* pid, const QByteArray& program, std::vector<QByteArray>& arguments,
          const posix_spawn_file_actions_t* actions, bool japanese) {
    std::vector<QByteArray> environment = ChildEnvironment(japanese);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (QByteArray& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (;;) {
        const int result = posix_spawn(pid, program.constData(), actions, nullptr, argv.data(), envp.data());
        if (result != EAGAIN || !WaitForOldestUnwaited()) return result;
    }
}

// Reads the pipe until the child has ended and nothing is left; never lets the child block on a
// full pipe, because every byte available is read at once.
void DrainChild(int readEnd, pid_t pid, LogText& log, ChildOutcome& outcome) {
    Utf16LeCollector collector;
    ChildReport report;
    std::vector<char> buffer(kReadBytes);
    QString text;
    bool delivered = false;
    bool ended = false;
    bool endedWell = false;
    for (;;) {
        pollfd request{readEnd, POLLIN, 0};
        const int ready = poll(&request, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t got = read(readEnd, buffer.data(), buffer.size());
            if (got > 0) {
                text.clear();
                collector.Feed(buffer.data(), got, text);
                if (!text.isEmpty()) {
                    log.Append(text);
                    report.Feed(text);
                    delivered = true;
                }
                continue;
            }
            if (got == 0) break; // every writer has gone
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        if (ready == 0) {
            // Quiet pipe: a child that ended while something it started still holds the pipe open
            // must not keep the run waiting.
            if (ended) break;
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                ended = true;
                endedWell = EndedWell(status);
                fcntl(readEnd, F_SETFL, fcntl(readEnd, F_GETFL) | O_NONBLOCK);
            }
        }
    }
    if (!ended) endedWell = WaitForChild(pid);
    outcome.newOutput = delivered;
    outcome.failed = !endedWell;
    outcome.messages = report.Messages();
    outcome.files = report.Files();
}

} // namespace

QStringList DefaultConsoleFolders() {
    return {QCoreApplication::applicationDirPath(), QDir::currentPath()};
}

QString LocateConsoleProgram(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder).filePath(QString::fromLatin1(kConsoleProgramName)));
        if (candidate.isFile() && candidate.isExecutable()) return candidate.absoluteFilePath();
    }
    return {};
}

QString ConsoleHomeFolder(const QStringList& folders) {
    const QString program = LocateConsoleProgram(folders);
    if (program.isEmpty()) return QDir::currentPath();
    return QFileInfo(program).canonicalPath();
}

void ReapFinishedChildren() {
    std::lock_guard lock(unwaitedMutex);
    std::erase_if(unwaitedChildren, [](pid_t pid) {
        const pid_t result = waitpid(pid, nullptr, WNOHANG);
        return result == pid || (result < 0 && errno == ECHILD);
    });
}

unsigned CountConsoleProcesses() {
    ReapFinishedChildren();
    DIR* processes = opendir("/proc");
    if (!processes) return 0;
    unsigned count = 0;
    char path[300];
    char stat[512];
    while (const dirent* entry = readdir(processes)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const ssize_t got = read(fd, stat, sizeof stat - 1);
        close(fd);
        if (got <= 0) continue;
        stat[got] = '\0';
        // "pid (name) state ...": the name may itself hold parentheses, so take the last ")".
        const char* open = std::strchr(stat, '(');
        const char* close = std::strrchr(stat, ')');
        if (!open || !close || close < open || close[1] != ' ') continue;
        const char state = close[2];
        if (state == 'Z' || state == 'X') continue;
        const size_t length = static_cast<size_t>(close - open - 1);
        if (length == std::strlen(kConsoleProgramName) &&
            strncasecmp(open + 1, kConsoleProgramName, length) == 0)
            ++count;
    }
    closedir(processes);
    return count;
}

ChildOutcome RunOneFile(const ChildSettings& settings, const QString& commandLine, LogText& log) {
    ChildOutcome outcome;
    outcome.failed = true;
    const QString program = LocateConsoleProgram(settings.consoleFolders);
    const QString startFailure = settings.japanese ? QStringLiteral("マヴレルの起動に失敗しました")
                                                   : QStringLiteral("Failed to CreateProcess");
    if (program.isEmpty()) {
        AppendFailure(log, startFailure);
        outcome.newOutput = true;
        return outcome;
    }
    int pipeEnds[2] = {-1, -1};
    if (settings.print && pipe2(pipeEnds, O_CLOEXEC) != 0) {
        AppendFailure(log, QStringLiteral("Failed to CreatePipe"));
        outcome.newOutput = true;
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const QByteArray workingFolder = QFile::encodeName(settings.workingFolder);
    if (!workingFolder.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.constData());
    if (settings.print) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::vector<QByteArray> arguments = ChildArguments(program, commandLine);
    pid_t pid = 0;
    const int spawned = Spawn(&pid, QFile::encodeName(program), arguments, &actions, settings.japanese);
    posix_spawn_file_actions_destroy(&actions);
    if (settings.print) close(pipeEnds[1]);
    if (spawned != 0) {
        if (settings.print) close(pipeEnds[0]);
        AppendFailure(log, startFailure);
        outcome.newOutput = true;
        return outcome;
    }
    outcome.started = true;

    if (settings.print) {
        DrainChild(pipeEnds[0], pid, log, outcome);
        close(pipeEnds[0]);
        outcome.waited = true;
        return outcome;
    }
    bool wait = !settings.timestampMode;
    if (settings.multiProcess) {
        const int limit = settings.processLimit < 1 ? 1 : settings.processLimit;
        wait = CountConsoleProcesses() >= static_cast<unsigned>(limit);
    }
    if (wait) {
        outcome.failed = !WaitForChild(pid);
        outcome.waited = true;
    } else {
        outcome.failed = false; // not known: nobody waits for it
        Remember(pid);
    }
    return outcome;
}

} // namespace tarnfield
