#pragma once

#include <QString>
#include <QStyle>

class QDialog;
class QPushButton;
class QWidget;

// What the two settings dialogs share: their frame, font and glyph buttons.
namespace ConfigDialog {

inline constexpr int ModalOk = 1;
inline constexpr int ModalCancel = 2;

// A fixed dialog border, centred on the owner, with the dialogs' font and that client size.
void SetUpForm(QDialog* form, const QString& name, const QString& caption, int width, int height);

// A button with a standard glyph at a fixed place.
QPushButton* NewGlyphButton(QWidget* parent, const QString& name, const QString& caption,
                            QStyle::StandardPixmap glyph, int left, int top, int width, int height);

// Places a widget at the given rectangle, widened to its preferred width when the text needs it.
void PlaceAtLeast(QWidget* widget, int left, int top, int width, int height);

} // namespace ConfigDialog
