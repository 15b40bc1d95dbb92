// SPDX-License-Identifier: GPL-3.0-or-later
#include "LaunchKit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace LaunchKit {

namespace {
const char* g_programName = "bench";
}

void setProgramName(const char* name)
{
    g_programName = name;
}

void fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", g_programName, message.c_str());
    std::exit(1);
}

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void makeFolder(const std::string& path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
        fail("cannot create " + path + ": " + std::strerror(errno));
}

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    out.close();
    if (!out)
        fail("cannot write " + path);
}

// A hard link keeps the executable's pages shared with every other round (and the page cache warm);
// a copy is the fallback across file systems.
void placeFile(const std::string& from, const std::string& to)
{
    if (::link(from.c_str(), to.c_str()) == 0)
        return;
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.close();
    if (!in || !out)
        fail("cannot place " + from + " at " + to);
    struct stat st;
    if (::stat(from.c_str(), &st) == 0)
        ::chmod(to.c_str(), st.st_mode & 07777);
}

void removeTree(const std::string& path)
{
    ::nftw(
        path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string makeTempFolder(const std::string& pattern)
{
    std::string path = pattern;
    if (!::mkdtemp(path.data()))
        fail("cannot create " + pattern + ": " + std::strerror(errno));
    return path;
}

void syncDisk(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

std::string placeProgram(const std::string& executable, const std::string& folder)
{
    const std::string target = folder + "/" + baseName(executable);
    placeFile(executable, target);
    const std::string source = folderOf(executable);
    if (DIR* dir = ::opendir(source.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.find(".so") == std::string::npos || name.rfind("lib", 0) != 0)
                continue;
            struct stat st;
            const std::string path = source + "/" + name;
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                placeFile(path, folder + "/" + name);
        }
        ::closedir(dir);
    }
    return target;
}

std::vector<std::string> privateEnvironment(const std::string& root, const std::string& display)
{
    for (const char* sub : {"/home", "/data", "/config", "/cache"})
        makeFolder(root + sub);
    makeFolder(root + "/runtime", 0700);
    const char* lang = std::getenv("LANG");
    const char* path = std::getenv("PATH");
    return {
        "DISPLAY=" + display,
        "QT_QPA_PLATFORM=xcb",
        "HOME=" + root + "/home",
        "XDG_DATA_HOME=" + root + "/data",
        "XDG_CONFIG_HOME=" + root + "/config",
        "XDG_CACHE_HOME=" + root + "/cache",
        "XDG_RUNTIME_DIR=" + root + "/runtime",
        // A bus that is not there: refused at once, where a missing address could make libdbus
        // start a bus of its own.
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + root + "/runtime/no-bus",
        std::string("LANG=") + (lang && *lang ? lang : "C.UTF-8"),
        std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
    };
}

std::string everydayNote(int i)
{
    static const char* const lines[] = {
        "周五下午三点开会，带上季度报告和预算表。", "Meeting notes: review the budget, then the WWW plan.",
        "待办：给客户回电话，确认发货时间与数量。", "记账 收入 1200 支出 340.5 余额待核对",
        "读书笔记：第七章讲的是时间管理与专注。",   "Call the landlord about the heating on Monday.",
    };
    std::string text = "\xEF\xBB\xBF第" + std::to_string(i) + "条 ";
    for (int k = 0; k < 5; ++k) {
        text += lines[(i * 7 + k * 3) % 6];
        text += "\r\n";
    }
    return text;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(p, 0.0, 1.0) * double(values.size() - 1);
    const size_t below = size_t(std::floor(rank));
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (rank - double(below));
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& log)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail("cannot start " + args[0] + ": " + std::strerror(error));
    return pid;
}

// Waits for the process to end, killing it when it does not within the time given.
void reap(pid_t pid, int signal, int graceMs)
{
    ::kill(pid, signal);
    for (int waited = 0; waited < graceMs; waited += 10) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

Xvfb::Xvfb(const std::string& log)
{
    int fds[2];
    if (::pipe(fds) != 0)
        fail("pipe");
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    const char* env[] = {"PATH", "HOME", "XAUTHORITY"};
    std::vector<std::string> environment;
    for (const char* name : env) {
        if (const char* value = std::getenv(name))
            environment.push_back(std::string(name) + "=" + value);
    }
    // The write end is inherited: Xvfb picks a free display and writes its number there.
    m_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten",
                   "tcp", "-noreset"},
                  environment, log);
    ::close(fds[1]);
    std::string number;
    const double deadline = nowMs() + 15000;
    while (nowMs() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        char c;
        const ssize_t n = ::read(fds[0], &c, 1);
        if (n <= 0 || c == '\n')
            break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        reap(m_pid, SIGTERM, 2000);
        fail("Xvfb did not start (is the package xvfb installed? see " + log + ")");
    }
    m_display = ":" + number;
}

Xvfb::~Xvfb()
{
    reap(m_pid, SIGTERM, 5000);
}

} // namespace LaunchKit
