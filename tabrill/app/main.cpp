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
        // The first argument is a project file to open, as the .TBR association passes it.
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1)
            formMain.CommandLineProjectFile = arguments.at(1);
        formMain.show();
        QApplication::exec();
    } catch (...) {
        Platform::ShowException(std::current_exception());
    }
    return 0;
}
