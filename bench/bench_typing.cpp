// SPDX-License-Identifier: GPL-3.0-or-later
// Keystroke to screen: how long a typed letter takes to show in the note editor of the real
// executable, beside a bare Qt text box of the same size and font (bare_editor), on a private Xvfb
// that this program starts itself. With "断电保护" on (AutoSave = 1), also how long until the letter
// is kept in Notes/.
//
//   bench_typing [--keys N] [--rounds N] [--gap MS] [--return-every N] [--load] [--load-mib N]
//                [--app PATH] [--bare PATH] [--baseline PATH] [--variants NAME,...] [--screenshots DIR]
//                [--verbose] [--keep]
//
// Variants (names for --variants): bare, bare-1mb (the yardsticks, added when a variant needs
// them); empty-off, empty-on (typing into the empty note the application opens with, 断电保护 off or
// on); 1mb-off, 1mb-on (typing at the end of one note of about 1 MiB of Chinese and Latin text in
// lines of ordinary length, opened from the note list, the caret moved to its end with Ctrl+End);
// 1000-off, 1000-on (a thousand notes in the folder, typing into the empty note). --baseline adds an
// earlier build of the executable as the same six variants again ("base-empty-off", ...).
//
// Each launch runs in a fresh temporary tree: the executable in a portable folder of its own with
// Config.ini (Left = Top = 0, AutoSave 0 or 1) and Notes/ planted beside it, and private home, XDG
// and runtime folders. The rounds interleave the variants (each round starting with another one),
// and the --keys of a variant are spread over the --rounds, so that the machine's noise falls on
// all alike.
//
// How a key is timed. The window is found from the X server (a viewable top-level window of the
// main window's size), given the X input focus, and a DAMAGE object with raw rectangles is made on
// it. Each letter is a fake key press and release of the XTest extension; its time runs from the
// moment the request is flushed to the first damage notify on the window read after it, that is to
// the X server having the letter's pixels. The caret blinks on a clock of its own that typing does
// not reset, so a damage rectangle narrower than kCaretWidthLimit is not taken for a key's drawing,
// which covers at least the letter's whole line. Before each key a round trip to the server takes in
// whatever was still on the way, so the damage of an earlier key cannot be taken for this one's. The
// keys are --gap apart, and never less than 5 ms after the previous key's drawing, so each key is
// measured alone even when the application falls behind. A few keys before the measured ones are
// not counted: the first edit of a note makes it a new note and its first save may renumber the
// others (its own row, "first key", gives how long that took to be kept). Every --return-every'th measured
// key (8) is Return instead of a letter: a new line moves everything below the caret, so it draws far more
// than a letter; its times are a row of their own under each variant ("Return"), against the yardstick's
// Return.
//
// How a letter is kept. With 断电保护 on, inotify on Notes/ reports each name renamed or written
// into it; the file is read back, and the letters it ends with tell which keys it holds. A key's
// durability time runs from its key press to the first such report of a file that holds it: the
// moment the rename into Notes/ is visible to other programs (the save's journal is already on disk
// then). Keys are typed as "z" followed by the other letters in turn, so the text typed so far never
// ends with a shorter prefix of itself and the count read from a file is unambiguous.
//
// Every launch ends with SIGTERM, which closes the application the normal way and saves; the notes
// are then searched for a file that ends with everything typed (for the 1 MiB note, the large file
// itself). The table says in how many launches that was so: the keys reached the note editor, with
// the caret where the benchmark meant.
//
// Two last rows, "disk" and "disk-1mb", time in the same rounds what a durable save costs at the
// least on this disk (a small or a 1 MiB file written and synced, renamed, its folder synced): other
// programs writing to the same file system make every sync wait for their data, and these rows show
// how much.
//
// --load runs everything a second time with a background load during the keys: a process spinning
// on every core and one appending --load-mib MiB (4) at a time to a file in the temporary tree's
// file system, syncing after each piece.

#include "LaunchKit.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <linux/magic.h>
#include <map>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace LaunchKit;

constexpr int kWidth = 458;
constexpr int kHeight = 595;
constexpr double kWindowTimeoutMs = 30000;
constexpr double kPaintTimeoutMs = 3000;
constexpr double kDurableTimeoutMs = 5000;
constexpr int kWarmupKeys = 3;
// Damage narrower than this (in pixels) is the caret blinking.
constexpr int kCaretWidthLimit = 20;
constexpr int kMissesBeforeGivingUp = 3;
// Big enough that the whole of it matters, small enough to stay below the size from which the
// application saves only at pauses in the typing (a million characters).
constexpr size_t kBigNoteBytes = 1 << 20;

// The background writer starts its file again after this many pieces.
constexpr int kLoadPiecesPerFile = 16;

// Keysyms of the keys besides the letters (whose keysyms are their ASCII codes).
constexpr uint32_t kControlL = 0xffe3;
constexpr uint32_t kEnd = 0xff57;
constexpr uint32_t kTab = 0xff09;
constexpr uint32_t kReturn = 0xff0d;

enum class Content
{
    Empty,
    Big,
    Many
};

struct Results
{
    std::vector<double> paintMs, durableMs;
    std::vector<double> returnPaintMs; // Return only (not in paintMs)
    std::vector<double> firstKeptMs;   // the first key of a launch: the note comes in at the top
    int launches = 0;
    int missedPaints = 0;
    int missedDurable = 0;
    int verified = 0;
};

struct Variant
{
    std::string name;
    std::string label;
    std::string executable;
    bool bare = false;
    bool disk = false; // the disk probe, not a program
    Content content = Content::Empty;
    bool autoSave = false;
    size_t yardstick = 0;    // the bare row it is compared with
    Results results[2] = {}; // idle, loaded
};

struct Options
{
    int keys = 200;
    int rounds = 5;
    double gapMs = 40;
    int returnEvery = 8;
    bool load = false;
    int loadMiB = 4;
    std::string app = VEMRA_APP_EXECUTABLE;
    std::string bare = VEMRA_BARE_EDITOR;
    std::string baseline;
    std::set<std::string> variants;
    std::string screenshots;
    bool verbose = false;
    bool keep = false;
};

[[noreturn]] void usage(int status)
{
    std::printf(
        "usage: bench_typing [--keys N] [--rounds N] [--gap MS] [--return-every N] [--load] [--load-mib N]\n"
        "                    [--app PATH] [--bare PATH] [--baseline PATH] [--variants NAME,...]\n"
        "                    [--screenshots DIR] [--verbose] [--keep]\n"
        "variants: empty-off empty-on 1mb-off 1mb-on 1000-off 1000-on (base-... with --baseline);\n"
        "          bare bare-1mb disk disk-1mb (added for the variants that need them)\n");
    std::exit(status);
}

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
        if (a == "--keys")
            o.keys = std::max(1, std::atoi(value().c_str()));
        else if (a == "--rounds")
            o.rounds = std::max(1, std::atoi(value().c_str()));
        else if (a == "--gap")
            o.gapMs = std::max(1.0, std::atof(value().c_str()));
        else if (a == "--return-every")
            o.returnEvery = std::max(0, std::atoi(value().c_str()));
        else if (a == "--load")
            o.load = true;
        else if (a == "--load-mib")
            o.loadMiB = std::max(1, std::atoi(value().c_str()));
        else if (a == "--app")
            o.app = value();
        else if (a == "--bare")
            o.bare = value();
        else if (a == "--baseline")
            o.baseline = value();
        else if (a == "--variants") {
            std::stringstream list(value());
            for (std::string name; std::getline(list, name, ',');)
                o.variants.insert(name);
        } else if (a == "--screenshots")
            o.screenshots = value();
        else if (a == "--verbose")
            o.verbose = true;
        else if (a == "--keep")
            o.keep = true;
        else
            usage(a == "--help" ? 0 : 2);
    }
    return o;
}

// ---- What is planted ----------------------------------------------------------------------------

// About 1 MiB of the text people keep in a long note: Chinese and Latin mixed, lines of a few dozen
// characters, CR LF, UTF-8 with a byte-order mark as the application writes it.
std::string bigNote()
{
    static const char* const chinese[] = {
        "周五下午三点开会，带上季度报告和预算表", "给客户回电话，确认发货时间与数量",
        "读书笔记：第七章讲的是时间管理与专注",   "记账 收入 1200 支出 340.5 余额待核对",
        "明天早上八点去医院复查，记得带病历本",   "项目进度：接口联调完成，剩下界面细节",
    };
    static const char* const latin[] = {
        "Meeting notes: review the budget, then the WWW plan.",
        "Call the landlord about the heating on Monday.",
        "TODO: update the release notes and tag v2.3.1",
        "ssh build@10.0.0.7 && make -j4 install",
    };
    std::string text = "\xEF\xBB\xBF长便笺 long note\r\n";
    for (int line = 1; text.size() < kBigNoteBytes; ++line) {
        text += std::to_string(line) + ". " + chinese[line % 6] + "；" + latin[(line / 6) % 4];
        if (line % 3 == 0)
            text += std::string(" ") + chinese[(line / 3) % 6];
        text += "\r\n";
    }
    return text;
}

std::string configIni(bool autoSave)
{
    return std::string("[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=") + (autoSave ? "1" : "0") +
           "\r\n";
}

// The letters typed into a launch: "z" once, then the others in turn (see the header).
char letter(size_t index)
{
    return index == 0 ? 'z' : char('a' + (index - 1) % 25);
}

// How many of the letters typed so far the file ends with; 0 when none.
size_t typedCountIn(const std::string& path, const std::string& typed)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat st;
    size_t count = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const size_t tail = std::min(typed.size(), size_t(st.st_size));
        std::string bytes(tail, '\0');
        if (::pread(fd, bytes.data(), tail, st.st_size - off_t(tail)) == ssize_t(tail)) {
            for (size_t k = tail; k > 0 && count == 0; --k) {
                if (bytes.compare(tail - k, k, typed, 0, k) == 0)
                    count = k;
            }
        }
    }
    ::close(fd);
    return count;
}

// Whether a note file in the folder ends with everything typed (and is at least minSize bytes).
bool notesHold(const std::string& folder, const std::string& typed, size_t minSize)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = ::readdir(dir)) {
        const std::string path = folder + "/" + entry->d_name;
        struct stat st;
        if (entry->d_name[0] == '.' || ::lstat(path.c_str(), &st) != 0 || size_t(st.st_size) < minSize)
            continue;
        if (typedCountIn(path, typed) == typed.size()) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// ---- The background load ------------------------------------------------------------------------

// A process spinning on every core and one that writes and syncs a file, for as long as it lives.
class Load
{
public:
    Load(const std::string& folder, size_t pieceBytes)
    {
        const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
        for (long i = 0; i < cores; ++i)
            start([] {
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            });
        // Appended in large pieces, each synced: the file system's journal then carries the writer's
        // new blocks, and every other sync on it waits for them, as beside a download or a build.
        const std::string file = folder + "/load-" + std::to_string(::getpid()) + ".bin";
        start([file, pieceBytes] {
            const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0)
                ::_exit(1);
            const std::string piece(pieceBytes, 'x');
            for (int n = 1;; ++n) {
                if (::write(fd, piece.data(), piece.size()) < 0 || ::fsync(fd) != 0)
                    ::_exit(1);
                if (n % kLoadPiecesPerFile == 0 && (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0))
                    ::_exit(1);
            }
        });
        m_file = file;
    }
    ~Load()
    {
        for (pid_t pid : m_children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::unlink(m_file.c_str());
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

private:
    void start(const std::function<void()>& work)
    {
        const pid_t pid = ::fork();
        if (pid < 0)
            fail("cannot fork the load");
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            work();
            ::_exit(0);
        }
        m_children.push_back(pid);
    }

    std::vector<pid_t> m_children;
    std::string m_file;
};

// ---- The X server -------------------------------------------------------------------------------

/// One connection to the private X server: finds the window, focuses it, types into it through XTest
/// and reports the damage done to it.
class Screen
{
public:
    explicit Screen(const std::string& display)
    {
        m_conn = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_conn))
            fail("cannot connect to " + display);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_conn, &xcb_damage_id);
        if (!damage || !damage->present)
            fail("the X server has no DAMAGE extension");
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_conn, &xcb_test_id);
        if (!xtest || !xtest->present)
            fail("the X server has no XTEST extension");
        readKeymap();
    }
    ~Screen() { xcb_disconnect(m_conn); }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    int fd() const { return xcb_get_file_descriptor(m_conn); }

    /// The viewable top-level window of the main window's size, or XCB_NONE.
    xcb_window_t findWindow()
    {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr);
        if (!tree)
            return XCB_NONE;
        xcb_window_t found = XCB_NONE;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_NONE; ++i) {
            auto* attributes = xcb_get_window_attributes_reply(
                m_conn, xcb_get_window_attributes(m_conn, children[i]), nullptr);
            auto* geometry = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, children[i]), nullptr);
            if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                geometry->width == kWidth && geometry->height == kHeight)
                found = children[i];
            free(attributes);
            free(geometry);
        }
        free(tree);
        return found;
    }

    /// Damage to the window is reported from now on, until unwatch().
    void watch(xcb_window_t window)
    {
        m_damage = xcb_generate_id(m_conn);
        xcb_damage_create(m_conn, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        sync();
    }

    void unwatch()
    {
        xcb_damage_destroy(m_conn, m_damage);
        m_damage = XCB_NONE;
        sync();
    }

    /// The window gets the keyboard, as when the user clicks into it; the pointer waits outside it.
    void focus(xcb_window_t window)
    {
        xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, 1270, 790, 0);
        xcb_set_input_focus(m_conn, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
    }

    /// Presses and releases the key (with the modifier held, when one is given); returns the moment
    /// the requests left.
    double tap(uint32_t keysym, uint32_t modifier = 0)
    {
        const xcb_keycode_t key = keycode(keysym);
        const xcb_keycode_t held = modifier ? keycode(modifier) : 0;
        if (held)
            fake(XCB_KEY_PRESS, held);
        fake(XCB_KEY_PRESS, key);
        fake(XCB_KEY_RELEASE, key);
        if (held)
            fake(XCB_KEY_RELEASE, held);
        const double at = nowMs();
        xcb_flush(m_conn);
        return at;
    }

    /// A round trip: every event the server sent before it is in our queue afterwards.
    void sync() { free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    /// What has arrived of the watched window's damage.
    struct Damage
    {
        int reports = 0;  // all of them
        int drawings = 0; // those wider than the caret
    };

    /// Reads what has arrived.
    Damage takeDamage()
    {
        Damage damage;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
            const auto* report = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            if ((event->response_type & 0x7F) == m_damageEvent && m_damage != XCB_NONE &&
                report->damage == m_damage) {
                ++damage.reports;
                // The caret blinks on its own clock, typing or not: its narrow rectangle is not a
                // key's drawing, which covers at least the whole line.
                if (report->area.width >= kCaretWidthLimit)
                    ++damage.drawings;
            }
            free(event);
        }
        if (xcb_connection_has_error(m_conn))
            fail("lost the connection to the X server");
        return damage;
    }

private:
    void fake(uint8_t type, xcb_keycode_t key)
    {
        xcb_test_fake_input(m_conn, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    void readKeymap()
    {
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
            m_conn, xcb_get_keyboard_mapping(m_conn, setup->min_keycode, uint8_t(count)), nullptr);
        if (!map)
            fail("cannot read the keyboard mapping");
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = 0; i < count; ++i) {
            const xcb_keysym_t sym = syms[i * map->keysyms_per_keycode];
            if (sym != 0 && !m_keycodes.count(sym))
                m_keycodes[sym] = xcb_keycode_t(setup->min_keycode + i);
        }
        free(map);
    }

    xcb_keycode_t keycode(uint32_t keysym) const
    {
        const auto it = m_keycodes.find(keysym);
        if (it == m_keycodes.end())
            fail("no key for keysym " + std::to_string(keysym));
        return it->second;
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_damageEvent = -1;
    xcb_damage_damage_t m_damage = XCB_NONE;
    std::map<xcb_keysym_t, xcb_keycode_t> m_keycodes;
};

// ---- One launch ---------------------------------------------------------------------------------

struct Key
{
    double sentMs = NAN;
    double paintMs = NAN;   // first damage after the key
    double durableMs = NAN; // first file in Notes/ that holds it
    bool newLine = false;   // Return, not a letter
    size_t typedEnd = 0;    // bytes typed once it is in a file
};

/// Types into one running program and follows its drawing and its note files.
class Typist
{
public:
    Typist(Screen& screen, const std::string& notesFolder) : m_screen(screen), m_notes(notesFolder)
    {
        if (notesFolder.empty())
            return;
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0 ||
            ::inotify_add_watch(m_inotify, notesFolder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_CREATE) < 0)
            fail("cannot watch " + notesFolder + ": " + std::strerror(errno));
    }
    ~Typist()
    {
        if (m_inotify >= 0)
            ::close(m_inotify);
    }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    const std::vector<Key>& keys() const { return m_keys; }
    const std::string& typed() const { return m_typed; }

    /// Types the next letter (or Return) and waits for its drawing, at most kPaintTimeoutMs.
    bool typeLetter(bool newLine = false)
    {
        const char c = letter(m_typed.size());
        m_screen.sync();
        pumpUntil(nowMs()); // what was on the way belongs to earlier keys
        // A note file ends its lines with CR LF.
        m_typed += newLine ? std::string("\r\n") : std::string(1, c);
        m_keys.push_back(Key{m_screen.tap(newLine ? kReturn : uint32_t(c))});
        m_keys.back().newLine = newLine;
        m_keys.back().typedEnd = m_typed.size();
        const Key& key = m_keys.back();
        pumpUntil(key.sentMs + kPaintTimeoutMs, [&] { return !std::isnan(key.paintMs); });
        return !std::isnan(key.paintMs);
    }

    /// Presses a key that is not typed text and waits until the window has been still for a while.
    void press(uint32_t keysym, uint32_t modifier, double quietMs, double maxMs)
    {
        m_screen.tap(keysym, modifier);
        waitQuiet(quietMs, maxMs);
    }

    /// Waits until no drawing for quietMs, at most maxMs.
    void waitQuiet(double quietMs, double maxMs)
    {
        const double start = nowMs();
        m_lastDamageMs = start;
        pumpUntil(start + maxMs, [&] { return nowMs() - m_lastDamageMs >= quietMs; });
    }

    /// Waits until every key is in a note file, at most maxMs.
    void waitDurable(double maxMs)
    {
        pumpUntil(nowMs() + maxMs, [&] { return m_durableCount == m_keys.size(); });
    }

    /// Handles what arrives until the deadline (at least what has already arrived) or until done()
    /// holds.
    void pumpUntil(
        double deadline, const std::function<bool()>& done = [] { return false; })
    {
        for (;;) {
            if (done())
                return;
            const double left = deadline - nowMs();
            pollfd fds[2] = {{m_screen.fd(), POLLIN, 0}, {m_inotify, POLLIN, 0}};
            const int timeout = left > 0 ? int(std::ceil(std::min(left, 100.0))) : 0;
            const int ready = ::poll(fds, m_inotify >= 0 ? 2 : 1, timeout);
            const double at = nowMs();
            if (ready < 0 && errno != EINTR)
                fail("poll");
            const Screen::Damage damage = m_screen.takeDamage();
            if (damage.reports > 0)
                m_lastDamageMs = at;
            if (damage.drawings > 0 && !m_keys.empty() && std::isnan(m_keys.back().paintMs))
                m_keys.back().paintMs = at;
            if (m_inotify >= 0 && (fds[1].revents & POLLIN))
                takeNoteFiles(at);
            if (left <= 0)
                return;
        }
    }

private:
    // Reads each note file reported and marks the keys it holds as kept at the moment of the report.
    void takeNoteFiles(double at)
    {
        alignas(inotify_event) char buffer[64 * 1024];
        std::set<std::string> names;
        for (;;) {
            const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->len > 0 && event->name[0] != '.')
                    names.insert(event->name);
                offset += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        for (const std::string& name : names) {
            const size_t count = typedCountIn(m_notes + "/" + name, m_typed);
            for (; m_durableCount < m_keys.size() && m_keys[m_durableCount].typedEnd <= count;
                 ++m_durableCount)
                m_keys[m_durableCount].durableMs = at;
        }
    }

    Screen& m_screen;
    std::string m_notes;
    int m_inotify = -1;
    std::vector<Key> m_keys;
    std::string m_typed;
    size_t m_durableCount = 0;
    double m_lastDamageMs = 0;
};

struct Run
{
    const Options& options;
    const Xvfb& xvfb;
    Screen& screen;
    std::string workspace;
    std::string bigText;
};

void screenshot(const Run& run, const std::string& path)
{
    const pid_t pid =
        spawn({"import", "-window", "root", path}, {"DISPLAY=" + run.xvfb.display(), "PATH=/usr/bin:/bin"},
              run.workspace + "/import.log");
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "bench_typing: no screenshot at %s (is ImageMagick installed?)\n", path.c_str());
}

// Launches the variant in a fresh tree, types keys letters after the warm-up ones and adds what it
// measured to results.
void launchAndType(const Run& run, Variant& v, Results& results, int keys, bool loaded, bool shoot)
{
    const std::string root = makeTempFolder(run.workspace + "/run-XXXXXX");
    const std::vector<std::string> env = privateEnvironment(root, run.xvfb.display());
    makeFolder(root + "/app");
    const std::string exe = placeProgram(v.executable, root + "/app");
    std::vector<std::string> args = {exe};
    const std::string notes = root + "/app/Notes";
    if (v.bare) {
        if (v.content == Content::Big) {
            writeFile(root + "/big.txt", run.bigText);
            args.push_back(root + "/big.txt");
        }
    } else {
        writeFile(root + "/app/portable", "");
        writeFile(root + "/app/Config.ini", configIni(v.autoSave));
        makeFolder(notes, 0700);
        if (v.content == Content::Big)
            writeFile(notes + "/1.txt", run.bigText);
        for (int i = 1; v.content == Content::Many && i <= 1000; ++i)
            writeFile(notes + "/" + std::to_string(i) + ".txt", everydayNote(i));
    }
    syncDisk(root);

    const pid_t pid = spawn(args, env, root + "/output.log");
    xcb_window_t window = XCB_NONE;
    for (const double deadline = nowMs() + kWindowTimeoutMs; window == XCB_NONE && nowMs() < deadline;) {
        ::usleep(20000);
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            fail(v.executable + " ended before showing its window (see " + root + "/output.log)");
        window = run.screen.findWindow();
    }
    if (window == XCB_NONE) {
        reap(pid, SIGKILL, 0);
        fail(v.executable + " showed no window (see " + root + "/output.log)");
    }
    run.screen.watch(window);
    Typist typist(run.screen, v.autoSave ? notes : std::string());
    typist.waitQuiet(300, 10000);
    run.screen.focus(window);
    typist.waitQuiet(300, 10000);
    if (!v.bare && v.content == Content::Big) {
        // The application opens with its new empty note: the large one is the second and last entry
        // of the note list. Ctrl+F opens the list in its search box; four tabs reach the list past
        // the list's three buttons, End selects its last entry and Return opens it.
        typist.press('f', kControlL, 300, 5000);
        for (int i = 0; i < 4; ++i)
            typist.press(kTab, 0, 100, 2000);
        typist.press(kEnd, 0, 100, 2000);
        typist.press(kReturn, 0, 500, 30000);
    }
    if (!v.bare)
        typist.press(kEnd, kControlL, 500, 10000);

    std::unique_ptr<Load> load;
    if (loaded) {
        load = std::make_unique<Load>(run.workspace, size_t(run.options.loadMiB) << 20);
        typist.pumpUntil(nowMs() + 300);
    }
    for (int i = 0; i < kWarmupKeys; ++i) {
        typist.typeLetter();
        typist.pumpUntil(nowMs() + 150);
        if (v.autoSave)
            typist.waitDurable(kDurableTimeoutMs);
    }
    int misses = 0;
    for (int i = 0; i < keys && misses < kMissesBeforeGivingUp; ++i) {
        const Key& previous = typist.keys().back();
        double next = previous.sentMs + run.options.gapMs;
        if (!std::isnan(previous.paintMs))
            next = std::max(next, previous.paintMs + 5);
        typist.pumpUntil(next);
        const int every = run.options.returnEvery;
        misses = typist.typeLetter(every > 0 && i % every == every - 1) ? 0 : misses + 1;
    }
    if (v.autoSave)
        typist.waitDurable(kDurableTimeoutMs);
    load.reset();
    if (shoot)
        screenshot(run, run.options.screenshots + "/" + v.name + (loaded ? "-loaded" : "") + ".png");
    run.screen.unwatch();
    // SIGTERM closes the application the normal way: it saves what was typed.
    reap(pid, SIGTERM, 20000);

    ++results.launches;
    const std::vector<Key>& typed = typist.keys();
    if (v.autoSave && !typed.empty() && !std::isnan(typed[0].durableMs))
        results.firstKeptMs.push_back(typed[0].durableMs - typed[0].sentMs);
    for (size_t i = kWarmupKeys; i < typed.size(); ++i) {
        if (std::isnan(typed[i].paintMs))
            ++results.missedPaints;
        else
            (typed[i].newLine ? results.returnPaintMs : results.paintMs)
                .push_back(typed[i].paintMs - typed[i].sentMs);
        if (v.autoSave && std::isnan(typed[i].durableMs))
            ++results.missedDurable;
        else if (v.autoSave)
            results.durableMs.push_back(typed[i].durableMs - typed[i].sentMs);
    }
    const bool kept =
        !v.bare && notesHold(notes, typist.typed(), v.content == Content::Big ? kBigNoteBytes : 0);
    if (run.options.verbose) {
        std::vector<double> paint;
        for (size_t i = kWarmupKeys; i < typed.size(); ++i)
            paint.push_back(typed[i].paintMs - typed[i].sentMs);
        std::fprintf(stderr, "  %-24s %s %3zu keys, median %7.2f ms, max %7.2f ms%s\n", v.label.c_str(),
                     loaded ? "loaded" : "idle  ", paint.size(), percentile(paint, 0.5),
                     percentile(paint, 1.0),
                     v.bare ? ""
                     : kept ? ", kept in Notes"
                            : ", NOT in Notes");
    }
    // The trees stay until the end: ext4 looks past recently deleted inodes when it creates a file,
    // so removing a thousand notes here would slow the next launch's saves.
    if (!v.bare && !kept)
        std::fprintf(stderr, "bench_typing: %s: the typed text is not in %s\n", v.label.c_str(),
                     notes.c_str());
    results.verified += kept ? 1 : 0;
}

// The disk's own pace in the same rounds: what a save does at the least, a file of size bytes (an
// everyday note when 0) written and synced, renamed into place and its folder synced, count times,
// --gap apart.
void probeDisk(const Run& run, Results& results, size_t size, int count, bool loaded)
{
    const std::string folder = makeTempFolder(run.workspace + "/disk-XXXXXX");
    std::unique_ptr<Load> load;
    if (loaded) {
        load = std::make_unique<Load>(run.workspace, size_t(run.options.loadMiB) << 20);
        ::usleep(300000);
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string staged = folder + "/.1.txt";
    const std::string placed = folder + "/1.txt";
    const std::string text = size > 0 ? std::string(size, 'x') : everydayNote(1);
    for (int i = 0; i < count; ++i) {
        const double start = nowMs();
        const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool done = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
                          ::fsync(fd) == 0 && ::close(fd) == 0 &&
                          ::rename(staged.c_str(), placed.c_str()) == 0 && ::fsync(dir) == 0;
        if (done)
            results.durableMs.push_back(nowMs() - start);
        else
            ++results.missedDurable;
        const double wait = start + run.options.gapMs - nowMs();
        if (wait > 0)
            ::usleep(useconds_t(wait * 1000));
    }
    ::close(dir);
    ++results.launches;
}

// ---- The table ----------------------------------------------------------------------------------

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string cell(double value, const char* format = "%9.2f")
{
    if (std::isnan(value))
        return "        -";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void printTable(const std::vector<Variant>& variants, int pass, const Options& options,
                const std::string& display, const std::string& loadBefore, const std::string& loadAfter)
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("\nKeystroke to screen under Xvfb %s, %s: %d rounds, %d keys per variant, %.0f ms apart, "
                "%ld cores\n",
                display.c_str(), pass ? "WITH LOAD" : "idle", options.rounds, options.keys, options.gapMs,
                cores);
    if (pass)
        std::printf("Load: %ld processes spinning, one appending %d MiB pieces to a file and syncing each.\n",
                    cores, options.loadMiB);
    std::printf("Load average before %s, after %s. Ratios against the bare editor with the same text.\n",
                loadBefore.c_str(), loadAfter.c_str());
    std::printf(
        "paint = key press to the first damage of the window; kept = key press to a file in Notes/\n"
        "holding the letter (断电保护 on only); in Notes = launches whose notes held all typed text;\n"
        "disk = a file written, synced, renamed and its folder synced, in the same rounds.\n\n");
    std::printf("%-26s %5s %4s %9s %9s %7s %7s %9s %9s %5s %8s\n", "", "keys", "miss", "paint med",
                "paint p95", "x med", "x p95", "kept med", "kept p95", "miss", "in Notes");
    for (const Variant& v : variants) {
        const Results& r = v.results[pass];
        const Results& bare = variants[v.yardstick].results[pass];
        const double med = percentile(r.paintMs, 0.5);
        const double p95 = percentile(r.paintMs, 0.95);
        char notes[16] = "";
        if (!v.bare && !v.disk)
            std::snprintf(notes, sizeof notes, "%d/%d", r.verified, r.launches);
        std::printf("%-26s %5zu %4d %s %s %s %s %s %s %5s %8s\n", v.label.c_str(), r.paintMs.size(),
                    r.missedPaints, cell(med).c_str(), cell(p95).c_str(),
                    cell(med / percentile(bare.paintMs, 0.5), "%6.2fx").c_str(),
                    cell(p95 / percentile(bare.paintMs, 0.95), "%6.2fx").c_str(),
                    cell(percentile(r.durableMs, 0.5)).c_str(), cell(percentile(r.durableMs, 0.95)).c_str(),
                    v.autoSave || v.disk ? std::to_string(r.missedDurable).c_str() : "-", notes);
        if (!r.firstKeptMs.empty())
            std::printf("%-26s %5zu %4s %9s %9s %7s %7s %s %s\n", "  first key (new note)",
                        r.firstKeptMs.size(), "", "", "", "", "",
                        cell(percentile(r.firstKeptMs, 0.5)).c_str(),
                        cell(percentile(r.firstKeptMs, 0.95)).c_str());
        if (!r.returnPaintMs.empty()) {
            const double returnMed = percentile(r.returnPaintMs, 0.5);
            const double returnP95 = percentile(r.returnPaintMs, 0.95);
            std::printf("%-26s %5zu %4s %s %s %s %s\n", "  Return", r.returnPaintMs.size(), "",
                        cell(returnMed).c_str(), cell(returnP95).c_str(),
                        cell(returnMed / percentile(bare.returnPaintMs, 0.5), "%6.2fx").c_str(),
                        cell(returnP95 / percentile(bare.returnPaintMs, 0.95), "%6.2fx").c_str());
        }
    }
}

std::vector<Variant> chooseVariants(const Options& options)
{
    std::vector<Variant> all = {
        {"bare", "bare editor", options.bare, true, false, Content::Empty, false},
        {"bare-1mb", "bare editor, 1 MiB text", options.bare, true, false, Content::Big, false}};
    const auto addApp = [&](const std::string& prefix, const std::string& label, const std::string& exe) {
        const char* names[] = {"empty", "1mb", "1000"};
        const char* labels[] = {"empty note", "1 MiB note", "1000 notes"};
        const Content contents[] = {Content::Empty, Content::Big, Content::Many};
        for (int c = 0; c < 3; ++c) {
            for (const bool on : {false, true})
                all.push_back({prefix + names[c] + (on ? "-on" : "-off"),
                               label + labels[c] + (on ? ", on" : ", off"), exe, false, false, contents[c],
                               on});
        }
    };
    addApp("", "", options.app);
    if (!options.baseline.empty())
        addApp("base-", "baseline: ", options.baseline);
    all.push_back({"disk", "disk: small durable save", "", false, true});
    all.push_back({"disk-1mb", "disk: 1 MiB durable save", "", false, true, Content::Big});
    const auto yardstickOf = [](const Variant& v) { return v.content == Content::Big ? "bare-1mb" : "bare"; };
    for (const std::string& name : options.variants) {
        if (std::none_of(all.begin(), all.end(), [&](const Variant& v) { return v.name == name; }))
            fail("no variant " + name);
    }
    // A yardstick stays when a variant compared with it stays.
    std::set<std::string> wanted = options.variants;
    for (const Variant& v : all) {
        if (wanted.count(v.name) && !v.disk)
            wanted.insert(yardstickOf(v));
        if (wanted.count(v.name) && v.autoSave)
            wanted.insert(v.content == Content::Big ? "disk-1mb" : "disk");
    }
    std::vector<Variant> chosen;
    for (const Variant& v : all) {
        if (options.variants.empty() || wanted.count(v.name))
            chosen.push_back(v);
    }
    for (Variant& v : chosen) {
        const auto it = std::find_if(chosen.begin(), chosen.end(),
                                     [&](const Variant& o) { return o.name == yardstickOf(v); });
        v.yardstick = it == chosen.end() ? size_t(&v - chosen.data()) : size_t(it - chosen.begin());
    }
    return chosen;
}

} // namespace

int main(int argc, char** argv)
{
    setProgramName("bench_typing");
    const Options options = parse(argc, argv);
    for (const std::string& exe : {options.app, options.bare, options.baseline}) {
        if (!exe.empty() && ::access(exe.c_str(), X_OK) != 0)
            fail("no executable at " + exe);
    }
    std::vector<Variant> variants = chooseVariants(options);
    const char* tmp = std::getenv("TMPDIR");
    const std::string workspace =
        makeTempFolder(std::string(tmp && *tmp ? tmp : "/tmp") + "/vemra-typing-XXXXXX");
    if (!options.screenshots.empty())
        makeFolder(options.screenshots);
    // On tmpfs a sync costs nothing: the saves would look free.
    struct statfs fs;
    const bool tmpfs = ::statfs(workspace.c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC;
    const std::string tmpfsNote =
        "NOTE: " + workspace +
        " is on tmpfs, where a sync costs nothing; set TMPDIR to a folder on a disk.\n";
    if (tmpfs)
        std::fputs(tmpfsNote.c_str(), stderr);
    Xvfb xvfb(workspace + "/xvfb.log");
    Screen screen(xvfb.display());
    const Run run{options, xvfb, screen, workspace, bigNote()};

    std::string loads[2][2];
    const int passes = options.load ? 2 : 1;
    const int perLaunch = (options.keys + options.rounds - 1) / options.rounds;
    for (int pass = 0; pass < passes; ++pass) {
        loads[pass][0] = loadAverage();
        for (int round = 0; round < options.rounds; ++round) {
            if (options.verbose)
                std::fprintf(stderr, "%s round %d\n", pass ? "loaded" : "idle", round + 1);
            for (size_t k = 0; k < variants.size(); ++k) {
                const size_t index = (size_t(round) + k) % variants.size();
                Variant& v = variants[index];
                const int keys = std::min(perLaunch, options.keys - perLaunch * round);
                if (keys > 0 && v.disk)
                    probeDisk(run, v.results[pass], v.content == Content::Big ? kBigNoteBytes : 0, keys,
                              pass == 1);
                else if (keys > 0)
                    launchAndType(run, v, v.results[pass], keys, pass == 1,
                                  round == 0 && !options.screenshots.empty());
            }
        }
        loads[pass][1] = loadAverage();
    }
    bool allKept = true;
    for (const Variant& v : variants)
        allKept = allKept && v.results[0].verified + v.results[1].verified ==
                                 (v.bare || v.disk ? 0 : v.results[0].launches + v.results[1].launches);
    if (!options.keep && allKept)
        removeTree(workspace);
    else
        std::fprintf(stderr, "bench_typing: the launches' trees are kept in %s\n", workspace.c_str());
    for (int pass = 0; pass < passes; ++pass)
        printTable(variants, pass, options, xvfb.display(), loads[pass][0], loads[pass][1]);
    if (tmpfs)
        std::fputs(tmpfsNote.c_str(), stdout);
    return 0;
}
