// What the I2C adapter device does with what an adapter reports that the emulated PC's
// controller never does: no send byte, no quick write, and each of the ways adapters report a
// missing acknowledge. A fake i2c-dev node stands in for the kernel: this executable's own
// stat, open and ioctl take the calls for that one path and pass every other on to the C
// library, so nothing under /dev is touched. The node opens a scratch file, so its lock is a
// real one that another process can hold.
#include "data_register.h"
#include "inpout.h"
#include "line_stream.h"

#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char *kNode = "/nonexistent/zq80415-test/i2c-250";

// The adapter behind kNode, as the test sets it up.
struct FakeAdapter {
    std::string file; // what the node opens
    int fd = -1;
    unsigned long functions = 0;
    int sendError = 0;            // what a send byte fails with; 0: acknowledged
    int selected = -1;            // the address I2C_SLAVE set
    std::vector<std::string> bus; // what reached the bus and was acknowledged
} fake;

template <class Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int smbus(const i2c_smbus_ioctl_data &request)
{
    if (request.read_write != I2C_SMBUS_WRITE || request.size != I2C_SMBUS_BYTE) {
        errno = EOPNOTSUPP; // the device asks for nothing else; the quick write is not offered
        return -1;
    }
    if (fake.sendError != 0) {
        errno = fake.sendError;
        return -1;
    }
    char line[32];
    std::snprintf(line, sizeof line, "0x%02X <- 0x%02X", fake.selected, request.command);
    fake.bus.emplace_back(line);
    return 0;
}

} // namespace

extern "C" int stat(const char *path, struct stat *status) __THROW
{
    if (std::strcmp(path, kNode) != 0) {
        return next<int (*)(const char *, struct stat *)>("stat")(path, status);
    }
    *status = {};
    status->st_mode = S_IFCHR | 0600;
    status->st_rdev = makedev(89, 250); // i2c-dev's major, adapter 250
    return 0;
}

extern "C" int open(const char *path, int flags, ...)
{
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    if (std::strcmp(path, kNode) != 0) {
        return next<int (*)(const char *, int, ...)>("open")(path, flags, mode);
    }
    return fake.fd = next<int (*)(const char *, int, ...)>("open")(fake.file.c_str(), flags);
}

extern "C" int ioctl(int fd, unsigned long request, ...) __THROW
{
    va_list rest;
    va_start(rest, request);
    if (fd != fake.fd) {
        void *argument = va_arg(rest, void *);
        va_end(rest);
        return next<int (*)(int, unsigned long, ...)>("ioctl")(fd, request, argument);
    }
    int result = 0;
    if (request == I2C_FUNCS) {
        *va_arg(rest, unsigned long *) = fake.functions;
    } else if (request == I2C_SLAVE) {
        fake.selected = int(va_arg(rest, unsigned long));
    } else if (request == I2C_SMBUS) {
        result = smbus(*va_arg(rest, i2c_smbus_ioctl_data *));
    } else {
        errno = ENOTTY;
        result = -1;
    }
    va_end(rest);
    return result;
}

namespace {

// The panel's port bytes for one register write to 0x7C; the device's failure, if any.
QString failureOfWrite(unsigned data)
{
    const std::vector<std::uint8_t> bytes = Stream().write(0x7C << 1, data).bytes;
    try {
        for (const std::uint8_t byte : bytes) {
            writeDataRegister(kDataRegister, byte);
        }
    } catch (const PortError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// Another process holding the bus's lock as a running panel does, until released.
struct OtherPanel {
    pid_t pid = -1;
    int release[2] = {-1, -1};

    bool start(const std::string &file)
    {
        int locked[2];
        if (pipe(locked) < 0 || pipe(release) < 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            close(release[1]);
            const int fd = ::open(file.c_str(), O_RDWR);
            struct flock whole {};
            whole.l_type = F_WRLCK;
            const char done = fcntl(fd, F_SETLK, &whole) == 0 ? 'y' : 'n';
            (void)!::write(locked[1], &done, 1);
            char end;
            (void)!read(release[0], &end, 1);
            _exit(0);
        }
        char done = 'n';
        (void)!read(locked[0], &done, 1);
        close(locked[0]);
        close(locked[1]);
        return done == 'y';
    }
    void stop()
    {
        close(release[1]);
        waitpid(pid, nullptr, 0);
        close(release[0]);
    }
};

} // namespace

class TestI2cdevPort : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        scratch.open();
        fake.file = scratch.fileName().toStdString();
        PortSettings settings;
        settings.i2cBus = kNode;
        QVERIFY(configurePort(settings).empty());
    }

    // One panel per bus: while another process holds the lock, the open is refused before any
    // byte, naming that process; once it ends, the bus is this panel's. The open is tried again
    // at the next write, so these cases come first.
    void aBusAnotherPanelDrivesIsRefused()
    {
        fake.functions = I2C_FUNC_SMBUS_WRITE_BYTE;
        OtherPanel other;
        QVERIFY(other.start(fake.file));
        const QString message = failureOfWrite(0x8B);
        other.stop();
        QVERIFY2(message.startsWith(QStringLiteral("Cannot use the I2C bus %1: another panel "
                                                   "drives it (pid %2).\nClose that panel (kill "
                                                   "%2)")
                                        .arg(QLatin1String(kNode))
                                        .arg(other.pid)),
                 qPrintable(message));
        QVERIFY(fake.bus.empty());
        fake.functions = 0;
    }

    void anAdapterWithoutSendByteIsRefused()
    {
        fake.functions = I2C_FUNC_SMBUS_QUICK | I2C_FUNC_I2C;
        const QString message = failureOfWrite(0x8B);
        QVERIFY2(
            message.startsWith(QStringLiteral("Cannot use %1: its adapter cannot send a single "
                                              "byte (SMBus send byte).")
                                   .arg(QLatin1String(kNode))),
            qPrintable(message));
        QVERIFY(fake.bus.empty());
    }

    // ENXIO, EREMOTEIO, ENODEV, ETIMEDOUT and EIO all mean the chip did not answer: the message
    // names the write, the chip's settings and, without a quick write, that the other address
    // was not probed. Any other error is the adapter's own and says so.
    void eachWayOfReportingAMissingAcknowledgeNamesTheWrite()
    {
        fake.functions = I2C_FUNC_SMBUS_WRITE_BYTE;
        QCOMPARE(failureOfWrite(0x8B), QString());
        QCOMPARE(fake.bus, std::vector<std::string>{"0x7C <- 0x8B"});

        for (const int error : {ENXIO, EREMOTEIO, ENODEV, ETIMEDOUT, EIO}) {
            fake.sendError = error;
            const QString message = failureOfWrite(0x01);
            QVERIFY2(message.startsWith(
                         QStringLiteral("The chip did not acknowledge 0x7C <- 0x01 "
                                        "on %1: %2.\nThe chip keeps the settings it "
                                        "had before this write. This adapter cannot "
                                        "probe 0x7D for a chip.\n")
                             .arg(QLatin1String(kNode), QString::fromUtf8(std::strerror(error)))),
                     qPrintable(message));
        }
        fake.sendError = EOPNOTSUPP;
        const QString message = failureOfWrite(0x01);
        QVERIFY2(message.startsWith(
                     QStringLiteral("Cannot send 0x7C <- 0x01 on %1: %2.\nCheck the "
                                    "I2C adapter")
                         .arg(QLatin1String(kNode), QString::fromUtf8(std::strerror(EOPNOTSUPP)))),
                 qPrintable(message));
        QCOMPARE(fake.bus.size(), std::size_t(1));
    }

private:
    QTemporaryFile scratch;
};

QTEST_APPLESS_MAIN(TestI2cdevPort)
#include "test_i2cdev_port.moc"
