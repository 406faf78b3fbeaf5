// Tabrill: builds the application and its main window, and runs the message loop.
#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/dialogs/Translations.h"
#include "platform/dialogs/WidgetMessageBox.h"
#include "tabrill/app/UnitMain.h"

#include <exception>

int main(int argc, char** argv)
{
    Platform::Application application(argc, argv);
    try {
        // The application title: the caption of the window and of every message box.
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        Platform::InstallWidgetMessageBox();
        Platform::InstallJapaneseQtTranslations();

        TFormMain formMain;
        formMain.show();
        QApplication::exec();
    } catch (...) {
        Platform::ShowException(std::current_exception());
    }
    return 0;
}
