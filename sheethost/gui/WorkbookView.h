#pragma once

#include "sheethost/model/Workbook.h"

#include <QWidget>
#include <optional>
#include <vector>

class QTabBar;
class QTableView;

namespace SheetHost {

class SheetModel;

// One open workbook: the grid of its current worksheet and the sheet tabs below it.
class WorkbookView : public QWidget
{
    Q_OBJECT
public:
    explicit WorkbookView(Workbook& workbook, QWidget* parent = nullptr);
    ~WorkbookView() override;

    quint64 workbookId() const { return workbookId_; }
    // Lets go of the workbook before it is closed: nothing is shown or asked of it afterwards.
    void detach();

    int currentSheet() const;
    void showSheet(int index);
    // Selects the cell on the current sheet and scrolls it into view.
    void selectCell(CellAddress at);
    std::optional<CellAddress> currentCell() const;
    // The formula of the current cell, as the formula bar shows it.
    QString currentFormula() const;

    QTableView* grid() const { return grid_; }
    QTabBar* sheetTabs() const { return sheetTabs_; }

signals:
    void currentCellChanged();

private:
    void onSheetTabChanged(int index);
    void fitColumns();

    Workbook* workbook_;
    quint64 workbookId_;
    QTabBar* sheetTabs_;
    QTableView* grid_;
    SheetModel* model_;
    // Each sheet keeps its own current cell, as in Excel.
    std::vector<CellAddress> currentCells_;
    int shownSheet_ = -1;
};

} // namespace SheetHost
