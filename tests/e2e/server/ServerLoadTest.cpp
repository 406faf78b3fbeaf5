// SheetHost's automation server under many clients, one after another and side by side: every
// session does real calls, and whatever a client leaves behind is given back when it goes.
#include "tests/e2e/server/Sessions.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <iostream>
#include <thread>

namespace {

using namespace ServerProbe;

// Resident growth allowed over the measured sessions, after a warm-up has let the allocator
// (and the sanitizer's quarantine) settle; measured growth is a few hundred kilobytes. A
// server that kept what the measured clients held would grow by about seven kilobytes a session
// (measured by holding a hundred such sessions open).
constexpr qint64 AllowedGrowthKb = 2 * 1024;

class ServerLoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(host.Start(&error)) << error.toStdString();
    }

    // Runs count sessions in turn, cycling through every way of ending; stops at the first
    // failure and returns its description.
    static QString RunInTurn(int count, int salt)
    {
        for (int i = 0; i < count; ++i) {
            const SessionEnd end = AllSessionEnds[std::size_t(i) % AllSessionEnds.size()];
            const QString failure = RunSession(end, salt + i);
            if (!failure.isEmpty())
                return QStringLiteral("session %1 (end %2): %3").arg(i).arg(int(end)).arg(failure);
        }
        return {};
    }

    // Every test ends with a server that shuts down cleanly, whatever its clients did.
    void TearDown() override { EXPECT_EQ(host.Stop(), QString()); }

    ServedSheetHost host;
};

TEST_F(ServerLoad, AThousandSessionsInTurnLeaveNeitherDescriptorsNorMemoryBehind)
{
    const qint64 pid = host.Pid();
    const int descriptorsAtStart = SettledDescriptors(pid);
    ASSERT_GT(descriptorsAtStart, 0);

    constexpr int WarmUp = 400;
    constexpr int Measured = 1000;
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(RunInTurn(WarmUp, 0), QString());
    // Every client of the warm-up is gone: the server holds the descriptors it held before.
    const int afterWarmUp = WaitForDescriptorsAtMost(pid, descriptorsAtStart);
    ASSERT_EQ(afterWarmUp, descriptorsAtStart);
    const qint64 residentBefore = ResidentKilobytes(pid);

    const qint64 measuredStart = timer.elapsed();
    ASSERT_EQ(RunInTurn(Measured, WarmUp), QString());
    const qint64 measuredMs = timer.elapsed() - measuredStart;
    const int descriptorsAfter = WaitForDescriptorsAtMost(pid, descriptorsAtStart);
    const qint64 residentAfter = ResidentKilobytes(pid);

    std::cout << "sessions " << WarmUp << " warm-up + " << Measured << " measured in " << measuredMs
              << " ms; descriptors " << descriptorsAtStart << " -> " << descriptorsAfter
              << "; resident " << residentBefore << " kB -> " << residentAfter << " kB\n";
    EXPECT_EQ(descriptorsAfter, descriptorsAtStart);
    EXPECT_LE(residentAfter - residentBefore, AllowedGrowthKb);
    EXPECT_TRUE(host.IsRunning());
}

TEST_F(ServerLoad, SixteenClientsAtOnceAreAllServed)
{
    const qint64 pid = host.Pid();
    const int descriptorsAtStart = SettledDescriptors(pid);
    constexpr int Clients = 16;
    constexpr int SessionsEach = 40;

    std::atomic<int> completed{0};
    std::vector<QString> failures(Clients);
    std::vector<std::int64_t> slowest(Clients, 0);
    QElapsedTimer timer;
    timer.start();
    {
        std::vector<std::jthread> clients;
        for (int c = 0; c < Clients; ++c) {
            clients.emplace_back([&, c] {
                // The platform's client needs the thread initialised.
                Automation::CoInitialize();
                for (int i = 0; i < SessionsEach && failures[std::size_t(c)].isEmpty(); ++i) {
                    QElapsedTimer session;
                    session.start();
                    const SessionEnd end =
                        AllSessionEnds[std::size_t(c + i) % AllSessionEnds.size()];
                    failures[std::size_t(c)] = RunSession(end, c * 1000 + i);
                    slowest[std::size_t(c)] =
                        std::max(slowest[std::size_t(c)], std::int64_t(session.elapsed()));
                    if (failures[std::size_t(c)].isEmpty())
                        ++completed;
                }
                Automation::CoUninitialize();
            });
        }
    }
    const qint64 elapsed = timer.elapsed();
    for (int c = 0; c < Clients; ++c)
        EXPECT_EQ(failures[std::size_t(c)], QString()) << "client " << c;
    EXPECT_EQ(completed, Clients * SessionsEach);
    const int descriptorsAfter = WaitForDescriptorsAtMost(pid, descriptorsAtStart);
    EXPECT_EQ(descriptorsAfter, descriptorsAtStart);
    const std::int64_t slowestSession = *std::max_element(slowest.begin(), slowest.end());
    std::cout << Clients << " clients x " << SessionsEach << " sessions in " << elapsed
              << " ms; slowest session " << slowestSession << " ms; descriptors "
              << descriptorsAtStart << " -> " << descriptorsAfter << "\n";
    // Nobody waited behind the others for long.
    EXPECT_LT(slowestSession, 5000);
}

} // namespace
