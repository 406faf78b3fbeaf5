#pragma once

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <vector>

// The main window's image list: ten 16 x 16 images for its actions, by index.
class TImageList : public QObject
{
    Q_OBJECT

public:
    explicit TImageList(QObject* parent = nullptr);

    int Count() const { return int(images_.size()); }
    int Width() const { return 16; }
    int Height() const { return 16; }
    // Null pixmap / icon for an index outside the list.
    QPixmap GetBitmap(int index) const;
    QIcon GetIcon(int index) const;

private:
    std::vector<QPixmap> images_;
};
