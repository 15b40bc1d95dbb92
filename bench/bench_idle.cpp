// SPDX-License-Identifier: GPL-3.0-or-later
// What the application costs while nobody uses it: the processor time and the wake-ups of the real
// executable over an idle, inactive window on a private Xvfb, beside the bare Qt window of the
// start-up benchmark, with the X server's own processor time over the same span. Variants: no task;
// five countdowns with the to-do page never shown; five countdowns on the visible to-do page. The bare
// window runs twice: still, and with a label whose text changes once a second, the least any Qt
// Widgets program pays for a visible countdown.
//
//   bench_idle [--seconds N] [--settle N] [--rounds N] [--app PATH] [--bare PATH] [--baseline PATH]
//              [--env NAME=VALUE]... [--threads] [--only TEXT]...
//
// Processor time is the sum over the process's threads of /proc/<pid>/task/<tid>/schedstat (time on a
// processor, in nanoseconds); wake-ups are the threads' voluntary context switches (each sleep that
// ended). --baseline adds an earlier build of the executable as three more variants; --only keeps
// the variants whose label holds one of the TEXTs (say "visible" and "label"), for trying one change
// quickly.
//
// The window is made inactive by taking the keyboard focus away from it (X focus None), as when
// the user works in another program: an active window would blink its text cursor.

#include "LaunchKit.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace LaunchKit;

constexpr int kWidth = 458;
constexpr int kHeight = 595;
// The to-do page button of the main window, in window pixels (centre of Picture5).
constexpr int kTodoButtonX = 381;
constexpr int kTodoButtonY = 13;

/// Processor time and wake-ups of one thread so far.
struct ThreadUsage
{
    std::string name;
    double cpuMs = 0;
    long wakeups = 0;
};

/// The threads of a process by id. A thread that ends between two samples takes its counts with it
/// (Qt's pooled threads end after half a minute idle), so only the threads of the later sample count.
using Usage = std::map<std::string, ThreadUsage>;

/// What the process used between two samples.
ThreadUsage since(const Usage& before, const Usage& after)
{
    ThreadUsage total;
    for (const auto& [tid, now] : after) {
        const auto then = before.find(tid);
        total.cpuMs += now.cpuMs - (then == before.end() ? 0 : then->second.cpuMs);
        total.wakeups += now.wakeups - (then == before.end() ? 0 : then->second.wakeups);
    }
    return total;
}

Usage usageOf(pid_t pid)
{
    Usage usage;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(tasks.c_str());
    if (!dir)
        return usage;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = tasks + "/" + entry->d_name;
        ThreadUsage& thread = usage[entry->d_name];
        std::ifstream schedstat(task + "/schedstat");
        unsigned long long runNs = 0;
        if (schedstat >> runNs)
            thread.cpuMs = double(runNs) / 1e6;
        std::ifstream status(task + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0)
                thread.name = line.substr(6);
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                thread.wakeups = std::atol(line.c_str() + std::strlen("voluntary_ctxt_switches:"));
        }
    }
    ::closedir(dir);
    return usage;
}

/// Talks to the X server as a user would: finds the window, clicks in it, takes the focus away.
class Display
{
public:
    explicit Display(const std::string& name)
    {
        m_connection = xcb_connect(name.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection))
            fail("cannot connect to " + name);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~Display() { xcb_disconnect(m_connection); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    /// The mapped top-level window of the main window's size, or XCB_NONE.
    xcb_window_t findWindow()
    {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
        if (!tree)
            return XCB_NONE;
        xcb_window_t found = XCB_NONE;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_NONE; ++i) {
            xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, children[i]), nullptr);
            if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                geometry->width == kWidth && geometry->height == kHeight)
                found = children[i];
            std::free(attributes);
            std::free(geometry);
        }
        std::free(tree);
        return found;
    }

    /// A left click at a point of the window, delivered as the server would deliver it.
    void click(xcb_window_t window, int x, int y)
    {
        for (const uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
            xcb_button_press_event_t event{};
            event.response_type = type;
            event.detail = 1;
            event.time = XCB_CURRENT_TIME;
            event.root = m_root;
            event.event = window;
            event.child = XCB_NONE;
            event.event_x = int16_t(x);
            event.event_y = int16_t(y);
            event.root_x = int16_t(x);
            event.root_y = int16_t(y);
            event.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
            event.same_screen = 1;
            xcb_send_event(m_connection, 0, window,
                           type == XCB_BUTTON_PRESS ? XCB_EVENT_MASK_BUTTON_PRESS
                                                    : XCB_EVENT_MASK_BUTTON_RELEASE,
                           reinterpret_cast<const char*>(&event));
        }
        xcb_flush(m_connection);
    }

    /// Nobody has the keyboard: the window is no longer active.
    void dropFocus()
    {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_NONE, XCB_NONE, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};

enum class Setup
{
    Bare,
    BareTicking,
    NoTask,
    HiddenCountdowns,
    VisibleCountdowns,
};

struct Variant
{
    std::string label;
    std::string executable;
    Setup setup;
    std::vector<double> wakeups, appMs, xMs; // per second, per minute, per minute
};

struct Options
{
    int seconds = 30;
    int settle = 3;
    int rounds = 1;
    std::string app = VEMRA_APP_EXECUTABLE;
    std::string bare = VEMRA_BARE_WINDOW;
    std::string baseline;
    /// NAME=value pairs added to every launch's environment (--env), for trying a setting.
    std::vector<std::string> env;
    bool threads = false;
    /// Only the variants whose label holds one of these texts (--only); all when empty.
    std::vector<std::string> only;
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail("missing value for " + arg);
            return argv[++i];
        };
        if (arg == "--seconds")
            options.seconds = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--settle")
            options.settle = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--rounds")
            options.rounds = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--app")
            options.app = value();
        else if (arg == "--bare")
            options.bare = value();
        else if (arg == "--baseline")
            options.baseline = value();
        else if (arg == "--env")
            options.env.push_back(value());
        else if (arg == "--threads")
            options.threads = true;
        else if (arg == "--only")
            options.only.push_back(value());
        else
            fail("unknown option " + arg);
    }
    return options;
}

/// Five countdowns of five hours, kept from an earlier run: message reminders, which need no
/// signature to come back armed.
std::string fiveCountdowns()
{
    std::string tasks;
    for (int i = 1; i <= 5; ++i) {
        if (i > 1)
            tasks += ",";
        tasks += "{\"TaskText\":\"t" + std::to_string(i) +
                 "\",\"TimeText\":\"-05:00:00\",\"Status\":0,\"ActionKind\":1,\"ActionArg\":\"x\"}";
    }
    return "{\"Version\":1,\"Tasks\":[" + tasks + "]}";
}

/// One run of a variant in a fresh tree: launch, wait for the window, settle, measure, end.
void runOnce(Variant& v, const Options& options, const Xvfb& xvfb, Display& display,
             const std::string& workspace)
{
    std::string root = workspace + "/run-XXXXXX";
    if (!::mkdtemp(root.data()))
        fail("cannot create a folder below " + workspace);
    makeFolder(root + "/app");
    // The executable in a folder of its own, portable, with the service module beside it.
    const std::string exe = placeProgram(v.executable, root + "/app");
    const bool bare = v.setup == Setup::Bare || v.setup == Setup::BareTicking;
    if (!bare) {
        writeFile(root + "/app/portable", "");
        const bool countdowns = v.setup != Setup::NoTask;
        writeFile(root + "/app/Config.ini",
                  std::string("[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\n") +
                      (countdowns ? "KeepTasks=1\r\n" : ""));
        if (countdowns)
            writeFile(root + "/app/Tasks.json", fiveCountdowns());
    }
    std::vector<std::string> env = privateEnvironment(root, xvfb.display());
    env.insert(env.end(), options.env.begin(), options.env.end());
    std::vector<std::string> command{exe};
    if (v.setup == Setup::BareTicking)
        command.push_back("--tick");
    const pid_t pid = spawn(command, env, root + "/output.log");
    xcb_window_t window = XCB_NONE;
    const double deadline = nowMs() + 30000;
    while (window == XCB_NONE && nowMs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = display.findWindow();
    }
    if (window == XCB_NONE) {
        reap(pid, SIGKILL, 0);
        fail("no window from " + v.executable + " (see " + root + "/output.log)");
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (v.setup == Setup::VisibleCountdowns)
        display.click(window, kTodoButtonX, kTodoButtonY);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    display.dropFocus();
    std::this_thread::sleep_for(std::chrono::seconds(options.settle));

    const Usage appBefore = usageOf(pid);
    const Usage xBefore = usageOf(xvfb.pid());
    const double start = nowMs();
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    const Usage appAfter = usageOf(pid);
    const Usage xAfter = usageOf(xvfb.pid());
    const double minutes = (nowMs() - start) / 60000.0;
    if (options.threads) {
        std::fprintf(stderr, "%s, wake-ups/s by thread:", v.label.c_str());
        for (const auto& [tid, thread] : appAfter) {
            const auto then = appBefore.find(tid);
            const long wakeups = thread.wakeups - (then == appBefore.end() ? 0 : then->second.wakeups);
            std::fprintf(stderr, " %s %.2f", thread.name.c_str(), double(wakeups) / (minutes * 60));
        }
        std::fprintf(stderr, "\n");
    }
    const ThreadUsage app = since(appBefore, appAfter);
    const ThreadUsage x = since(xBefore, xAfter);
    v.wakeups.push_back(double(app.wakeups) / (minutes * 60));
    v.appMs.push_back(app.cpuMs / minutes);
    v.xMs.push_back(x.cpuMs / minutes);
    reap(pid, SIGTERM, 5000);
    removeTree(root);
}

double mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

} // namespace

int main(int argc, char** argv)
{
    setProgramName("bench_idle");
    const Options options = parse(argc, argv);
    for (const std::string& exe : {options.app, options.bare, options.baseline}) {
        if (!exe.empty() && ::access(exe.c_str(), X_OK) != 0)
            fail("no executable at " + exe);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string workspace = std::string(tmp && *tmp ? tmp : "/tmp") + "/vemra-idle-XXXXXX";
    if (!::mkdtemp(workspace.data()))
        fail("cannot create a temporary folder");
    Xvfb xvfb(workspace + "/xvfb.log");
    Display display(xvfb.display());

    std::vector<Variant> variants = {
        {"bare Qt window", options.bare, Setup::Bare, {}, {}, {}},
        {"bare window, label each 1 s", options.bare, Setup::BareTicking, {}, {}, {}},
        {"no task", options.app, Setup::NoTask, {}, {}, {}},
        {"5 countdowns, hidden page", options.app, Setup::HiddenCountdowns, {}, {}, {}},
        {"5 countdowns, visible page", options.app, Setup::VisibleCountdowns, {}, {}, {}}};
    if (!options.baseline.empty()) {
        variants.push_back({"baseline: no task", options.baseline, Setup::NoTask, {}, {}, {}});
        variants.push_back({"baseline: 5 hidden", options.baseline, Setup::HiddenCountdowns, {}, {}, {}});
        variants.push_back({"baseline: 5 visible", options.baseline, Setup::VisibleCountdowns, {}, {}, {}});
    }
    if (!options.only.empty()) {
        std::erase_if(variants, [&](const Variant& v) {
            return std::none_of(options.only.begin(), options.only.end(), [&](const std::string& text) {
                return v.label.find(text) != std::string::npos;
            });
        });
        if (variants.empty())
            fail("no variant's label holds what --only asks for");
    }
    for (int round = 0; round < options.rounds; ++round) {
        for (Variant& v : variants)
            runOnce(v, options, xvfb, display, workspace);
    }
    removeTree(workspace);

    std::printf(
        "Idle, inactive window under Xvfb %s: %d s measured after %d s settling, %d round(s); means.\n",
        xvfb.display().c_str(), options.seconds, options.settle, options.rounds);
    std::printf("%-28s %12s %14s %12s %14s\n", "", "wake-ups/s", "app ms/min", "X ms/min", "app+X ms/min");
    for (const Variant& v : variants)
        std::printf("%-28s %12.2f %14.2f %12.2f %14.2f\n", v.label.c_str(), mean(v.wakeups), mean(v.appMs),
                    mean(v.xMs), mean(v.appMs) + mean(v.xMs));
    return 0;
}
