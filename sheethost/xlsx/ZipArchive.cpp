#include "sheethost/xlsx/ZipArchive.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <zip.h>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

QString SizeText(qint64 bytes)
{
    constexpr qint64 MiB = qint64(1) << 20;
    if (bytes >= MiB && bytes % MiB == 0)
        return u"%1 MB"_s.arg(bytes / MiB);
    return u"%1 バイト"_s.arg(bytes);
}

QString PartTooLarge(const QString& part, qint64 limit)
{
    return u"%1 が大きすぎます（展開すると %2 を超えます）。"_s.arg(part, SizeText(limit));
}

QString WorkbookTooLarge(qint64 limit)
{
    return u"ブックが大きすぎます（展開すると合わせて %1 を超えます）。"_s.arg(SizeText(limit));
}

} // namespace

ZipEntryDevice::ZipEntryDevice(zip_file_t* file, QString name, InflateBudget& budget,
                               qint64 compressedSize)
    : file_(file), name_(std::move(name)), budget_(budget),
      compressed_(std::max<qint64>(compressedSize, 1))
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
    const XlsxLimits& limits = budget_.limits;
    // Never inflate more than one byte past the cap: that byte is what tells it is over.
    maxSize = std::min(maxSize, std::max<qint64>(limits.maxPartBytes - inflated_ + 1, 1));
    const zip_int64_t read = zip_fread(file_, data, zip_uint64_t(maxSize));
    if (read < 0) {
        return fail(u"ファイルが壊れています（%1 を展開できません: %2）。"_s.arg(
            name_, QString::fromLocal8Bit(zip_file_strerror(file_))));
    }
    inflated_ += read;
    const qint64 total = budget_.inflated.fetch_add(read, std::memory_order_relaxed) + read;
    if (inflated_ > limits.maxPartBytes)
        return fail(PartTooLarge(name_, limits.maxPartBytes));
    if (total > limits.maxWorkbookBytes)
        return fail(WorkbookTooLarge(limits.maxWorkbookBytes));
    if (inflated_ > limits.ratioCheckFromBytes &&
        inflated_ / compressed_ > limits.maxCompressionRatio) {
        return fail(
            u"%1 は圧縮率が異常です（展開すると %2 倍を超えます）。壊れているか、展開して容量を使い切らせるように作られたファイル (zip 爆弾) です。"_s
                .arg(name_, QString::number(limits.maxCompressionRatio)));
    }
    return read;
}

qint64 ZipEntryDevice::fail(QString reason)
{
    failed_ = true;
    failure_ = std::move(reason);
    setErrorString(failure_);
    return -1;
}

ZipArchive::ZipArchive(const QString& path, InflateBudget* budget)
    : ownBudget_(budget ? nullptr : std::make_unique<InflateBudget>()),
      budget_(budget ? budget : ownBudget_.get())
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
    fileSize_ = file.size();
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
    // Refuse what the directory already declares too large before inflating anything. A
    // declared size may lie the other way: the device counts what really comes out.
    const XlsxLimits& limits = budget_->limits;
    zip_stat_t stat;
    zip_stat_init(&stat);
    qint64 compressed = fileSize_;
    if (zip_stat_index(archive_, zip_uint64_t(*it), 0, &stat) == 0) {
        if ((stat.valid & ZIP_STAT_SIZE) != 0) {
            if (stat.size > zip_uint64_t(limits.maxPartBytes))
                throw XlsxError(PartTooLarge(name, limits.maxPartBytes));
            const qint64 left = limits.maxWorkbookBytes - budget_->inflated.load();
            if (stat.size > zip_uint64_t(std::max<qint64>(left, 0)))
                throw XlsxError(WorkbookTooLarge(limits.maxWorkbookBytes));
        }
        // No more can be read from the file than the file holds.
        if ((stat.valid & ZIP_STAT_COMP_SIZE) != 0 && stat.comp_size < zip_uint64_t(fileSize_))
            compressed = qint64(stat.comp_size);
    }
    zip_file_t* file = zip_fopen_index(archive_, zip_uint64_t(*it), 0);
    if (!file) {
        throw XlsxError(u"ファイルが壊れています（%1 を開けません: %2）。"_s.arg(
            name, QString::fromLocal8Bit(zip_strerror(archive_))));
    }
    return std::make_unique<ZipEntryDevice>(file, name, *budget_, compressed);
}

} // namespace SheetHost
