// A headless automation server for tests that need one in another process: serves a
// RecordingDispatch as "Excel.Application" and says on stdout whether it got the entry.

#include "platform/automation/ActiveObjectHost.h"
#include "tests/platform/automation/AutomationTestSupport.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Automation::CLSID clsid;
    Automation::CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    Automation::ActiveObjectHost host;
    const bool registered =
        host.registerObject(clsid, Automation::MakeDispatch<AutomationTest::RecordingDispatch>());
    std::printf(registered ? "registered\n" : "refused\n");
    std::fflush(stdout);
    if (!registered)
        return 3;
    return app.exec();
}
