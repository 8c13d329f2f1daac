// The hook both start-up probes share: notices the first time a window of the program is
// exposed, lets that expose be handled (the first frame painted and flushed), then prints
// "startup-us N", the microseconds since the driver spawned this process, and ends the process.
// Each probe constructs it right after its QApplication, before creating its window.
#pragma once

#include "spawn_clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

class StartupProbe : public QObject {
public:
    StartupProbe()
    {
        const char *spawnedAt = std::getenv(kSpawnClockVariable);
        if (spawnedAt == nullptr) {
            std::fprintf(stderr, "startup probe: %s is not set; run bench_startup instead\n",
                         kSpawnClockVariable);
            std::exit(2);
        }
        spawnedAtNs_ = std::strtoll(spawnedAt, nullptr, 10);
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!seen_ && event->type() == QEvent::Expose) {
            const auto *window = qobject_cast<QWindow *>(watched);
            if (window != nullptr && window->isExposed()) {
                seen_ = true;
                // Queued, so it runs once this expose event has been handled.
                QMetaObject::invokeMethod(this, &StartupProbe::report, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void report() const
    {
        const std::int64_t elapsedNs = monotonicNanos() - spawnedAtNs_;
        std::printf("startup-us %lld\n", static_cast<long long>(elapsedNs / 1000));
        std::fflush(stdout);
        // Ends here, without tearing down: the peak memory the driver reads is then the
        // start-up's own. (Qt's teardown would even set up the font system in a window that
        // never drew text, inflating the empty window's figure.)
        std::_Exit(0);
    }

    std::int64_t spawnedAtNs_ = 0;
    bool seen_ = false;
};
