#pragma once

#include "sheethost/xlsx/XlsxLimits.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <atomic>
#include <memory>
#include <stdexcept>

struct zip;
struct zip_file;

// A zip file opened for reading only, through libzip. Part names are matched the way Office
// does: without regard to case, with either slash.
namespace SheetHost {

// Why a workbook could not be read; the reader adds the file name.
class XlsxError : public std::runtime_error
{
public:
    explicit XlsxError(QString reason) : std::runtime_error("xlsx"), reason_(std::move(reason)) {}
    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

// The limits of one workbook and what every handle on it has inflated so far; the threads that
// read its sheets side by side share one.
struct InflateBudget
{
    explicit InflateBudget(const XlsxLimits& limits_ = XlsxLimits()) : limits(limits_) {}
    const XlsxLimits limits;
    std::atomic<qint64> inflated = 0;
};

// One part, inflated while it is read, within the budget's limits.
class ZipEntryDevice : public QIODevice
{
public:
    ZipEntryDevice(zip_file* file, QString name, InflateBudget& budget, qint64 compressedSize);
    ~ZipEntryDevice() override;

    bool isSequential() const override { return true; }
    // A read failed: the entry is damaged or too large. failure() is the reason to show, a
    // whole sentence.
    bool failed() const { return failed_; }
    const QString& failure() const { return failure_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 fail(QString reason);

    zip_file* file_;
    QString name_;
    InflateBudget& budget_;
    qint64 compressed_;
    qint64 inflated_ = 0;
    bool failed_ = false;
    QString failure_;
};

class ZipArchive
{
public:
    // Throws XlsxError when the file is missing, unreadable or not a zip. Without a budget the
    // archive keeps one of its own with the default limits.
    explicit ZipArchive(const QString& path, InflateBudget* budget = nullptr);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool contains(const QString& name) const;
    const XlsxLimits& limits() const { return budget_->limits; }
    // nullptr when there is no such part. Throws XlsxError when the part cannot be opened or its
    // declared size is already over the limits.
    std::unique_ptr<ZipEntryDevice> open(const QString& name) const;

private:
    static QString key(QStringView name);

    std::unique_ptr<InflateBudget> ownBudget_;
    InflateBudget* budget_;
    qint64 fileSize_ = 0;
    ::zip* archive_ = nullptr;
    QHash<QString, qint64> entries_;
};

} // namespace SheetHost
