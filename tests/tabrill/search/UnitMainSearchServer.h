#pragma once

#include "platform/automation/ActiveObjectHost.h"
#include "platform/automation/Automation.h"
#include "sheethost/model/Workbook.h"

#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// "Excel.Application" served from the test process: SheetHost's object model on a thread of its
// own, reached through the real running-object table and socket, behind a dispatch layer that
// records every call and can make a chosen call fail.
class TestExcelServer
{
public:
    // One call as the server received it. kind: "names" for a name lookup, "get" for a
    // property read, "call" for a method call. Arguments in Excel's order, written as
    // "I4:7", "BSTR:text", "BOOL:-1", "ERROR:80020004", "DISPATCH", "EMPTY".
    struct Call
    {
        QString kind;
        QString member;
        QStringList arguments;
    };

    TestExcelServer();
    ~TestExcelServer();
    TestExcelServer(const TestExcelServer&) = delete;
    TestExcelServer& operator=(const TestExcelServer&) = delete;

    // Registers in the running-object table; false (with the reason logged) when that fails.
    bool Start();
    // Removes the entry and disconnects every client.
    void Stop();

    // Runs work on the server's thread, with its application, and waits for it.
    void Run(const std::function<void(SheetHost::Application&)>& work);

    // Every call since the last ClearCalls.
    std::vector<Call> Calls() const;
    // Only the invocations ("get" and "call"), as their member names.
    QStringList Invocations() const;
    void ClearCalls();

    // The nth (1-based) invocation of member from now on fails with description.
    void FailInvocation(const QString& member, int nth, const QString& description);

    struct Shared;

private:
    QThread thread_;
    std::unique_ptr<QObject> context_;
    SheetHost::Application* application_ = nullptr;
    Automation::ActiveObjectHost* host_ = nullptr;
    std::shared_ptr<Shared> shared_;
};

// A workbook written in a few lines: sheets of cells by address ("B2").
struct TestCell
{
    QString address;
    QString formula;
    QString text; // the displayed text; the formula when empty
    std::optional<QString> comment;
};
struct TestSheet
{
    QString name;
    std::vector<TestCell> cells;
};
std::unique_ptr<SheetHost::Workbook> MakeWorkbook(const QString& name,
                                                  const std::vector<TestSheet>& sheets);
