#include "tabrill/settings/UnitFormConfigCommon.h"

#include <QDialog>
#include <QPushButton>

namespace ConfigDialog {

void SetUpForm(QDialog* form, const QString& name, const QString& caption, int width, int height)
{
    form->setObjectName(name);
    form->setWindowTitle(caption);
    form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont dialogFont = form->font();
    dialogFont.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    dialogFont.setPixelSize(12);
    form->setFont(dialogFont);
    form->setFixedSize(width, height);
}

QPushButton* NewGlyphButton(QWidget* parent, const QString& name, const QString& caption,
                            QStyle::StandardPixmap glyph, int left, int top, int width, int height)
{
    auto* button = new QPushButton(parent->style()->standardIcon(glyph), caption, parent);
    button->setObjectName(name);
    button->setGeometry(left, top, width, height);
    return button;
}

void PlaceAtLeast(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, qMax(width, widget->sizeHint().width()), height);
}

} // namespace ConfigDialog
