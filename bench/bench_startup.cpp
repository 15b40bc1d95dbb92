// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the real executable against a bare Qt Widgets window of the same size, on a private
// Xvfb that this program starts itself. For each launch it reports the time from exec to the first
// mapped 458 x 595 window and to the first drawing into it, and the resident memory at that first
// drawing. The variants run interleaved, each round in a fresh temporary tree (home, XDG folders,
// runtime folder and a folder holding a hard link of the executable), so no launch finds what an
// earlier one left behind.
//
//   bench_startup [--rounds N] [--warmup N] [--notes N] [--app PATH] [--bare PATH]
//                 [--baseline PATH] [--scheme auto|beside|per-user] [--slow-flush MS]
//                 [--verbose] [--keep]
//
// --baseline adds an earlier build of the executable as two more variants, so that the saving of a
// change is measured in the same interleaved rounds as the change itself.
//
// --slow-flush MS starts VemraNotes with the slow-flush shim (LD_PRELOAD), each fsync, fdatasync and
// syncfs first waiting MS milliseconds: the start on a disk that answers slowly. The seeded notes
// then come with a save a crash cut short (a staging folder beside Notes), which the load finishes.
//
// Where the notes go: an executable that keeps its data beside itself reads <folder>/Notes, one that
// keeps it per user reads $XDG_DATA_HOME/VemraNotes/Notes. Before the rounds, one launch of each
// executable with no notes shows which (the folder it creates), unless --scheme says so.
//
// The window is watched from the X server, not from inside the program: SubstructureNotify on the root
// window gives the creation, size and mapping of every top-level window, and a DAMAGE object on the
// root reports the first drawing into it.

#include "LaunchKit.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

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
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace LaunchKit;

constexpr int kWidth = 458;
constexpr int kHeight = 595;
constexpr double kLaunchTimeoutMs = 30000;

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes out what the file system holds for the folder's disk: the seeded notes (and the removal of
// the last tree) are then on disk before a launch, as at any morning start, instead of being written
// back by the kernel while a program starts.
std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    in >> one >> five >> fifteen;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

double loadAverageOne()
{
    std::ifstream in("/proc/loadavg");
    double one = 0;
    in >> one;
    return one;
}

long residentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

void seedNotes(const std::string& folder, int count)
{
    // The per-user data folder is private, as the program itself would make it.
    makeFolder(folderOf(folder), 0700);
    makeFolder(folder, 0700);
    for (int i = 1; i <= count; ++i)
        writeFile(folder + "/" + std::to_string(i) + ".txt", everydayNote(i));
}

// Starts a program (looked up in PATH when the name has no slash) with exactly the environment given,
// its output appended to log. Descriptors opened without close-on-exec are inherited.
struct Rect
{
    int x = 0, y = 0, width = 0, height = 0;
    bool intersects(int ox, int oy, int ow, int oh) const
    {
        return ox < x + width && x < ox + ow && oy < y + height && y < oy + oh;
    }
};

struct Launch
{
    double mapMs = NAN;
    double paintMs = NAN;
    double rssMiB = NAN;
};

class Watcher
{
public:
    explicit Watcher(const std::string& display)
    {
        m_conn = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_conn))
            fail("cannot connect to " + display);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_conn, &xcb_damage_id);
        if (!damage || !damage->present)
            fail("the X server has no DAMAGE extension");
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        // Drawing into any window shows up as damage to the root, which exists before the program
        // starts: nothing drawn between the mapping and a late subscription can be missed.
        const xcb_damage_damage_t id = xcb_generate_id(m_conn);
        xcb_damage_create(m_conn, id, m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        sync();
    }
    ~Watcher() { xcb_disconnect(m_conn); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts the program and follows it up to its first drawing into a mapped window of our size.
    Launch run(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& log, bool verbose)
    {
        drain();
        Launch launch;
        const double start = nowMs();
        const pid_t pid = spawn(args, env, log);
        xcb_window_t target = XCB_NONE;
        const int fd = xcb_get_file_descriptor(m_conn);
        while (std::isnan(launch.paintMs)) {
            const double left = start + kLaunchTimeoutMs - nowMs();
            if (left <= 0) {
                std::fprintf(stderr, "bench_startup: %s showed no window within %.0f s (see %s)\n",
                             args[0].c_str(), kLaunchTimeoutMs / 1000, log.c_str());
                break;
            }
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                std::fprintf(stderr, "bench_startup: %s ended before drawing its window (see %s)\n",
                             args[0].c_str(), log.c_str());
                reap(pid, SIGKILL, 0);
                return launch;
            }
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, int(std::min(left, 100.0)));
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                const double at = nowMs() - start;
                const int type = event->response_type & 0x7F;
                if (type == XCB_CREATE_NOTIFY) {
                    const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
                    if (e->parent == m_root)
                        m_windows[e->window] = Rect{e->x, e->y, e->width, e->height};
                } else if (type == XCB_CONFIGURE_NOTIFY) {
                    const auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
                    if (auto it = m_windows.find(e->window); it != m_windows.end())
                        it->second = Rect{e->x, e->y, e->width, e->height};
                } else if (type == XCB_DESTROY_NOTIFY) {
                    m_windows.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
                } else if (type == XCB_MAP_NOTIFY) {
                    const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    const auto it = m_windows.find(e->window);
                    if (target == XCB_NONE && it != m_windows.end() && it->second.width == kWidth &&
                        it->second.height == kHeight) {
                        target = e->window;
                        launch.mapMs = at;
                    }
                } else if (type == m_damageEvent && target != XCB_NONE) {
                    const auto* e = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                    if (m_windows[target].intersects(e->area.x, e->area.y, e->area.width, e->area.height)) {
                        launch.paintMs = at;
                        launch.rssMiB = double(residentKiB(pid)) / 1024.0;
                    }
                }
                free(event);
            }
            if (xcb_connection_has_error(m_conn))
                fail("lost the connection to the X server");
        }
        if (verbose)
            std::fprintf(stderr, "  %-40s map %7.1f ms  paint %7.1f ms  RSS %6.1f MiB\n",
                         baseName(args[0]).c_str(), launch.mapMs, launch.paintMs, launch.rssMiB);
        // Killed rather than closed: a clean close saves every note, and that writing would only
        // disturb the next launch.
        reap(pid, SIGKILL, 0);
        waitForWindowGone(target);
        return launch;
    }

private:
    void sync() { free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    void drain()
    {
        sync();
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn))
            free(event);
    }

    // The server notices the dead client a moment after it died; the next launch starts on a screen
    // where it has gone.
    void waitForWindowGone(xcb_window_t window)
    {
        const double deadline = nowMs() + 3000;
        const int fd = xcb_get_file_descriptor(m_conn);
        while (window != XCB_NONE && m_windows.count(window) && nowMs() < deadline) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 50);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY)
                    m_windows.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
                free(event);
            }
        }
        m_windows.clear();
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_damageEvent = -1;
    std::map<xcb_window_t, Rect> m_windows;
};

enum class Scheme
{
    Auto,
    Beside,
    PerUser
};

struct Variant
{
    std::string label;
    std::string executable;
    int notes = -1; // -1: the reference window, which reads nothing
    Scheme scheme = Scheme::Auto;
    std::vector<Launch> launches;
};

struct Options
{
    int rounds = 15;
    int warmup = 2;
    int notes = 1000;
    std::string app = VEMRA_APP_EXECUTABLE;
    std::string bare = VEMRA_BARE_WINDOW;
    std::string baseline;
    Scheme scheme = Scheme::Auto;
    int slowFlushMs = 0;
    std::string shim = VEMRA_SLOW_FLUSH_LIBRARY;
    bool verbose = false;
    bool keep = false;
};

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail("missing value after " + a);
            return argv[++i];
        };
        if (a == "--rounds")
            o.rounds = std::max(1, std::atoi(value().c_str()));
        else if (a == "--warmup")
            o.warmup = std::max(0, std::atoi(value().c_str()));
        else if (a == "--notes")
            o.notes = std::max(1, std::atoi(value().c_str()));
        else if (a == "--app")
            o.app = value();
        else if (a == "--bare")
            o.bare = value();
        else if (a == "--baseline")
            o.baseline = value();
        else if (a == "--scheme") {
            const std::string s = value();
            o.scheme = s == "beside" ? Scheme::Beside : s == "per-user" ? Scheme::PerUser : Scheme::Auto;
        } else if (a == "--slow-flush")
            o.slowFlushMs = std::max(0, std::atoi(value().c_str()));
        else if (a == "--verbose")
            o.verbose = true;
        else if (a == "--keep")
            o.keep = true;
        else {
            std::printf(
                "usage: bench_startup [--rounds N] [--warmup N] [--notes N] [--app PATH] [--bare PATH]\n"
                "                     [--baseline PATH] [--scheme auto|beside|per-user] [--slow-flush MS]\n"
                "                     [--verbose] [--keep]\n");
            std::exit(a == "--help" ? 0 : 2);
        }
    }
    return o;
}

// One round's private tree: everything a launch may read or write lies below it.
struct Tree
{
    std::string root, home, data, config, cache, runtime, app;

    explicit Tree(const std::string& parent)
    {
        std::string pattern = parent + "/round-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail("cannot create a folder below " + parent);
        root = pattern;
        home = root + "/home";
        data = root + "/data";
        config = root + "/config";
        cache = root + "/cache";
        runtime = root + "/runtime";
        app = root + "/app";
        for (const std::string* f : {&home, &data, &config, &cache, &app})
            makeFolder(*f);
        makeFolder(runtime, 0700);
    }

    std::vector<std::string> environment(const std::string& display) const
    {
        const char* lang = std::getenv("LANG");
        const char* path = std::getenv("PATH");
        return {
            "DISPLAY=" + display,
            "QT_QPA_PLATFORM=xcb",
            "HOME=" + home,
            "XDG_DATA_HOME=" + data,
            "XDG_CONFIG_HOME=" + config,
            "XDG_CACHE_HOME=" + cache,
            "XDG_RUNTIME_DIR=" + runtime,
            // A bus that is not there: refused at once, where a missing address could make libdbus
            // start a bus of its own.
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/no-bus",
            std::string("LANG=") + (lang && *lang ? lang : "C.UTF-8"),
            std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
        };
    }
};

void printRow(const Variant& v, const Variant& reference)
{
    std::vector<double> map, paint, rss;
    for (const Launch& l : v.launches) {
        if (!std::isnan(l.paintMs)) {
            map.push_back(l.mapMs);
            paint.push_back(l.paintMs);
            rss.push_back(l.rssMiB);
        }
    }
    std::vector<double> refMap, refPaint, refRss;
    for (const Launch& l : reference.launches) {
        if (!std::isnan(l.paintMs)) {
            refMap.push_back(l.mapMs);
            refPaint.push_back(l.paintMs);
            refRss.push_back(l.rssMiB);
        }
    }
    std::printf("%-26s %5zu %9.1f %9.1f %8.1f   %6.2fx %6.2fx %6.2fx\n", v.label.c_str(), map.size(),
                median(map), median(paint), median(rss), median(map) / median(refMap),
                median(paint) / median(refPaint), median(rss) / median(refRss));
}

} // namespace

const char* schemeText(Scheme scheme)
{
    return scheme == Scheme::PerUser ? "$XDG_DATA_HOME/VemraNotes/Notes" : "Notes/ beside the executable";
}

int main(int argc, char** argv)
{
    setProgramName("bench_startup");
    const Options options = parse(argc, argv);
    for (const std::string& exe : {options.app, options.bare, options.baseline}) {
        if (!exe.empty() && ::access(exe.c_str(), X_OK) != 0)
            fail("no executable at " + exe);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string workspace = std::string(tmp && *tmp ? tmp : "/tmp") + "/vemra-startup-XXXXXX";
    if (!::mkdtemp(workspace.data()))
        fail("cannot create a temporary folder");

    const std::string loadBefore = loadAverage();
    Xvfb xvfb(workspace + "/xvfb.log");
    Watcher watcher(xvfb.display());

    // The folder an executable reads its notes from: where a launch with none created its data.
    const auto schemeOf = [&](const std::string& executable) {
        if (options.scheme != Scheme::Auto)
            return options.scheme;
        const Tree tree(workspace);
        const std::string exe = placeProgram(executable, tree.app);
        watcher.run({exe}, tree.environment(xvfb.display()), tree.root + "/output.log", false);
        const Scheme scheme = isDirectory(tree.data + "/VemraNotes") ? Scheme::PerUser : Scheme::Beside;
        if (!options.keep)
            removeTree(tree.root);
        return scheme;
    };

    const std::string many = std::to_string(options.notes) + " notes";
    std::vector<Variant> variants = {{"bare Qt window", options.bare, -1, Scheme::Auto, {}}};
    const Scheme appScheme = schemeOf(options.app);
    variants.push_back({"VemraNotes, 0 notes", options.app, 0, appScheme, {}});
    variants.push_back({"VemraNotes, " + many, options.app, options.notes, appScheme, {}});
    if (!options.baseline.empty()) {
        const Scheme baselineScheme = schemeOf(options.baseline);
        variants.push_back({"baseline, 0 notes", options.baseline, 0, baselineScheme, {}});
        variants.push_back({"baseline, " + many, options.baseline, options.notes, baselineScheme, {}});
    }

    std::vector<double> loads;
    const int total = options.warmup + options.rounds;
    for (int round = 0; round < total; ++round) {
        const bool counted = round >= options.warmup;
        loads.push_back(loadAverageOne());
        if (options.verbose)
            std::fprintf(stderr, "round %d%s, load %.2f\n", round + 1, counted ? "" : " (warm-up)",
                         loads.back());
        // Each round starts with a different variant, so none always runs right after another.
        for (size_t k = 0; k < variants.size(); ++k) {
            Variant& v = variants[(size_t(round) + k) % variants.size()];
            const Tree tree(workspace);
            const std::string exe = placeProgram(v.executable, tree.app);
            const std::string notes =
                v.scheme == Scheme::PerUser ? tree.data + "/VemraNotes/Notes" : tree.app + "/Notes";
            if (v.notes > 0)
                seedNotes(notes, v.notes);
            std::vector<std::string> environment = tree.environment(xvfb.display());
            if (options.slowFlushMs > 0 && v.notes >= 0) {
                if (v.notes > 0) {
                    // A staged file without its journal: the load keeps it in the recovery folder,
                    // flushing as it goes.
                    makeFolder(folderOf(notes) + "/.Notes.saving", 0700);
                    writeFile(folderOf(notes) + "/.Notes.saving/1.txt", everydayNote(0));
                }
                environment.push_back("LD_PRELOAD=" + options.shim);
                environment.push_back("VEMRA_SLOW_FLUSH_MS=" + std::to_string(options.slowFlushMs));
            }
            syncDisk(tree.root);
            const Launch launch = watcher.run({exe}, environment, tree.root + "/output.log", options.verbose);
            if (counted)
                v.launches.push_back(launch);
            // The trees stay until the end: ext4 looks past recently deleted inodes when it creates
            // a file, so removing a thousand notes per launch would slow the next launches' first
            // files (Config.ini, the lock) by a millisecond, a cost of this benchmark, not of a start.
        }
    }
    const std::string loadAfter = loadAverage();
    if (!options.keep)
        removeTree(workspace);

    double loadSum = 0;
    for (double l : loads)
        loadSum += l;
    std::printf(
        "Start-up under Xvfb %s (1280x800x24): %d interleaved rounds after %d warm-up rounds, %ld cores\n",
        xvfb.display().c_str(), options.rounds, options.warmup, ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("Notes read from %s", schemeText(appScheme));
    if (!options.baseline.empty())
        std::printf(" (baseline: %s)", schemeText(variants.back().scheme));
    if (options.slowFlushMs > 0)
        std::printf("\nEvery flush of VemraNotes waits %d ms first (%s)", options.slowFlushMs,
                    options.shim.c_str());
    std::printf("\nLoad average: before %s, after %s, 1-minute mean over the rounds %.2f\n",
                loadBefore.c_str(), loadAfter.c_str(), loadSum / double(loads.size()));
    std::printf(
        "Medians; ratios against the bare window. map = exec to the mapped window, paint = exec to the\n"
        "first drawing into it, RSS = resident memory at that first drawing.\n\n");
    std::printf("%-26s %5s %9s %9s %8s   %7s %7s %7s\n", "", "runs", "map ms", "paint ms", "RSS MiB", "map",
                "paint", "RSS");
    for (const Variant& v : variants)
        printRow(v, variants[0]);
    return 0;
}
