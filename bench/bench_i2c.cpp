// A register write on a kernel I2C adapter: a script's command through the panel, from the
// event loop taking it up to its reply (sent once the kernel returned from the send byte),
// against a bare loop of the same SMBus send byte on the same bus, and against one i2cset
// process per write, which is what a script does without the panel. Needs a device that
// acknowledges every byte at 0x7C; scripts/run-kernel-tests runs it in the emulated PC, where
// one is.
//   bench_i2c /dev/i2c-N [WRITES]
#include "control/server.h"
#include "data_register.h"
#include "panel_operator.h"
#include "samples.h"

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kChip = 0x7C;
constexpr std::uint8_t kData = 0x8B; // speaker volume at position 11, as DEFAULT sets it

double micros(Clock::duration span)
{
    return std::chrono::duration<double, std::micro>(span).count();
}

// One send byte per run, straight on the bus: what the adapter and its driver cost by themselves.
std::vector<double> bareSendBytes(const std::string &bus, int runs)
{
    const int fd = ::open(bus.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, I2C_SLAVE, static_cast<unsigned long>(kChip)) < 0) {
        benchFailed(std::strerror(errno));
    }
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        i2c_smbus_ioctl_data request{I2C_SMBUS_WRITE, kData, I2C_SMBUS_BYTE, nullptr};
        const auto start = Clock::now();
        if (::ioctl(fd, I2C_SMBUS, &request) < 0) {
            benchFailed("the bare send byte was not acknowledged");
        }
        samples.push_back(micros(Clock::now() - start));
    }
    ::close(fd);
    return samples;
}

// One i2cset process per write, started and waited for as a shell script would.
std::vector<double> i2csetProcesses(const std::string &busNumber, int runs)
{
    std::string data = "0x8b";
    std::string chip = "0x7c";
    std::vector<std::string> words{"i2cset", "-y", "-a", busNumber, chip, data};
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawnp(&pid, "i2cset", nullptr, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            benchFailed("i2cset failed (is i2c-tools installed?)");
        }
        samples.push_back(micros(Clock::now() - start));
    }
    return samples;
}

// Notes when the event loop first dispatches socket activity after a reset: the command has
// been received. The client, on its own thread, resets it before each command.
class ReceivedAt : public QObject {
public:
    std::atomic<Clock::rep> when{0};
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        Clock::rep unset = 0;
        if (event->type() == QEvent::SockAct) {
            when.compare_exchange_strong(unset, Clock::now().time_since_epoch().count());
        }
        return QObject::eventFilter(watched, event);
    }
};

// A script's client on a bare socket, on its own thread so that it sees the reply the moment
// the panel writes it: each command waits for its reply, as --send does.
struct Client {
    std::vector<double> fromReceived;
    std::vector<double> fromSent;
    std::string failure;

    bool prompt = false; // woken ahead of the panel's thread the moment a reply arrives

    void run(const QString &path, ReceivedAt &received, int runs)
    {
        // On one processor the panel's thread would otherwise go on (to repaint, say) before
        // this one reads the reply, and the time of the reply would include that work. Real-time
        // priority needs root or CAP_SYS_NICE; without it the figures say so.
        const sched_param priority{1};
        prompt = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &priority) == 0;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            failure = "cannot connect to the control socket";
            return;
        }
        for (int run = 0; run < runs && failure.empty(); ++run) {
            const std::string command = "speaker-volume " + std::to_string(run % 32) + "\n";
            received.when = 0;
            const auto sent = Clock::now();
            std::string reply;
            char byte = 0;
            bool sentWhole =
                ::send(fd, command.data(), command.size(), MSG_NOSIGNAL) == ssize_t(command.size());
            while (sentWhole && byte != '\n' && ::read(fd, &byte, 1) == 1) {
                reply += byte;
            }
            const auto replied = Clock::now();
            if (reply != "ok\n") {
                failure = "the panel answered '" + reply + "' to " + command;
            }
            fromSent.push_back(micros(replied - sent));
            fromReceived.push_back(
                micros(replied - Clock::time_point(Clock::duration(received.when))));
        }
        ::close(fd);
    }
};

void print(const char *what, Spread measured, Spread bare)
{
    std::printf("  %-44s median %8.1f us, min %8.1f us, median/bare %.3f\n", what, measured.median,
                measured.min, measured.median / bare.median);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2 || std::strncmp(argv[1], "/dev/i2c-", 9) != 0) {
        std::fprintf(stderr, "usage: bench_i2c /dev/i2c-N [WRITES]\n");
        return 2;
    }
    const std::string bus = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
    const int processes = std::max(1, runs / 5);

    const Spread bare = spread(bareSendBytes(bus, runs));
    const Spread i2cset = spread(i2csetProcesses(bus.substr(9), processes));

    PortSettings settings;
    settings.i2cBus = bus;
    if (const std::string problem = configurePort(settings); !problem.empty()) {
        benchFailed(problem.c_str());
    }
    PanelOnScreen panel(argc, argv);
    QTemporaryDir runtime;
    ControlServer server(panel.window);
    QString problem;
    const QString path = runtime.filePath("bench.socket");
    if (!server.listen(path, problem)) {
        benchFailed(qPrintable(problem));
    }
    ReceivedAt received;
    panel.app.installEventFilter(&received);
    Client client;
    std::thread script([&] {
        client.run(path, received, runs);
        QMetaObject::invokeMethod(&panel.app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    panel.app.exec();
    script.join();
    panel.app.removeEventFilter(&received);
    if (!client.failure.empty()) {
        benchFailed(client.failure.c_str());
    }

    std::printf("register write on %s, 0x7C <- one byte; %d writes, %d i2cset processes\n",
                bus.c_str(), runs, processes);
    if (!client.prompt) {
        std::printf("  (the client could not take real-time priority: its times include some of "
                    "the panel's work after each reply)\n");
    }
    std::printf("  %-44s median %8.1f us, min %8.1f us\n", "bare send byte (one I2C_SMBUS ioctl)",
                bare.median, bare.min);
    print("panel: command received to its reply", spread(client.fromReceived), bare);
    print("panel: command sent to its reply", spread(client.fromSent), bare);
    print("one i2cset -y -a process per write", i2cset, bare);
    return 0;
}
