#include "forms/kit/failure_guard.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>

namespace vornel {
namespace {

class FailureGuardTest : public ::testing::Test {
protected:
    std::vector<std::string> reported;
    void SetUp() override {
        failure_guard::reset();
        failure_guard::setReporter([this](const std::string& what) { reported.push_back(what); });
    }
    void TearDown() override { failure_guard::reset(); }
};

TEST_F(FailureGuardTest, AnEscapingFailureIsReportedOnceAndEndsTheEventLoopWithFailure) {
    int laterRuns = 0;
    QTimer failing;
    failing.setSingleShot(true);
    QObject::connect(&failing, &QTimer::timeout,
                     guarded([] { throw std::runtime_error("the list view went away"); }));
    QTimer later;
    QObject::connect(&later, &QTimer::timeout, guarded([&] { ++laterRuns; }));
    QObject context;  // ends the timers below with the test
    QTimer::singleShot(0, &context, [&] {
        failing.start(0);
        later.start(1);
    });
    QTimer safety;  // ends the loop should the guard not
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(5000);

    const int status = QCoreApplication::exec();
    EXPECT_EQ(status, EXIT_FAILURE);
    EXPECT_EQ(reported, std::vector<std::string>{"the list view went away"});
    EXPECT_TRUE(failure_guard::ending());
    runGuarded([&] { ++laterRuns; });
    EXPECT_EQ(laterRuns, 0) << "no guarded handler runs once the program is ending";
}

TEST_F(FailureGuardTest, AFailureInsideAModalWindowEndsItsLoopAndTheProgram) {
    QDialog dialog;
    bool dialogReturned = false;
    QTimer::singleShot(0, &dialog, [&] {
        QTimer::singleShot(10, &dialog, guarded([] { throw 42; }));  // not an exception class
        dialog.exec();
        dialogReturned = true;
    });
    QTimer::singleShot(5000, &dialog, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), EXIT_FAILURE);
    EXPECT_TRUE(dialogReturned);
    EXPECT_EQ(reported, std::vector<std::string>{"an unknown failure"});
}

TEST_F(FailureGuardTest, UnwrappedEventHandlersAreGuardedByTheApplication) {
    class Throwing : public QObject {
    protected:
        bool event(QEvent* e) override {
            if (e->type() == QEvent::User) {
                throw std::logic_error("bad event");
            }
            return QObject::event(e);
        }
    } target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTimer::singleShot(5000, &target, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), EXIT_FAILURE);
    EXPECT_EQ(reported, std::vector<std::string>{"bad event"});
}

}  // namespace
}  // namespace vornel
