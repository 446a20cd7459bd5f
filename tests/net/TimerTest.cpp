// TThreadTimer's setter rules and the socket's use of it as a one-shot.
#include "Loopback.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(ThreadTimer, ArmsOnlyWhenEnabledWithAnIntervalAndAHandler)
{
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_FALSE(timer.IsArmed()); // no handler yet
    timer.SetOnTimer([](QObject*) {});
    EXPECT_TRUE(timer.IsArmed());
    timer.SetInterval(0);
    EXPECT_FALSE(timer.IsArmed());
    timer.SetInterval(500);
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.IsArmed());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.IsArmed());
}

TEST(ThreadTimer, SameValueKeepsThePeriodButANewHandlerRestartsIt)
{
    TThreadTimer timer;
    timer.SetInterval(10000);
    timer.SetOnTimer([](QObject*) {});
    QTest::qWait(60);
    timer.SetInterval(10000);
    timer.SetEnabled(true);
    EXPECT_LE(timer.RemainingTime(), 9960); // not restarted
    timer.SetOnTimer([](QObject*) {});
    EXPECT_GE(timer.RemainingTime(), 9990); // restarted
}

TEST(ThreadTimer, FiresRepeatedlyAndAThrowingHandlerDoesNotStopIt)
{
    TThreadTimer timer;
    int ticks = 0;
    timer.SetInterval(5);
    timer.SetOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
        throw Exception(QStringLiteral("handler failed"));
    });
    QStringList shown;
    const auto previous = SetExceptionHandler([&](std::exception_ptr e) { shown << ExceptionText(e); });
    EXPECT_TRUE(Eventually([&] { return ticks >= 3; }));
    SetExceptionHandler(previous);
    EXPECT_GE(shown.size(), 3);
    EXPECT_EQ(shown.value(0), QStringLiteral("handler failed"));
}
