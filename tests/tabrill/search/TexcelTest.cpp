#include "tabrill/search/Texcel.h"

#include "tabrill/search/FindCondition.h"
#include "tabrill/search/Tcsvutility.h"
#include "tests/platform/automation/AutomationTestSupport.h"
#include "tests/sheethost/server/SheetHostTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Automation;
using AutomationTest::RecordingDispatch;

namespace {

QString SocketPath()
{
    return RunningObjectTable::SocketPath(AutomationTest::ExcelClsid());
}

TEST(TExcelGetActive, IsNullWithNoServerAndWithAStaleSocket)
{
    QFile::remove(SocketPath());
    std::unique_ptr<TExcel> excel;
    EXPECT_NO_THROW(excel = TExcel::GetActive());
    EXPECT_EQ(excel, nullptr);

    // The socket a crashed SheetHost leaves behind: nobody listens on it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(SocketPath());
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    EXPECT_NO_THROW(excel = TExcel::GetActive());
    EXPECT_EQ(excel, nullptr);
    QFile::remove(SocketPath());
}

// A server that records every call: each wrapper must make exactly its one call.
class RecordedCalls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        recorder = MakeDispatch<RecordingDispatch>();
        recorder->answer(QStringLiteral("Count"), Variant::FromI4(5));
        recorder->answer(QStringLiteral("Name"), Variant::FromBstr(QStringLiteral("売上.xlsx")));
        recorder->answer(QStringLiteral("Row"), Variant::FromI4(7));
        recorder->answer(QStringLiteral("Column"), Variant::FromI4(3));
        recorder->answer(QStringLiteral("Text"), Variant::FromBstr(QStringLiteral("¥1,000")));
        recorder->answer(QStringLiteral("Formula"), Variant::FromBstr(QStringLiteral("1000")));
        ASSERT_TRUE(server.start(AutomationTest::ExcelClsid(), recorder));
        excel = TExcel::GetActive();
        ASSERT_NE(excel, nullptr);
        // Every member answers with the recorder itself, so any wrapper can be made from it.
        self = excel->Workbooks().Value();
    }

    RecordingDispatch::Call lastCall() const
    {
        const auto calls = recorder->calls();
        return calls.empty() ? RecordingDispatch::Call{} : calls.back();
    }

    ComPtr<RecordingDispatch> recorder;
    AutomationTest::HostedServer server;
    std::unique_ptr<TExcel> excel;
    Variant self;
};

struct WrapperCall
{
    const char* name;
    std::function<void(const Variant& self)> operation;
    const char16_t* member;
    WORD kind;
    std::vector<Variant> wireArguments; // as they arrive: reversed
};

void PrintTo(const WrapperCall& c, std::ostream* out)
{
    *out << c.name;
}

class WrapperCalls : public RecordedCalls, public ::testing::WithParamInterface<WrapperCall>
{
};

TEST_P(WrapperCalls, MakeExactlyTheirOneCall)
{
    const std::size_t before = recorder->calls().size();
    GetParam().operation(self);
    const auto calls = recorder->calls();
    ASSERT_EQ(calls.size(), before + 1);
    const RecordingDispatch::Call& call = calls.back();
    // The name is sent spelled exactly as Excel's member is listed.
    EXPECT_EQ(recorder->resolvedNames().back(), QString::fromUtf16(GetParam().member));
    EXPECT_EQ(call.member, QString::fromUtf16(GetParam().member));
    EXPECT_EQ(call.flags, GetParam().kind);
    ASSERT_EQ(call.arguments.size(), GetParam().wireArguments.size());
    for (std::size_t i = 0; i < call.arguments.size(); ++i) {
        const Variant& expected = GetParam().wireArguments[i];
        if (expected.vt() == VT_DISPATCH)
            EXPECT_EQ(call.arguments[i].vt(), VT_DISPATCH) << i;
        else
            EXPECT_TRUE(call.arguments[i] == expected)
                << "argument " << i << " vt " << call.arguments[i].vt();
    }
}

using namespace Excel;

INSTANTIATE_TEST_SUITE_P(
    Texcel, WrapperCalls,
    ::testing::Values(
        WrapperCall{"WorkbooksCount",
                    [](const Variant& v) { EXPECT_EQ(TWorkbooks(v).Count(), 5); },
                    u"Count",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"WorkbooksItemByIndex",
                    [](const Variant& v) { TWorkbooks(v).Item(2); },
                    u"item",
                    DISPATCH_PROPERTYGET,
                    {Variant::FromI4(2)}},
        WrapperCall{"WorkbooksItemByName",
                    [](const Variant& v) { TWorkbooks(v).Item(QStringLiteral("売上.xlsx")); },
                    u"item",
                    DISPATCH_PROPERTYGET,
                    {Variant::FromBstr(QStringLiteral("売上.xlsx"))}},
        WrapperCall{
            "WorkbookName",
            [](const Variant& v) { EXPECT_EQ(TWorkbook(v).Name(), QStringLiteral("売上.xlsx")); },
            u"Name",
            DISPATCH_PROPERTYGET,
            {}},
        WrapperCall{"WorkbookWorkSheets",
                    [](const Variant& v) { TWorkbook(v).WorkSheets(); },
                    u"WorkSheets",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"WorksheetsCount",
                    [](const Variant& v) { EXPECT_EQ(TWorksheets(v).Count(), 5); },
                    u"Count",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"WorksheetsItem",
                    [](const Variant& v) { TWorksheets(v).Item(4); },
                    u"item",
                    DISPATCH_PROPERTYGET,
                    {Variant::FromI4(4)}},
        WrapperCall{"WorksheetName",
                    [](const Variant& v) { TWorksheet(v).Name(); },
                    u"Name",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"WorksheetActivate",
                    [](const Variant& v) { TWorksheet(v).Activate(); },
                    u"Activate",
                    DISPATCH_METHOD,
                    {}},
        // Column 3, row 7: Excel gets (7, 3), which travels reversed.
        WrapperCall{"CellsRowFirst",
                    [](const Variant& v) { TWorksheet(v).Cells(3, 7); },
                    u"Cells",
                    DISPATCH_PROPERTYGET,
                    {Variant::FromI4(3), Variant::FromI4(7)}},
        WrapperCall{"UsedRange",
                    [](const Variant& v) { TWorksheet(v).UsedRange(); },
                    u"UsedRange",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"FindEightArguments",
                    [](const Variant& v) {
                        TRange(v).Find(QStringLiteral("売上"), EmptyParam(), XlFind::LookInComments,
                                       XlFind::LookAtPart, XlFind::SearchByColumns,
                                       XlFind::SearchNext, true, false);
                    },
                    u"Find",
                    DISPATCH_METHOD,
                    {Variant::FromBool(false), Variant::FromBool(true), Variant::FromI4(1),
                     Variant::FromI4(2), Variant::FromI4(2), Variant::FromI4(-4144),
                     Variant::FromError(DISP_E_PARAMNOTFOUND),
                     Variant::FromBstr(QStringLiteral("売上"))}},
        WrapperCall{"FindNextAfter",
                    [](const Variant& v) { TRange(v).FindNext(TRange(v)); },
                    u"FindNext",
                    DISPATCH_METHOD,
                    {Variant::FromDispatch(nullptr)}},
        WrapperCall{"RangeColumn",
                    [](const Variant& v) { EXPECT_EQ(TRange(v).Column(), 3); },
                    u"Column",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"RangeRow",
                    [](const Variant& v) { EXPECT_EQ(TRange(v).Row(), 7); },
                    u"Row",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"RangeText",
                    [](const Variant& v) { EXPECT_EQ(TRange(v).Text(), QStringLiteral("¥1,000")); },
                    u"Text",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{
            "RangeFormula",
            [](const Variant& v) { EXPECT_EQ(TRange(v).Formula(), QStringLiteral("1000")); },
            u"Formula",
            DISPATCH_PROPERTYGET,
            {}},
        WrapperCall{"RangeComment",
                    [](const Variant& v) { EXPECT_TRUE(TRange(v).Comment().HasObject()); },
                    u"Comment",
                    DISPATCH_PROPERTYGET,
                    {}},
        WrapperCall{"RangeActivate",
                    [](const Variant& v) { TRange(v).Activate(); },
                    u"Activate",
                    DISPATCH_METHOD,
                    {}},
        WrapperCall{
            "CommentTextIsAMethod",
            [](const Variant& v) { EXPECT_EQ(TComment(v).Text(), QStringLiteral("¥1,000")); },
            u"Text",
            DISPATCH_METHOD,
            {}}),
    [](const ::testing::TestParamInfo<WrapperCall>& param) {
        return std::string(param.param.name);
    });

TEST_F(RecordedCalls, FindWithNoMatchHoldsTheIntegerZero)
{
    for (const Variant& nothing : {Variant(), Variant::FromDispatch(nullptr)}) {
        recorder->answer(QStringLiteral("Find"), nothing);
        const TRange found = TRange(self).Find(
            QStringLiteral("x"), EmptyParam(), XlFind::LookInFormulas, XlFind::LookAtPart,
            XlFind::SearchByRows, XlFind::SearchNext, false, false);
        EXPECT_FALSE(found.HasObject());
        EXPECT_EQ(found.Value().vt(), VT_I4);
        EXPECT_EQ(found.Value().lVal(), 0);
        // Using it as a range is an automation error, not a crash.
        EXPECT_THROW(TRange(found).Row(), AutomationError);
    }
}

TEST_F(RecordedCalls, CommentOfACellWithoutOneHasNoObject)
{
    recorder->answer(QStringLiteral("Comment"), Variant::FromDispatch(nullptr));
    EXPECT_FALSE(TRange(self).Comment().HasObject());
}

TEST_F(RecordedCalls, CopiesShareTheObject)
{
    TRange first(self);
    {
        const TRange copy = first;
        EXPECT_EQ(copy.Value().pdispVal(), first.Value().pdispVal());
    }
    EXPECT_EQ(first.Row(), 7); // still usable after the copy is gone
    TRange& alias = first;
    first = alias; // assigning a wrapper to itself changes nothing
    EXPECT_TRUE(first.HasObject());
    first = TRange(Variant::FromI4(0));
    EXPECT_FALSE(first.HasObject());
    const TWorkbook empty;
    EXPECT_FALSE(empty.HasObject());
}

TEST_F(RecordedCalls, FailingCallRaisesTheServersMessage)
{
    recorder->fail(QStringLiteral("item"), DISP_E_BADINDEX,
                   QStringLiteral("インデックスが有効範囲にありません。"));
    try {
        TWorkbooks(self).Item(QStringLiteral("閉じた.xlsx"));
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("インデックスが有効範囲にありません。"));
    }
    recorder->refuseName(QStringLiteral("UsedRange"));
    EXPECT_THROW(TWorksheet(self).UsedRange(), AutomationError);
}

TEST(TExcel, BalancesItsCoInitialize)
{
    auto recorder = MakeDispatch<RecordingDispatch>();
    AutomationTest::HostedServer server;
    ASSERT_TRUE(server.start(AutomationTest::ExcelClsid(), recorder));
    std::thread([] {
        EXPECT_EQ(CoInitialize(), S_OK);
        {
            const auto excel = TExcel::GetActive();
            EXPECT_NE(excel, nullptr);
        }
        CoUninitialize();
        EXPECT_FALSE(IsInitialized());
    }).join();
}

// The real SheetHost object model behind the wrappers.
class TexcelOnSheetHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.start([](SheetHost::Application& app) {
            auto book =
                std::make_unique<SheetHost::Workbook>(QStringLiteral("売上.xlsx"), QString());
            SheetHostTest::Fill(book->addWorksheet(QStringLiteral("一月")),
                                {{{2, 2}, u"売上", u"売上"},
                                 {{2, 3}, u"=\"売上\"&\"計\"", u"売上計", u"メモ"},
                                 {{5, 2}, u"仕入", u"仕入"},
                                 {{6, 4}, u"ｳﾘｱｹﾞ", u"ｳﾘｱｹﾞ"}});
            SheetHostTest::Fill(book->addWorksheet(QStringLiteral("二月")),
                                {{{1, 1}, u"なし", u"なし"}});
            app.openWorkbook(std::move(book));
        }));
    }

    struct Row
    {
        int sheet;
        QString sheetName;
        QString column;
        int row;
        QString text;
        QString formula;
        QString comment;
        bool operator==(const Row&) const = default;
        friend void PrintTo(const Row& row, std::ostream* out)
        {
            *out << row.sheet << ' ' << row.sheetName.toStdString() << ' '
                 << row.column.toStdString() << row.row << " [" << row.text.toStdString() << "] ["
                 << row.formula.toStdString() << "] [" << row.comment.toStdString() << ']';
        }
    };

    // The search of one book, as the search run makes it.
    std::vector<Row> searchBook(const QString& name, const TFindCondition& condition)
    {
        std::vector<Row> rows;
        const auto excel = TExcel::GetActive();
        if (!excel)
            throw Exception(QStringLiteral("Excelに接続できませんでした。"));
        TWorkbook book = excel->Workbooks().Item(name);
        const int count = book.WorkSheets().Count();
        for (int d = 1; d <= count; ++d) {
            TWorksheet sheet = book.WorkSheets().Item(d);
            TRange used = sheet.UsedRange();
            TRange found =
                used.Find(condition.What, EmptyParam(), condition.LookIn, condition.LookAt,
                          condition.SearchOrder, condition.SearchDirection, condition.MatchCase,
                          condition.MatchByte);
            std::set<TFoundResult> seen;
            while (found.HasObject()) {
                const TFoundResult at{found.Column(), found.Row()};
                if (!seen.insert(at).second)
                    break;
                TComment comment = found.Comment();
                rows.push_back({d, sheet.Name(), ColumnIndexToLetters(at.Column - 1), at.Row,
                                found.Text(), found.Formula(),
                                comment.HasObject() ? comment.Text() : QString()});
                found = used.FindNext(found);
            }
        }
        return rows;
    }

    SheetHostTest::HostedSheetHost host;
};

TEST_F(TexcelOnSheetHost, SearchListsEveryMatchOnceWithTheFirstCellLast)
{
    TFindCondition condition;
    condition.What = QStringLiteral("売上");
    EXPECT_EQ(searchBook(QStringLiteral("売上.xlsx"), condition),
              (std::vector<Row>{{1, QStringLiteral("一月"), QStringLiteral("C"), 2,
                                 QStringLiteral("売上計"), QStringLiteral("=\"売上\"&\"計\""),
                                 QStringLiteral("メモ")},
                                {1, QStringLiteral("一月"), QStringLiteral("B"), 2,
                                 QStringLiteral("売上"), QStringLiteral("売上"), QString()}}));
    condition.What = QStringLiteral("ウリアゲ");
    condition.LookIn = XlFind::LookInValues;
    EXPECT_EQ(searchBook(QStringLiteral("売上.xlsx"), condition).size(), 1u);
    condition.MatchByte = true;
    EXPECT_TRUE(searchBook(QStringLiteral("売上.xlsx"), condition).empty());
}

TEST_F(TexcelOnSheetHost, ItemByAMissingNameRaisesTheServersMessage)
{
    const auto excel = TExcel::GetActive();
    ASSERT_NE(excel, nullptr);
    EXPECT_EQ(excel->Workbooks().Count(), 1);
    try {
        excel->Workbooks().Item(QStringLiteral("閉じた.xlsx"));
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("インデックスが有効範囲にありません。"));
    }
}

TEST_F(TexcelOnSheetHost, JumpActivatesTheSheetAndTheCell)
{
    const auto excel = TExcel::GetActive();
    ASSERT_NE(excel, nullptr);
    TWorksheet sheet = excel->Workbooks().Item(QStringLiteral("売上.xlsx")).WorkSheets().Item(2);
    sheet.Activate();
    sheet.Cells(ColumnLettersToIndex(QStringLiteral("AA")) + 1, 12).Activate();
    host.with([](SheetHost::Application& app) {
        EXPECT_EQ(app.activePlace().worksheetIndex, 1);
        EXPECT_EQ(app.activePlace().cell, (SheetHost::CellAddress{12, 27}));
    });
}

// A SheetHost in another process.
class SheetHostProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        books = TestEnvironment::Root() + QStringLiteral("/books.json");
        QFile file(books);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"books": [{"name": "大きい.xlsx", "sheets": [{"name": "S",
            "cells": [["A1", "key 1", "key 1"], ["C3", "key 2", "key 2"], ["B9", "key 3", "key 3"]],
            "touch": ["XFD1048576"]}]}]})");
        file.close();
        start(first);
        ASSERT_EQ(first.readLine().trimmed(), QByteArray("registered"));
    }
    void TearDown() override
    {
        for (QProcess* process : {&first, &second}) {
            process->kill();
            process->waitForFinished(10000);
        }
    }
    void start(QProcess& process)
    {
        process.start(TestEnvironment::Program(QStringLiteral("sheethost_test_server")), {books});
        ASSERT_TRUE(process.waitForStarted(10000));
        ASSERT_TRUE(process.waitForReadyRead(10000));
    }

    QString books;
    QProcess first;
    QProcess second;
};

TEST_F(SheetHostProcess, KilledMidSearchGivesAnAutomationError)
{
    const auto excel = TExcel::GetActive();
    ASSERT_NE(excel, nullptr);
    TRange used =
        excel->Workbooks().Item(QStringLiteral("大きい.xlsx")).WorkSheets().Item(1).UsedRange();
    TRange found =
        used.Find(QStringLiteral("key"), EmptyParam(), XlFind::LookInFormulas, XlFind::LookAtPart,
                  XlFind::SearchByRows, XlFind::SearchNext, false, false);
    ASSERT_TRUE(found.HasObject());
    EXPECT_EQ(found.Row(), 3);
    found = used.FindNext(found);
    EXPECT_EQ(found.Row(), 9);

    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    try {
        found = used.FindNext(found);
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), SystemErrorText(RPC_S_CALL_FAILED));
    }
    EXPECT_THROW(found.Row(), AutomationError);
    EXPECT_EQ(TExcel::GetActive(), nullptr);
}

TEST_F(SheetHostProcess, ASecondSheetHostRunsWithoutTheEntryAndAThirdTakesOverAfterACrash)
{
    start(second);
    EXPECT_EQ(second.readLine().trimmed(), QByteArray("refused"));
    EXPECT_EQ(second.state(), QProcess::Running);
    {
        const auto excel = TExcel::GetActive();
        ASSERT_NE(excel, nullptr);
        EXPECT_EQ(excel->Workbooks().Item(1).Name(), QStringLiteral("大きい.xlsx"));
    }
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(TExcel::GetActive(), nullptr);
    start(first);
    EXPECT_EQ(first.readLine().trimmed(), QByteArray("registered"));
    EXPECT_NE(TExcel::GetActive(), nullptr);
}

} // namespace
