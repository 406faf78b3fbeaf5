#pragma once

#include "platform/automation/Automation.h"
#include "platform/automation/AutomationError.h"

#include <QString>
#include <cstdint>
#include <memory>

// Tabrill's only way to the running spreadsheet program: its application object and the six
// kinds of object Tabrill meets, one automation call per operation, nothing cached. Failing
// calls raise AutomationError (an Exception) with the server's description.

namespace Excel {
class TWorkbooks;
class TWorkbook;
class TWorksheets;
class TWorksheet;
class TRange;
class TComment;
} // namespace Excel

// One attachment to the running Excel; made only by GetActive, owned by one operation.
class TExcel
{
public:
    // The running instance, or null when none is running (no message, no exception).
    static std::unique_ptr<TExcel> GetActive();

    ~TExcel();
    TExcel(const TExcel&) = delete;
    TExcel& operator=(const TExcel&) = delete;

    Excel::TWorkbooks Workbooks();

private:
    explicit TExcel(Automation::Variant application);

    Automation::Variant application_;
    bool comInitialized_ = false;
};

namespace Excel {

// The value of an omitted optional argument (VT_ERROR carrying DISP_E_PARAMNOTFOUND).
inline Automation::Variant EmptyParam()
{
    return Automation::Variant::Missing();
}

// Each wrapper holds the value Excel returned for it; copies share the referenced object.
class TWorkbooks
{
public:
    explicit TWorkbooks(Automation::Variant value = {}) : value_(std::move(value)) {}

    std::int32_t Count();
    TWorkbook Item(std::int32_t index);
    TWorkbook Item(const QString& name);

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

class TWorkbook
{
public:
    explicit TWorkbook(Automation::Variant value = {}) : value_(std::move(value)) {}

    QString Name();
    TWorksheets WorkSheets();

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

class TWorksheets
{
public:
    explicit TWorksheets(Automation::Variant value = {}) : value_(std::move(value)) {}

    std::int32_t Count();
    TWorksheet Item(std::int32_t index);

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

class TWorksheet
{
public:
    explicit TWorksheet(Automation::Variant value = {}) : value_(std::move(value)) {}

    QString Name();
    void Activate();
    // Column first here; Excel receives the row first.
    TRange Cells(std::int32_t column, std::int32_t row);
    TRange UsedRange();

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

class TRange
{
public:
    explicit TRange(Automation::Variant value = {}) : value_(std::move(value)) {}

    // The first match, or a range holding the integer 0 (HasObject false) when none matches.
    // Pass Excel::EmptyParam() as After to start after the range's first cell.
    TRange Find(const QString& What, const Automation::Variant& After, std::int32_t LookIn,
                std::int32_t LookAt, std::int32_t SearchOrder, std::int32_t SearchDirection,
                bool MatchCase, bool MatchByte);
    TRange FindNext(const TRange& After);
    std::int32_t Column();
    std::int32_t Row();
    QString Text();
    QString Formula();
    TComment Comment();
    void Activate();

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

class TComment
{
public:
    explicit TComment(Automation::Variant value = {}) : value_(std::move(value)) {}

    QString Text();

    bool HasObject() const;
    const Automation::Variant& Value() const { return value_; }

private:
    Automation::Variant value_;
};

} // namespace Excel
