// Extbinder: registers or removes the file association that a task file describes.
#include "extbinder/UnitFormCommandMain.h"
#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/dialogs/Translations.h"
#include "platform/dialogs/WidgetMessageBox.h"
#include "platform/resources/Icons.h"

#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv)
{
    Platform::Application app(argc, argv);
    Platform::InstallJapaneseQtTranslations();
    Platform::InstallWidgetMessageBox();
    QApplication::setApplicationDisplayName(ExtbinderTitle());
    const QImage icon = Platform::ExtractIcon(QCoreApplication::applicationFilePath(), 0);
    if (!icon.isNull())
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon)));

    TFormCommandMain window(QCoreApplication::arguments().mid(1));
    window.show();
    QApplication::exec();
    // The outcome is shown in the window; the exit code tells nothing.
    return 0;
}
