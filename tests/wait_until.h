#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace vornel::testing {

// Runs the event loop until `done` holds or `timeoutMs` has passed; true when it holds. Unlike
// QTest::qWaitFor it never sleeps between events, so a fast stream is read at full speed.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeoutMs) {
            loop.quit();
        }
    });
    poll.start(2);
    loop.exec();
    return done();
}

}  // namespace vornel::testing
