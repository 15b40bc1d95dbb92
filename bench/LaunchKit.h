// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

/// What the benchmarks that launch the real executable share: files and folders of their temporary
/// trees, starting and ending processes, and a private Xvfb. Plain POSIX, no Qt, so nothing of the
/// measuring program stands in the figures.
namespace LaunchKit {

/// Names the program in the messages of fail().
void setProgramName(const char* name);
/// Prints the message and ends the program with status 1.
[[noreturn]] void fail(const std::string& message);

double nowMs();
std::string baseName(const std::string& path);
std::string folderOf(const std::string& path);
void makeFolder(const std::string& path, mode_t mode = 0755);
void writeFile(const std::string& path, const std::string& data);
/// A hard link of from at to (a copy, with its mode, across file systems).
void placeFile(const std::string& from, const std::string& to);
void removeTree(const std::string& path);
/// A new folder named by pattern, whose last six characters are XXXXXX.
std::string makeTempFolder(const std::string& pattern);
/// Writes out what the file system holds for the folder's disk, so that files just planted are not
/// written back by the kernel while a measured program runs.
void syncDisk(const std::string& folder);
/// Places the executable, and the shared libraries the build keeps beside it, into folder; returns
/// the placed executable.
std::string placeProgram(const std::string& executable, const std::string& folder);
/// Creates home, data, config, cache and runtime below root and returns an environment that keeps a
/// launch inside them: the XDG folders, no session bus, the X display given, LANG and PATH.
std::vector<std::string> privateEnvironment(const std::string& root, const std::string& display);
/// A note like the ones people keep: Chinese with some Latin, CR LF line breaks, a few hundred
/// bytes, each different so that every title differs; UTF-8 with a byte-order mark.
std::string everydayNote(int i);
/// The p-quantile (0..1) of the values, between the two nearest ranks (0.5 is the median); NaN for
/// none.
double percentile(std::vector<double> values, double p);

/// Starts args with exactly env, stdin from /dev/null and both outputs appended to log.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& log);
/// Sends signal and waits for the process to end, killing it when it does not within graceMs.
void reap(pid_t pid, int signal, int graceMs);

/// An Xvfb of our own on a free display, ended with its owner.
class Xvfb
{
public:
    explicit Xvfb(const std::string& log);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    const std::string& display() const { return m_display; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

} // namespace LaunchKit
