#pragma once

#include "sheethost/model/Workbook.h"

#include <QMainWindow>
#include <QStringList>
#include <optional>

class QAction;
class QLineEdit;
class QTabBar;

namespace SheetHost {

class WorkbookView;

// SheetHost's window: a tab per open workbook, a sheet tab bar under each grid, and above them
// the current cell's address and formula. It follows the application: workbooks opened or
// closed, and places that a client activates.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Application& application, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens the files in order. A file that cannot be read is reported (every failure in one
    // message) and the others still open.
    void openFiles(const QStringList& paths);
    void closeCurrentWorkbook();

    // The grid and sheet tabs, showing the workbook of the current tab.
    WorkbookView* currentView() const { return view_; }

protected:
    // Workbooks dropped on the window open like those of the command line.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ActionFileOpenExecute();
    void ActionFileCloseExecute();
    void syncWorkbooks();
    void showActivated(int workbookIndex, int worksheetIndex, std::optional<CellAddress> cell);
    void updateCellLine();
    void updateTitle();
    void showCurrentTab();
    int tabOf(quint64 workbookId) const;
    quint64 idOfTab(int index) const;

    Application& application_;
    QTabBar* workbookTabs_;
    WorkbookView* view_;
    QLineEdit* nameBox_;
    QLineEdit* formulaBar_;
    QAction* actionFileOpen_;
    QAction* actionFileClose_;
    QAction* actionFileExit_;
};

} // namespace SheetHost
