#include "sheethost/xlsx/ZipArchive.h"

#include <QFile>
#include <QFileInfo>
#include <zip.h>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

} // namespace

ZipEntryDevice::ZipEntryDevice(zip_file_t* file, QString name) : file_(file), name_(std::move(name))
{
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

ZipEntryDevice::~ZipEntryDevice()
{
    zip_fclose(file_);
}

qint64 ZipEntryDevice::readData(char* data, qint64 maxSize)
{
    if (failed_)
        return -1;
    const zip_int64_t read = zip_fread(file_, data, zip_uint64_t(maxSize));
    if (read < 0) {
        failed_ = true;
        setErrorString(u"%1 を展開できません: %2"_s.arg(
            name_, QString::fromLocal8Bit(zip_file_strerror(file_))));
        return -1;
    }
    return read;
}

ZipArchive::ZipArchive(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw XlsxError(u"ファイルが見つかりません。"_s);
    if (info.isDir())
        throw XlsxError(u"フォルダーです。ブックのファイルではありません。"_s);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw XlsxError(u"ファイルを読み込めません（%1）。"_s.arg(file.errorString()));
    const QByteArray head = file.read(8);
    file.close();
    if (head.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")))
        throw XlsxError(
            u"パスワードで保護されたブックか、古い形式 (.xls) のブックです。読み込めるのは .xlsx 形式のブックだけです。"_s);

    int error = 0;
    archive_ = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive_) {
        if (error == ZIP_ER_NOZIP && !head.startsWith("PK"))
            throw XlsxError(u"Excel ブック (.xlsx) の形式ではありません。"_s);
        zip_error_t detail;
        zip_error_init_with_code(&detail, error);
        const QString text = QString::fromLocal8Bit(zip_error_strerror(&detail));
        zip_error_fini(&detail);
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            throw XlsxError(u"ファイルを読み込めません（%1）。"_s.arg(text));
        throw XlsxError(u"ファイルが壊れています（zip: %1）。"_s.arg(text));
    }
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    entries_.reserve(qsizetype(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive_, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!name)
            continue;
        const QString text = QString::fromUtf8(name);
        if (text.endsWith(u'/') || text.endsWith(u'\\'))
            continue; // a folder entry
        entries_.insert(key(text), i);
    }
}

ZipArchive::~ZipArchive()
{
    if (archive_)
        zip_discard(archive_);
}

QString ZipArchive::key(QStringView name)
{
    QString result = name.toString().toLower();
    result.replace(u'\\', u'/');
    while (result.startsWith(u'/'))
        result.remove(0, 1);
    return result;
}

bool ZipArchive::contains(const QString& name) const
{
    return entries_.contains(key(name));
}

std::unique_ptr<ZipEntryDevice> ZipArchive::open(const QString& name) const
{
    const auto it = entries_.constFind(key(name));
    if (it == entries_.constEnd())
        return nullptr;
    zip_file_t* file = zip_fopen_index(archive_, zip_uint64_t(*it), 0);
    if (!file) {
        throw XlsxError(u"ファイルが壊れています（%1 を開けません: %2）。"_s.arg(
            name, QString::fromLocal8Bit(zip_strerror(archive_))));
    }
    return std::make_unique<ZipEntryDevice>(file, name);
}

} // namespace SheetHost
