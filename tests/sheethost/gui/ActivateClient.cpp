#include "platform/Exception.h"
#include "platform/automation/Automation.h"
#include "platform/x11/TopLevelWindow.h"
#include "tabrill/search/Texcel.h"

#include <QGuiApplication>
#include <cstdio>

// A client that jumps to a cell the way Tabrill does: the book by name, the sheet by number,
// Activate on the sheet and on the cell; with --front, SheetHost's window comes to the front.
// Usage: sheethost_activate_client BOOK SHEET COLUMN ROW [--front]
// Exit codes: 0 done, 1 bad arguments, 2 no SheetHost running, 3 the call failed.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // the window search works through the GUI application
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: sheethost_activate_client BOOK SHEET COLUMN ROW [--front]\n");
        return 1;
    }
    Automation::CoInitialize(nullptr);
    int result = 0;
    try {
        const std::unique_ptr<TExcel> excel = TExcel::GetActive();
        if (!excel) {
            result = 2;
        } else {
            Excel::TWorksheet sheet =
                excel->Workbooks().Item(args[1]).WorkSheets().Item(args[2].toInt());
            sheet.Activate();
            sheet.Cells(args[3].toInt(), args[4].toInt()).Activate();
            if (args.contains(QStringLiteral("--front")))
                Platform::SetForegroundWindow(Platform::FindWindow(QStringLiteral("XLMAIN")));
        }
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.Message().toUtf8().constData());
        result = 3;
    }
    Automation::CoUninitialize();
    return result;
}
