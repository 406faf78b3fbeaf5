#pragma once

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QString>
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

// One part, inflated while it is read.
class ZipEntryDevice : public QIODevice
{
public:
    ZipEntryDevice(zip_file* file, QString name);
    ~ZipEntryDevice() override;

    bool isSequential() const override { return true; }
    // A read failed: the entry is damaged (its error string says how).
    bool failed() const { return failed_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip_file* file_;
    QString name_;
    bool failed_ = false;
};

class ZipArchive
{
public:
    // Throws XlsxError when the file is missing, unreadable or not a zip.
    explicit ZipArchive(const QString& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool contains(const QString& name) const;
    // nullptr when there is no such part.
    std::unique_ptr<ZipEntryDevice> open(const QString& name) const;

private:
    static QString key(QStringView name);

    ::zip* archive_ = nullptr;
    QHash<QString, qint64> entries_;
};

} // namespace SheetHost
