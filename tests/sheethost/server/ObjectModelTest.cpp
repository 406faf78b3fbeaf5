#include "sheethost/server/ObjectModel.h"

#include "tests/sheethost/server/SheetHostTestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <set>

using namespace Automation;
using namespace SheetHost;
using SheetHostTest::CellSpec;
using SheetHostTest::HostedSheetHost;

namespace {

struct Reply
{
    HRESULT hr = E_FAIL;
    Variant value;
    EXCEPINFO info;
    UINT argErr = UINT(-1);
};

// One late-bound call with the arguments in Excel's order.
Reply Call(const Variant& target, const QString& member, WORD flags,
           std::vector<Variant> arguments = {}, std::vector<DISPID> named = {})
{
    Reply reply;
    IDispatch* object = target.pdispVal();
    if (!object) {
        ADD_FAILURE() << "no object for " << member.toStdString();
        return reply;
    }
    DISPID id = DISPID_UNKNOWN;
    reply.hr = object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(reply.hr))
        return reply;
    std::vector<Variant> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), named.data(), UINT(reversed.size()), UINT(named.size())};
    reply.hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, &reply.value,
                              &reply.info, &reply.argErr);
    return reply;
}

Variant Get(const Variant& target, const QString& member, std::vector<Variant> arguments = {})
{
    Reply reply = Call(target, member, DISPATCH_PROPERTYGET, std::move(arguments));
    EXPECT_EQ(reply.hr, S_OK) << member.toStdString() << ": "
                              << reply.info.bstrDescription.toStdString();
    return reply.value;
}

Variant Method(const Variant& target, const QString& member, std::vector<Variant> arguments = {})
{
    Reply reply = Call(target, member, DISPATCH_METHOD, std::move(arguments));
    EXPECT_EQ(reply.hr, S_OK) << member.toStdString() << ": "
                              << reply.info.bstrDescription.toStdString();
    return reply.value;
}

Variant I4(std::int32_t value)
{
    return Variant::FromI4(value);
}

Variant Text(const char16_t* text)
{
    return Variant::FromBstr(QString::fromUtf16(text));
}

QString S(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// Two books: 売上.xlsx with a sheet "集計" whose used range starts at B2, and a second sheet;
// Book2.xlsx with an empty sheet.
class ObjectModel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start([](Application& app) {
            auto sales = std::make_unique<Workbook>(QStringLiteral("売上.xlsx"),
                                                    QStringLiteral("/data/売上.xlsx"));
            SheetHostTest::Fill(sales->addWorksheet(QStringLiteral("集計")),
                                {{{2, 2}, u"売上", u"売上"},
                                 {{2, 3}, u"=SUM(C3:C4)", u"¥3,000", u"作成者:\n確認済み"},
                                 {{3, 3}, u"1000", u"¥1,000"},
                                 {{4, 3}, u"2000", u"¥2,000"},
                                 {{4, 2}, u"月別売上", u"月別売上"},
                                 {{5, 4}, u"", u"", u"空のセルのメモ"}});
            SheetHostTest::Fill(sales->addWorksheet(QStringLiteral("Sheet2")),
                                {{{1, 1}, u"売上", u"売上"}});
            app.openWorkbook(std::move(sales));
            auto other = std::make_unique<Workbook>(QStringLiteral("Book2.xlsx"), QString());
            other->addWorksheet(QStringLiteral("Sheet1"));
            app.openWorkbook(std::move(other));
        }));
        ASSERT_EQ(AutomationTest::Attach(application), S_OK);
    }

    Variant workbooks() { return Get(application, QStringLiteral("Workbooks")); }
    Variant sheet(const char16_t* book, int index)
    {
        const Variant workbook = Get(workbooks(), QStringLiteral("item"), {Text(book)});
        return Get(Get(workbook, QStringLiteral("WorkSheets")), QStringLiteral("item"),
                   {I4(index)});
    }

    // Every match as Tabrill enumerates them.
    std::vector<std::pair<int, int>> search(const Variant& sheetObject,
                                            std::vector<Variant> findArguments)
    {
        std::vector<std::pair<int, int>> found;
        std::set<std::pair<int, int>> seen;
        const Variant range = Get(sheetObject, QStringLiteral("UsedRange"));
        Variant cell = Method(range, QStringLiteral("Find"), std::move(findArguments));
        while (cell.vt() == VT_DISPATCH && cell.pdispVal()) {
            const std::pair<int, int> at{Get(cell, QStringLiteral("Row")).lVal(),
                                         Get(cell, QStringLiteral("Column")).lVal()};
            if (!seen.insert(at).second)
                break;
            found.push_back(at);
            cell = Method(range, QStringLiteral("FindNext"), {cell});
        }
        return found;
    }

    HostedSheetHost server;
    Variant application;
};

void ExpectBadIndex(const Reply& reply)
{
    EXPECT_EQ(reply.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(reply.info.scode, DISP_E_BADINDEX);
    EXPECT_EQ(reply.info.bstrDescription, QStringLiteral("インデックスが有効範囲にありません。"));
}

TEST_F(ObjectModel, WorkbooksByIndexAndByNameWithoutRegardToCase)
{
    const Variant books = workbooks();
    EXPECT_EQ(Get(books, QStringLiteral("Count")).lVal(), 2);
    EXPECT_EQ(Get(Get(books, QStringLiteral("item"), {I4(2)}), QStringLiteral("Name")).bstrVal(),
              QStringLiteral("Book2.xlsx"));
    const Variant byName = Get(books, QStringLiteral("ITEM"), {Text(u"売上.XLSX")});
    EXPECT_EQ(Get(byName, QStringLiteral("name")).bstrVal(), QStringLiteral("売上.xlsx"));
    EXPECT_EQ(Get(byName, QStringLiteral("FullName")).bstrVal(), QStringLiteral("/data/売上.xlsx"));

    for (const Variant& missing : {I4(0), I4(3), Text(u"売上"), Text(u"閉じた.xlsx")})
        ExpectBadIndex(Call(books, QStringLiteral("item"), DISPATCH_PROPERTYGET, {missing}));
}

TEST_F(ObjectModel, WorksheetsInOrder)
{
    const Variant book = Get(workbooks(), QStringLiteral("item"), {I4(1)});
    const Variant sheets = Get(book, QStringLiteral("WorkSheets"));
    EXPECT_EQ(Get(sheets, QStringLiteral("Count")).lVal(), 2);
    EXPECT_EQ(Get(Get(sheets, QStringLiteral("item"), {I4(2)}), QStringLiteral("Name")).bstrVal(),
              QStringLiteral("Sheet2"));
    EXPECT_EQ(
        Get(Get(sheets, QStringLiteral("item"), {Text(u"sheet2")}), QStringLiteral("Index")).lVal(),
        2);
    ExpectBadIndex(Call(sheets, QStringLiteral("item"), DISPATCH_PROPERTYGET, {I4(3)}));
    ExpectBadIndex(Call(sheets, QStringLiteral("item"), DISPATCH_PROPERTYGET, {I4(0)}));
}

TEST_F(ObjectModel, UsedRangeNeedNotStartAtA1)
{
    const Variant used = Get(sheet(u"売上.xlsx", 1), QStringLiteral("UsedRange"));
    EXPECT_EQ(Get(used, QStringLiteral("Row")).lVal(), 2);
    EXPECT_EQ(Get(used, QStringLiteral("Column")).lVal(), 2);
    // The note on the otherwise empty D5 counts.
    EXPECT_EQ(Get(used, QStringLiteral("Address")).bstrVal(), QStringLiteral("$B$2:$D$5"));
    const Variant empty = Get(sheet(u"Book2.xlsx", 1), QStringLiteral("UsedRange"));
    EXPECT_EQ(Get(empty, QStringLiteral("Address")).bstrVal(), QStringLiteral("$A$1"));
}

TEST_F(ObjectModel, CellsTakesRowThenColumn)
{
    const Variant s = sheet(u"売上.xlsx", 1);
    const Variant cell = Get(s, QStringLiteral("Cells"), {I4(2), I4(3)});
    EXPECT_EQ(Get(cell, QStringLiteral("Row")).lVal(), 2);
    EXPECT_EQ(Get(cell, QStringLiteral("Column")).lVal(), 3);
    EXPECT_EQ(Get(cell, QStringLiteral("Text")).bstrVal(), QStringLiteral("¥3,000"));
    EXPECT_EQ(Get(cell, QStringLiteral("Formula")).bstrVal(), QStringLiteral("=SUM(C3:C4)"));
    const Variant comment = Get(cell, QStringLiteral("Comment"));
    ASSERT_EQ(comment.vt(), VT_DISPATCH);
    EXPECT_EQ(Method(comment, QStringLiteral("Text")).bstrVal(),
              QStringLiteral("作成者:\n確認済み"));

    const Variant byLetters = Get(s, QStringLiteral("Cells"), {I4(4), Text(u"b")});
    EXPECT_EQ(Get(byLetters, QStringLiteral("Text")).bstrVal(), QStringLiteral("月別売上"));

    const Variant empty = Get(s, QStringLiteral("Cells"), {I4(1048576), I4(16384)});
    EXPECT_EQ(Get(empty, QStringLiteral("Text")).bstrVal(), QString());
    EXPECT_EQ(Get(empty, QStringLiteral("Formula")).bstrVal(), QString());
    const Variant none = Get(empty, QStringLiteral("Comment"));
    EXPECT_EQ(none.vt(), VT_DISPATCH);
    EXPECT_EQ(none.pdispVal(), nullptr);
}

struct BadCall
{
    const char* name;
    const char16_t* member;
    WORD flags;
    std::vector<Variant> arguments;
    std::vector<DISPID> named;
    HRESULT hr;
};

void PrintTo(const BadCall& c, std::ostream* out)
{
    *out << c.name;
}

class ObjectModelErrors : public ObjectModel, public ::testing::WithParamInterface<BadCall>
{
};

TEST_P(ObjectModelErrors, AreReportedAndChangeNothing)
{
    const BadCall& c = GetParam();
    const Reply reply = Call(sheet(u"売上.xlsx", 1), S(c.member), c.flags, c.arguments, c.named);
    EXPECT_EQ(reply.hr, c.hr);
    if (reply.hr == DISP_E_EXCEPTION) {
        EXPECT_EQ(reply.info.scode, XlErrorApplicationDefined);
        EXPECT_EQ(reply.info.bstrDescription,
                  QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。"));
    }
    EXPECT_EQ(Get(Get(sheet(u"売上.xlsx", 1), QStringLiteral("Cells"), {I4(2), I4(2)}),
                  QStringLiteral("Text"))
                  .bstrVal(),
              QStringLiteral("売上"));
}

INSTANTIATE_TEST_SUITE_P(
    SheetHost, ObjectModelErrors,
    ::testing::Values(
        BadCall{"RowZero", u"Cells", DISPATCH_PROPERTYGET, {I4(0), I4(1)}, {}, DISP_E_EXCEPTION},
        BadCall{"RowPastTheEnd",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {I4(1048577), I4(1)},
                {},
                DISP_E_EXCEPTION},
        BadCall{"ColumnPastXFD",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {I4(1), I4(16385)},
                {},
                DISP_E_EXCEPTION},
        BadCall{"RowNotANumber",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {Text(u"x"), I4(1)},
                {},
                DISP_E_TYPEMISMATCH},
        BadCall{"TooManyArguments",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {I4(1), I4(1), I4(1)},
                {},
                DISP_E_BADPARAMCOUNT},
        BadCall{"MissingColumn",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {I4(1), Variant::Missing()},
                {},
                DISP_E_PARAMNOTFOUND},
        BadCall{"NamedArguments",
                u"Cells",
                DISPATCH_PROPERTYGET,
                {I4(1), I4(1)},
                {1, 2},
                DISP_E_NONAMEDARGS},
        BadCall{
            "PropertyPut", u"Name", DISPATCH_PROPERTYPUT, {Text(u"x")}, {}, DISP_E_MEMBERNOTFOUND},
        BadCall{"UnknownMember", u"Delete", DISPATCH_METHOD, {}, {}, DISP_E_UNKNOWNNAME}),
    [](const ::testing::TestParamInfo<BadCall>& param) { return std::string(param.param.name); });

TEST_F(ObjectModel, MemberNamesMatchWithoutRegardToCase)
{
    const Variant s = sheet(u"売上.xlsx", 1);
    EXPECT_EQ(Get(s, QStringLiteral("NAME")).bstrVal(), QStringLiteral("集計"));
    EXPECT_EQ(Get(Get(s, QStringLiteral("usedrange")), QStringLiteral("rOW")).lVal(), 2);
}

TEST_F(ObjectModel, FindAndFindNextAsTabrillCallsThem)
{
    const Variant s = sheet(u"売上.xlsx", 1);
    auto arguments = [](const char16_t* what, int lookIn, int lookAt, int order, bool matchByte) {
        return std::vector<Variant>{Text(what),
                                    Variant::Missing(),
                                    I4(lookIn),
                                    I4(lookAt),
                                    I4(order),
                                    I4(1),
                                    Variant::FromBool(false),
                                    Variant::FromBool(matchByte)};
    };
    using Found = std::vector<std::pair<int, int>>;
    // The match in B2, the used range's first cell, comes last.
    EXPECT_EQ(search(s, arguments(u"売上", -4123, 2, 1, false)), (Found{{4, 2}, {2, 2}}));
    EXPECT_EQ(search(s, arguments(u"売上", -4123, 1, 1, false)), (Found{{2, 2}}));
    EXPECT_EQ(search(s, arguments(u"¥?,000", -4163, 1, 2, false)), (Found{{2, 3}, {3, 3}, {4, 3}}));
    EXPECT_EQ(search(s, arguments(u"1000", -4163, 2, 1, false)), Found{});
    EXPECT_EQ(search(s, arguments(u"メモ", -4144, 2, 1, false)), (Found{{5, 4}}));
    EXPECT_EQ(search(s, arguments(u"ＳＵＭ", -4123, 2, 1, false)), (Found{{2, 3}}));
    EXPECT_EQ(search(s, arguments(u"ＳＵＭ", -4123, 2, 1, true)), Found{});

    // Nothing found is an empty object reference.
    const Variant nothing = Method(Get(s, QStringLiteral("UsedRange")), QStringLiteral("Find"),
                                   arguments(u"ない", -4123, 2, 1, false));
    EXPECT_EQ(nothing.vt(), VT_DISPATCH);
    EXPECT_EQ(nothing.pdispVal(), nullptr);
}

TEST_F(ObjectModel, FindNextRepeatsTheLastFindOfItsRangeAndSettingsCarryOver)
{
    const Variant s = sheet(u"売上.xlsx", 1);
    const Variant first = Get(s, QStringLiteral("UsedRange"));
    const Variant second = Get(s, QStringLiteral("UsedRange"));
    // Nothing to repeat yet.
    const Variant none = Method(first, QStringLiteral("FindNext"));
    EXPECT_EQ(none.pdispVal(), nullptr);

    const Variant a = Method(first, QStringLiteral("Find"),
                             {Text(u"月別"), Variant::Missing(), I4(-4163), I4(2), I4(1)});
    // Another search on another range in between must not change what the first repeats.
    const Variant b = Method(second, QStringLiteral("Find"),
                             {Text(u"¥2,000"), Variant::Missing(), I4(-4163), I4(1)});
    EXPECT_EQ(Get(b, QStringLiteral("Row")).lVal(), 4);
    EXPECT_EQ(Get(b, QStringLiteral("Column")).lVal(), 3);
    const Variant again = Method(first, QStringLiteral("FindNext"), {a});
    EXPECT_EQ(Get(again, QStringLiteral("Row")).lVal(), 4);
    EXPECT_EQ(Get(again, QStringLiteral("Column")).lVal(), 2);

    // LookIn and LookAt left out: the values and whole-cell settings of the last Find stay.
    const Variant carried = Method(second, QStringLiteral("Find"), {Text(u"¥1,000")});
    EXPECT_EQ(Get(carried, QStringLiteral("Row")).lVal(), 3);
    const Variant wholeOnly = Method(second, QStringLiteral("Find"), {Text(u"¥1")});
    EXPECT_EQ(wholeOnly.pdispVal(), nullptr);
}

TEST_F(ObjectModel, FindRejectsBadArguments)
{
    const Variant range = Get(sheet(u"売上.xlsx", 1), QStringLiteral("UsedRange"));
    const Reply lookIn = Call(range, QStringLiteral("Find"), DISPATCH_METHOD,
                              {Text(u"a"), Variant::Missing(), I4(7)});
    EXPECT_EQ(lookIn.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(lookIn.info.bstrDescription,
              QStringLiteral("Range クラスの Find プロパティを取得できません。"));
    EXPECT_EQ(Call(range, QStringLiteral("Find"), DISPATCH_METHOD, {}).hr, DISP_E_PARAMNOTFOUND);

    // After must be a cell of the searched range.
    const Variant otherSheetCell =
        Get(sheet(u"売上.xlsx", 2), QStringLiteral("Cells"), {I4(1), I4(1)});
    EXPECT_EQ(Call(range, QStringLiteral("FindNext"), DISPATCH_METHOD, {otherSheetCell}).hr,
              DISP_E_EXCEPTION);
    EXPECT_EQ(Call(range, QStringLiteral("FindNext"), DISPATCH_METHOD, {I4(0)}).hr,
              DISP_E_TYPEMISMATCH);
}

TEST_F(ObjectModel, ActivateRemembersTheSheetAndCell)
{
    std::optional<QSignalSpy> spy;
    server.with([&](Application& app) { spy.emplace(&app, &Application::activated); });
    const Variant s = sheet(u"売上.xlsx", 2);
    Method(s, QStringLiteral("Activate"));
    Method(Get(s, QStringLiteral("Cells"), {I4(12), I4(27)}), QStringLiteral("Activate"));
    server.with([&](Application& app) {
        const Application::Place place = app.activePlace();
        EXPECT_EQ(place.workbookIndex, 0);
        EXPECT_EQ(place.worksheetIndex, 1);
        EXPECT_EQ(place.cell, (CellAddress{12, 27}));
        ASSERT_EQ(spy->count(), 2);
        EXPECT_FALSE(spy->at(0).at(2).value<std::optional<CellAddress>>().has_value());
        spy.reset();
    });
}

TEST_F(ObjectModel, ObjectsOfAClosedBookFailCleanly)
{
    const Variant book = Get(workbooks(), QStringLiteral("item"), {I4(1)});
    const Variant s = sheet(u"売上.xlsx", 1);
    server.with([](Application& app) { app.closeWorkbook(0); });
    EXPECT_EQ(Call(book, QStringLiteral("Name"), DISPATCH_PROPERTYGET).hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(Call(s, QStringLiteral("UsedRange"), DISPATCH_PROPERTYGET).hr, RPC_E_DISCONNECTED);
    EXPECT_EQ(Get(workbooks(), QStringLiteral("Count")).lVal(), 1);
    ExpectBadIndex(
        Call(workbooks(), QStringLiteral("item"), DISPATCH_PROPERTYGET, {Text(u"売上.xlsx")}));
}

TEST(AutomationServer, OneRegistrationAtATimeAndTheEntryGoesWithIt)
{
    Application app;
    const QString path = RunningObjectTable::SocketPath(AutomationTest::ExcelClsid());
    {
        AutomationServer first(app);
        ASSERT_TRUE(first.registerActiveObject()) << first.errorString().toStdString();
        EXPECT_TRUE(QFile::exists(path));
        // A second SheetHost runs without the entry, as a second Excel does.
        AutomationServer second(app);
        EXPECT_FALSE(second.registerActiveObject());
        EXPECT_FALSE(second.isRegistered());
    }
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
