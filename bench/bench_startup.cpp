// Start-up of the panel on the simulated board against the toolkit's floors, an empty window of
// the same size and that window with one line of text: spawns the three probes alternately and
// prints, for each, the time from just before its spawn to its window shown, and its peak
// resident memory, with the panel's ratios to both floors.
// The driver links no toolkit, so its own small footprint, which a spawned child's peak
// resident figure starts from, stays far below either probe's.
#include "samples.h"
#include "spawn_clock.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr int kRounds = 30;
const std::vector<std::string> kStartupWrites{"0x7C <- 0x80", "0x7C <- 0x40", "0x7C <- 0x00"};

struct Child {
    std::string out;
    std::string err;
    int status = 0;
    rusage usage{};
};

struct Probe {
    const char *name;
    const char *path;
    std::vector<std::string> expectedWrites; // its stdout besides the report line
    std::vector<double> startupMs;
    std::vector<double> peakRssMb;
};

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_startup: %s\n", what.c_str());
    std::exit(1);
}

std::string drain(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return text;
        }
    }
}

// Runs one probe to its end: stdout through a pipe, stderr into an anonymous file, so that
// neither can fill up and stall the child whatever it prints.
Child runChild(const char *path)
{
    int out[2];
    const int err = memfd_create("probe-stderr", MFD_CLOEXEC);
    if (err < 0 || pipe2(out, O_CLOEXEC) != 0) {
        fail(std::string("cannot set up the probe's output: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    char *argv[] = {const_cast<char *>(path), nullptr};
    pid_t pid = 0;
    setenv(kSpawnClockVariable, std::to_string(monotonicNanos()).c_str(), 1);
    const int spawned = posix_spawn(&pid, path, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        fail(std::string("cannot start ") + path + ": " + std::strerror(spawned));
    }
    Child child;
    child.out = drain(out[0]);
    close(out[0]);
    while (wait4(pid, &child.status, 0, &child.usage) < 0 && errno == EINTR) {
    }
    lseek(err, 0, SEEK_SET);
    child.err = drain(err);
    close(err);
    return child;
}

// Checks one run's exit, output and I2C traffic, and records its figures.
void record(Probe &probe, const Child &child)
{
    const auto problem = [&](const std::string &what) {
        fail(std::string(probe.name) + ": " + what + "\n--- stdout\n" + child.out + "--- stderr\n" +
             child.err);
    };
    if (!WIFEXITED(child.status) || WEXITSTATUS(child.status) != 0) {
        problem("did not exit with status 0");
    }
    std::istringstream lines(child.out);
    std::vector<std::string> writes;
    long long startupUs = -1;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("startup-us ", 0) == 0 && startupUs < 0) {
            startupUs = std::stoll(line.substr(11));
        } else {
            writes.push_back(line);
        }
    }
    if (startupUs < 0) {
        problem("printed no start-up time");
    }
    if (writes != probe.expectedWrites) {
        problem("printed other register writes than expected");
    }
    if (child.err.find("violation") != std::string::npos) {
        problem("its I2C traffic broke the protocol or its timing");
    }
    probe.startupMs.push_back(static_cast<double>(startupUs) / 1000.0);
    probe.peakRssMb.push_back(static_cast<double>(child.usage.ru_maxrss) / 1024.0);
}

double median(const std::vector<double> &values)
{
    return spread(values).median;
}

double minimum(const std::vector<double> &values)
{
    return spread(values).min;
}

void print(const Probe &probe)
{
    std::printf("  %-28s median %7.1f ms, min %7.1f ms, peak RSS median %6.1f MB\n", probe.name,
                median(probe.startupMs), minimum(probe.startupMs), median(probe.peakRssMb));
}

} // namespace

int main()
{
    if (const char *platform = std::getenv("QT_QPA_PLATFORM"); platform == nullptr || !*platform) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    Probe panel{"panel (simulated board)", PANEL_PROBE, kStartupWrites, {}, {}};
    Probe empty{"empty 559x319 QWidget", EMPTY_PROBE, {}, {}, {}};
    Probe text{"same with one line of text", TEXT_PROBE, {}, {}, {}};
    for (int round = 0; round < kRounds; ++round) {
        record(panel, runChild(panel.path));
        record(empty, runChild(empty.path));
        record(text, runChild(text.path));
    }

    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("start-up to window shown, %d runs each, alternating, QT_QPA_PLATFORM=%s\n",
                kRounds, std::getenv("QT_QPA_PLATFORM"));
    print(panel);
    print(empty);
    print(text);
    for (const Probe *floor : {&empty, &text}) {
        std::printf("  panel/%-5s start-up (medians) %.3f, peak RSS (medians) %.3f\n",
                    floor == &empty ? "empty" : "text",
                    median(panel.startupMs) / median(floor->startupMs),
                    median(panel.peakRssMb) / median(floor->peakRssMb));
    }
    std::printf("  driver's own peak RSS %.1f MB: no child's figure can be lower\n",
                static_cast<double>(self.ru_maxrss) / 1024.0);
    return 0;
}
