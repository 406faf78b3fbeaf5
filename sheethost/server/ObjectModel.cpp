#include "sheethost/server/ObjectModel.h"

#include "platform/automation/DispatchObject.h"
#include "sheethost/model/FindEngine.h"

#include <QPointer>
#include <array>
#include <memory>
#include <optional>
#include <span>

namespace SheetHost {

using namespace Automation;

namespace {

const QString Source = QStringLiteral("SheetHost");
const QString BadIndexText = QStringLiteral("インデックスが有効範囲にありません。");
const QString ApplicationDefinedText =
    QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");

constexpr std::int32_t LookInFormulas = -4123;
constexpr std::int32_t LookInValues = -4163;
constexpr std::int32_t LookInComments = -4144;

// A failure that Invoke reports as its result code (argument errors name the argument).
struct CallFailure
{
    HRESULT hr;
    UINT argErr = UINT(-1);
};

// A failure that Invoke reports as DISP_E_EXCEPTION with a description.
struct ModelFailure
{
    HRESULT scode;
    QString description;
};

// What every object of one application shares: the application, while it lives, and the Find
// settings that Excel keeps from one Find to the next.
struct Context
{
    explicit Context(Application& app) : application(&app) {}

    QPointer<Application> application;
    LookIn lookIn = LookIn::Formulas;
    bool wholeCell = false;
    bool byColumns = false;
    bool matchByte = false;
    std::optional<FindOptions> lastFind;
};
using ContextPtr = std::shared_ptr<Context>;

QString columnLetters(int column)
{
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

int columnFromLetters(const QString& letters)
{
    if (letters.isEmpty() || letters.size() > 3)
        return 0;
    int column = 0;
    for (const QChar c : letters) {
        const char16_t upper = c.toUpper().unicode();
        if (upper < u'A' || upper > u'Z')
            return 0;
        column = column * 26 + (upper - u'A' + 1);
    }
    return column;
}

// The positional arguments of one call, in Excel's order.
class Arguments
{
public:
    explicit Arguments(const DISPPARAMS& params) : params_(params) {}

    UINT count() const { return params_.cArgs; }
    void allowAtMost(UINT most) const
    {
        if (params_.cArgs > most)
            throw CallFailure{DISP_E_BADPARAMCOUNT};
    }
    bool present(UINT index) const { return index < count() && !at(index).isMissing(); }
    const Variant& at(UINT index) const { return params_.rgvarg[params_.cArgs - 1 - index]; }
    UINT wireIndex(UINT index) const { return params_.cArgs - 1 - index; }

    const Variant& required(UINT index) const
    {
        if (!present(index))
            throw CallFailure{DISP_E_PARAMNOTFOUND, index < count() ? wireIndex(index) : UINT(-1)};
        return at(index);
    }
    std::int32_t integer(UINT index) const
    {
        std::int32_t value = 0;
        const Variant& v = required(index);
        if (v.vt() == VT_DISPATCH || v.vt() == VT_NULL || v.vt() == VT_ERROR)
            throw CallFailure{DISP_E_TYPEMISMATCH, wireIndex(index)};
        const HRESULT hr = v.toInt32(value);
        if (FAILED(hr))
            throw CallFailure{hr, wireIndex(index)};
        return value;
    }
    std::optional<std::int32_t> optionalInteger(UINT index) const
    {
        if (!present(index))
            return std::nullopt;
        return integer(index);
    }
    std::optional<bool> optionalBoolean(UINT index) const
    {
        if (!present(index))
            return std::nullopt;
        const Variant& v = at(index);
        switch (v.vt()) {
        case VT_BOOL:
            return v.boolVal() != VARIANT_FALSE;
        case VT_I2:
        case VT_I4:
        case VT_R8:
            return integer(index) != 0;
        default:
            throw CallFailure{DISP_E_TYPEMISMATCH, wireIndex(index)};
        }
    }
    QString text(UINT index) const
    {
        const Variant& v = required(index);
        QString value;
        const HRESULT hr = v.toText(value);
        if (FAILED(hr))
            throw CallFailure{hr, wireIndex(index)};
        return value;
    }

private:
    const DISPPARAMS& params_;
};

// Name lookup and the checks every member shares; subclasses answer call().
class ModelObject : public DispatchObject, public StableMemberNames
{
public:
    // Each class has one static member table: its address tells the classes apart.
    std::uint64_t namesTag() const override
    {
        return std::uint64_t(reinterpret_cast<std::uintptr_t>(memberNames().data()));
    }

    HRESULT GetIDsOfNames(const IID&, const QString* names, UINT count, LCID,
                          DISPID* dispIds) override
    {
        if (!names || !dispIds)
            return E_POINTER;
        if (count == 0)
            return E_INVALIDARG;
        const auto members = memberNames();
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            dispIds[i] = DISPID_UNKNOWN;
            // Named arguments are not supported, so only the member name can be known.
            if (i == 0) {
                for (std::size_t m = 0; m < members.size(); ++m) {
                    if (names[0].compare(members[m], Qt::CaseInsensitive) == 0)
                        dispIds[0] = DISPID(m + 1);
                }
            }
            if (dispIds[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    HRESULT Invoke(DISPID dispId, const IID&, LCID, WORD flags, DISPPARAMS* params, Variant* result,
                   EXCEPINFO* excepInfo, UINT* argErr) override
    {
        if (!params)
            return E_INVALIDARG;
        const auto members = memberNames();
        if (dispId < 1 || std::size_t(dispId) > members.size())
            return DISP_E_MEMBERNOTFOUND;
        // Every member is read-only: nothing a client does changes a workbook.
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
            return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (params->cArgs != 0 && !params->rgvarg)
            return E_INVALIDARG;
        try {
            Variant value = call(int(dispId - 1), Arguments(*params));
            if (result)
                *result = std::move(value);
            return S_OK;
        } catch (const CallFailure& failure) {
            if (argErr && failure.argErr != UINT(-1))
                *argErr = failure.argErr;
            return failure.hr;
        } catch (const ModelFailure& failure) {
            if (excepInfo) {
                *excepInfo = EXCEPINFO{};
                excepInfo->bstrSource = Source;
                excepInfo->bstrDescription = failure.description;
                excepInfo->scode = failure.scode;
            }
            return DISP_E_EXCEPTION;
        }
    }

protected:
    explicit ModelObject(ContextPtr context) : context_(std::move(context)) {}

    virtual std::span<const QString> memberNames() const = 0;
    virtual Variant call(int member, const Arguments& arguments) = 0;

    Application& application() const
    {
        if (!context_->application)
            throw CallFailure{RPC_E_DISCONNECTED};
        return *context_->application;
    }
    Workbook& workbook(quint64 id) const
    {
        Workbook* book = application().workbookById(id);
        if (!book)
            throw CallFailure{RPC_E_DISCONNECTED};
        return *book;
    }
    int workbookIndex(quint64 id) const
    {
        Application& app = application();
        for (int i = 0; i < app.workbookCount(); ++i) {
            if (app.workbook(i).id() == id)
                return i;
        }
        throw CallFailure{RPC_E_DISCONNECTED};
    }

    ContextPtr context_;
};

template <typename T, typename... Args> Variant objectVariant(Args&&... args)
{
    return Variant::FromDispatch(ComPtr<IDispatch>(new T(std::forward<Args>(args)...)));
}

#define SHEETHOST_MEMBERS(...)                                                                     \
    std::span<const QString> memberNames() const override                                          \
    {                                                                                              \
        static const std::array names{__VA_ARGS__};                                                \
        return names;                                                                              \
    }

class CommentObject final : public ModelObject
{
public:
    CommentObject(ContextPtr context, quint64 book, int sheet, CellAddress cell)
        : ModelObject(std::move(context)), book_(book), sheet_(sheet), cell_(cell)
    {
    }

protected:
    SHEETHOST_MEMBERS(QStringLiteral("Text"))

    Variant call(int, const Arguments& arguments) override
    {
        // Text(Text, Start, Overwrite) would change the note; only reading is served.
        arguments.allowAtMost(0);
        const CellView view = workbook(book_).worksheet(sheet_).cell(cell_);
        return Variant::FromBstr(view.comment.value_or(QString()));
    }

private:
    quint64 book_;
    int sheet_;
    CellAddress cell_;
};

class RangeObject final : public ModelObject
{
public:
    RangeObject(ContextPtr context, quint64 book, int sheet, CellRange range)
        : ModelObject(std::move(context)), book_(book), sheet_(sheet), range_(range)
    {
    }

    quint64 book() const { return book_; }
    int sheet() const { return sheet_; }
    const CellRange& range() const { return range_; }

protected:
    enum Member
    {
        Find,
        FindNext,
        Column,
        Row,
        Text,
        Formula,
        Comment,
        Activate,
        Address
    };
    SHEETHOST_MEMBERS(QStringLiteral("Find"), QStringLiteral("FindNext"), QStringLiteral("Column"),
                      QStringLiteral("Row"), QStringLiteral("Text"), QStringLiteral("Formula"),
                      QStringLiteral("Comment"), QStringLiteral("Activate"),
                      QStringLiteral("Address"))

    Variant call(int member, const Arguments& arguments) override
    {
        const Worksheet& sheet = workbook(book_).worksheet(sheet_);
        switch (Member(member)) {
        case Find:
            return find(sheet, arguments);
        case FindNext:
            return findNext(sheet, arguments);
        case Column:
            arguments.allowAtMost(0);
            return Variant::FromI4(range_.first.column);
        case Row:
            arguments.allowAtMost(0);
            return Variant::FromI4(range_.first.row);
        // Of a range of several cells, the upper-left one answers (our choice).
        case Text:
            arguments.allowAtMost(0);
            return Variant::FromBstr(sheet.cell(range_.first).text);
        case Formula:
            arguments.allowAtMost(0);
            return Variant::FromBstr(sheet.cell(range_.first).formula);
        case Comment:
            arguments.allowAtMost(0);
            if (!sheet.hasComment(range_.first))
                return Variant::FromDispatch(nullptr);
            return objectVariant<CommentObject>(context_, book_, sheet_, range_.first);
        case Activate:
            arguments.allowAtMost(0);
            application().activate(workbookIndex(book_), sheet_, range_.first);
            return Variant::FromBool(true);
        case Address: {
            arguments.allowAtMost(0);
            const auto cell = [](CellAddress at) {
                return QStringLiteral("$%1$%2").arg(columnLetters(at.column)).arg(at.row);
            };
            if (range_.first == range_.last)
                return Variant::FromBstr(cell(range_.first));
            return Variant::FromBstr(cell(range_.first) + u':' + cell(range_.last));
        }
        }
        throw CallFailure{DISP_E_MEMBERNOTFOUND};
    }

private:
    [[noreturn]] static void findFailed(const QString& member)
    {
        throw ModelFailure{
            XlErrorApplicationDefined,
            QStringLiteral("Range クラスの %1 プロパティを取得できません。").arg(member)};
    }

    // After: a cell of this range, given as a Range of the same sheet.
    std::optional<CellAddress> afterCell(const Arguments& arguments, UINT index,
                                         const QString& member) const
    {
        if (!arguments.present(index))
            return std::nullopt;
        const Variant& value = arguments.at(index);
        const auto* other = value.vt() == VT_DISPATCH
                                ? dynamic_cast<const RangeObject*>(value.pdispVal())
                                : nullptr;
        if (!other)
            throw CallFailure{DISP_E_TYPEMISMATCH, arguments.wireIndex(index)};
        const CellAddress at = other->range_.first;
        if (other->book_ != book_ || other->sheet_ != sheet_ || at.row < range_.first.row ||
            at.row > range_.last.row || at.column < range_.first.column ||
            at.column > range_.last.column)
            findFailed(member);
        return at;
    }

    Variant found(const Worksheet& sheet, std::optional<CellAddress> after,
                  const FindOptions& options)
    {
        const std::optional<CellAddress> cell = FindEngine::find(sheet, range_, after, options);
        if (!cell)
            return Variant::FromDispatch(nullptr);
        return objectVariant<RangeObject>(context_, book_, sheet_, CellRange{*cell, *cell});
    }

    Variant find(const Worksheet& sheet, const Arguments& arguments)
    {
        const QString member = QStringLiteral("Find");
        // What, After, LookIn, LookAt, SearchOrder, SearchDirection, MatchCase, MatchByte,
        // SearchFormat.
        arguments.allowAtMost(9);
        Context& settings = *context_;
        FindOptions options;
        options.what = arguments.text(0);
        const std::optional<CellAddress> after = afterCell(arguments, 1, member);

        const std::optional<std::int32_t> lookIn = arguments.optionalInteger(2);
        const std::optional<std::int32_t> lookAt = arguments.optionalInteger(3);
        const std::optional<std::int32_t> order = arguments.optionalInteger(4);
        const std::optional<std::int32_t> direction = arguments.optionalInteger(5);
        const std::optional<bool> matchCase = arguments.optionalBoolean(6);
        const std::optional<bool> matchByte = arguments.optionalBoolean(7);
        arguments.optionalBoolean(8);
        if ((lookIn && *lookIn != LookInFormulas && *lookIn != LookInValues &&
             *lookIn != LookInComments) ||
            (lookAt && *lookAt != 1 && *lookAt != 2) || (order && *order != 1 && *order != 2) ||
            (direction && *direction != 1 && *direction != 2))
            findFailed(member);

        // LookIn, LookAt, SearchOrder and MatchByte carry over to the next Find, as in Excel.
        if (lookIn)
            settings.lookIn = *lookIn == LookInFormulas ? LookIn::Formulas
                              : *lookIn == LookInValues ? LookIn::Values
                                                        : LookIn::Comments;
        if (lookAt)
            settings.wholeCell = *lookAt == 1;
        if (order)
            settings.byColumns = *order == 2;
        if (matchByte)
            settings.matchByte = *matchByte;
        options.lookIn = settings.lookIn;
        options.wholeCell = settings.wholeCell;
        options.byColumns = settings.byColumns;
        options.matchByte = settings.matchByte;
        options.previous = direction.value_or(1) == 2;
        options.matchCase = matchCase.value_or(false);

        lastFind_ = options;
        settings.lastFind = options;
        return found(sheet, after, options);
    }

    Variant findNext(const Worksheet& sheet, const Arguments& arguments)
    {
        arguments.allowAtMost(1);
        const std::optional<CellAddress> after =
            afterCell(arguments, 0, QStringLiteral("FindNext"));
        // This range's own last Find; another client's Find on another range cannot change it.
        const std::optional<FindOptions>& options = lastFind_ ? lastFind_ : context_->lastFind;
        if (!options)
            return Variant::FromDispatch(nullptr);
        return found(sheet, after, *options);
    }

    quint64 book_;
    int sheet_;
    CellRange range_;
    std::optional<FindOptions> lastFind_;
};

class WorksheetObject final : public ModelObject
{
public:
    WorksheetObject(ContextPtr context, quint64 book, int sheet)
        : ModelObject(std::move(context)), book_(book), sheet_(sheet)
    {
    }

protected:
    enum Member
    {
        Name,
        Activate,
        Cells,
        UsedRange,
        Index
    };
    SHEETHOST_MEMBERS(QStringLiteral("Name"), QStringLiteral("Activate"), QStringLiteral("Cells"),
                      QStringLiteral("UsedRange"), QStringLiteral("Index"))

    Variant call(int member, const Arguments& arguments) override
    {
        const Worksheet& sheet = workbook(book_).worksheet(sheet_);
        switch (Member(member)) {
        case Name:
            arguments.allowAtMost(0);
            return Variant::FromBstr(sheet.name());
        case Activate:
            arguments.allowAtMost(0);
            application().activate(workbookIndex(book_), sheet_, std::nullopt);
            return Variant::FromBool(true);
        case Cells:
            return cells(arguments);
        case UsedRange:
            arguments.allowAtMost(0);
            return objectVariant<RangeObject>(context_, book_, sheet_, sheet.usedRange());
        case Index:
            arguments.allowAtMost(0);
            return Variant::FromI4(sheet_ + 1);
        }
        throw CallFailure{DISP_E_MEMBERNOTFOUND};
    }

private:
    Variant cells(const Arguments& arguments)
    {
        arguments.allowAtMost(2);
        if (arguments.count() == 0) {
            return objectVariant<RangeObject>(context_, book_, sheet_,
                                              CellRange{{1, 1}, {MaxRow, MaxColumn}});
        }
        const int row = arguments.integer(0);
        // The column may also be given by its letters, as Excel allows.
        int column = 0;
        if (arguments.present(1) && arguments.at(1).vt() == VT_BSTR)
            column = columnFromLetters(arguments.at(1).bstrVal().trimmed());
        else
            column = arguments.integer(1);
        if (row < 1 || row > MaxRow || column < 1 || column > MaxColumn)
            throw ModelFailure{XlErrorApplicationDefined, ApplicationDefinedText};
        return objectVariant<RangeObject>(context_, book_, sheet_,
                                          CellRange{{row, column}, {row, column}});
    }

    quint64 book_;
    int sheet_;
};

class WorksheetsObject final : public ModelObject
{
public:
    WorksheetsObject(ContextPtr context, quint64 book)
        : ModelObject(std::move(context)), book_(book)
    {
    }

protected:
    enum Member
    {
        Count,
        Item
    };
    SHEETHOST_MEMBERS(QStringLiteral("Count"), QStringLiteral("Item"))

    Variant call(int member, const Arguments& arguments) override
    {
        const Workbook& book = workbook(book_);
        if (Member(member) == Count) {
            arguments.allowAtMost(0);
            return Variant::FromI4(book.worksheetCount());
        }
        arguments.allowAtMost(1);
        const Variant& key = arguments.required(0);
        int index = -1;
        if (key.vt() == VT_BSTR) {
            for (int i = 0; i < book.worksheetCount() && index < 0; ++i) {
                if (book.worksheet(i).name().compare(key.bstrVal(), Qt::CaseInsensitive) == 0)
                    index = i;
            }
        } else {
            const int number = arguments.integer(0);
            if (number >= 1 && number <= book.worksheetCount())
                index = number - 1;
        }
        if (index < 0)
            throw ModelFailure{DISP_E_BADINDEX, BadIndexText};
        return objectVariant<WorksheetObject>(context_, book_, index);
    }

private:
    quint64 book_;
};

class WorkbookObject final : public ModelObject
{
public:
    WorkbookObject(ContextPtr context, quint64 book) : ModelObject(std::move(context)), book_(book)
    {
    }

protected:
    enum Member
    {
        Name,
        Worksheets,
        FullName
    };
    SHEETHOST_MEMBERS(QStringLiteral("Name"), QStringLiteral("Worksheets"),
                      QStringLiteral("FullName"))

    Variant call(int member, const Arguments& arguments) override
    {
        arguments.allowAtMost(0);
        const Workbook& book = workbook(book_);
        switch (Member(member)) {
        case Name:
            return Variant::FromBstr(book.name());
        case Worksheets:
            return objectVariant<WorksheetsObject>(context_, book_);
        case FullName:
            return Variant::FromBstr(book.path().isEmpty() ? book.name() : book.path());
        }
        throw CallFailure{DISP_E_MEMBERNOTFOUND};
    }

private:
    quint64 book_;
};

class WorkbooksObject final : public ModelObject
{
public:
    explicit WorkbooksObject(ContextPtr context) : ModelObject(std::move(context)) {}

protected:
    enum Member
    {
        Count,
        Item
    };
    SHEETHOST_MEMBERS(QStringLiteral("Count"), QStringLiteral("Item"))

    Variant call(int member, const Arguments& arguments) override
    {
        Application& app = application();
        if (Member(member) == Count) {
            arguments.allowAtMost(0);
            return Variant::FromI4(app.workbookCount());
        }
        arguments.allowAtMost(1);
        const Variant& key = arguments.required(0);
        int index = -1;
        if (key.vt() == VT_BSTR) {
            index = app.workbookIndex(key.bstrVal());
        } else {
            const int number = arguments.integer(0);
            if (number >= 1 && number <= app.workbookCount())
                index = number - 1;
        }
        if (index < 0)
            throw ModelFailure{DISP_E_BADINDEX, BadIndexText};
        return objectVariant<WorkbookObject>(context_, app.workbook(index).id());
    }
};

class ApplicationObject final : public ModelObject
{
public:
    explicit ApplicationObject(ContextPtr context) : ModelObject(std::move(context)) {}

protected:
    enum Member
    {
        Workbooks,
        Name
    };
    SHEETHOST_MEMBERS(QStringLiteral("Workbooks"), QStringLiteral("Name"))

    Variant call(int member, const Arguments& arguments) override
    {
        arguments.allowAtMost(0);
        application();
        if (Member(member) == Workbooks)
            return objectVariant<WorkbooksObject>(context_);
        return Variant::FromBstr(QStringLiteral("SheetHost"));
    }
};

} // namespace

ComPtr<IDispatch> CreateApplicationObject(Application& application)
{
    return ComPtr<IDispatch>(new ApplicationObject(std::make_shared<Context>(application)));
}

} // namespace SheetHost
