#include "platform/resources/Icons.h"

#include "platform/resources/ProgramResources.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>

namespace Platform {
namespace {
// Icon images larger than this are not icons; refusing them keeps a hostile file from
// costing memory.
constexpr int MaxIconDimension = 1024;
constexpr qint64 MaxIconFileSize = 16 * 1024 * 1024;

QImage ToLargeIcon(const QImage& image)
{
    if (image.isNull())
        return QImage();
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (source.size() == QSize(LargeIconSize, LargeIconSize))
        return source;
    // Scaled into the square and centred on a transparent ground, as the shell does.
    const QImage scaled =
        source.scaled(LargeIconSize, LargeIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage icon(LargeIconSize, LargeIconSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.drawImage((LargeIconSize - scaled.width()) / 2, (LargeIconSize - scaled.height()) / 2,
                      scaled);
    return icon;
}

// An .ico holds one icon in several sizes: take the smallest that is at least a large icon,
// else the biggest there is.
QImage DecodeIcon(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "ico")
        return QImage();
    QImage best;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > MaxIconDimension || size.height() > MaxIconDimension))
            continue;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        const int side = qMax(image.width(), image.height());
        const int bestSide = best.isNull() ? 0 : qMax(best.width(), best.height());
        const bool better =
            best.isNull() ||
            (side >= LargeIconSize && (bestSide < LargeIconSize || side < bestSide)) ||
            (bestSide < LargeIconSize && side > bestSide);
        if (better)
            best = image;
    }
    return ToLargeIcon(best);
}
} // namespace

QImage ExtractIcon(const QString& fileName, int index)
{
    if (fileName.isEmpty() || index < 0)
        return QImage();
    const QFileInfo info(fileName);
    if (!info.isFile() || info.size() <= 0)
        return QImage();
    if (IsProgramFile(fileName)) {
        const std::optional<QByteArray> data =
            ReadProgramResource(fileName, IconResourceName(index));
        return data ? DecodeIcon(*data) : QImage();
    }
    if (index != 0 || info.size() > MaxIconFileSize)
        return QImage();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    return DecodeIcon(file.readAll());
}

QImage GetShellFileIcon(const QString& fileName, bool small)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        return QImage();
    const int side = small ? SmallIconSize : LargeIconSize;
    return icon.pixmap(side, side).toImage();
}

} // namespace Platform
