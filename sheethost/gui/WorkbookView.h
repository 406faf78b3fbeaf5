#pragma once

#include "sheethost/model/Workbook.h"

#include <QWidget>
#include <map>
#include <optional>
#include <vector>

class QTabBar;
class QTableView;

namespace SheetHost {

class SheetModel;

// The grid of the current worksheet and the sheet tabs below it, for whichever workbook is
// shown. One grid serves every open workbook, so its memory does not grow with their number;
// each workbook keeps its current sheet and each sheet its current cell, as in Excel.
class WorkbookView : public QWidget
{
    Q_OBJECT
public:
    explicit WorkbookView(QWidget* parent = nullptr);
    ~WorkbookView() override;

    // Shows the workbook where it was left; nullptr shows nothing.
    void showWorkbook(Workbook* workbook);
    // 0 when no workbook is shown.
    quint64 workbookId() const;
    // The workbook is about to close: nothing of it is shown or asked for afterwards.
    void forget(quint64 workbookId);

    // -1 when no worksheet is shown.
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
    struct Place
    {
        int sheet = 0;
        std::vector<CellAddress> cells; // per sheet
    };

    void onSheetTabChanged(int index);
    void rememberCurrentCell();
    void fitColumns();

    Workbook* workbook_ = nullptr;
    std::map<quint64, Place> places_;
    QTabBar* sheetTabs_;
    QTableView* grid_;
    SheetModel* model_;
    int shownSheet_ = -1;
    std::vector<int> widened_; // columns fitColumns made wider
};

} // namespace SheetHost
