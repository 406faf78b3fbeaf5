#pragma once

#include "sheethost/model/Workbook.h"

#include <QAbstractTableModel>

namespace SheetHost {

// The whole grid of one worksheet, A1 to XFD1048576, over its sparse cells: only the cells on
// screen are ever asked for, so a sheet with a used range up to XFD1048576 shows at once.
class SheetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role
    {
        HasCommentRole = Qt::UserRole + 1,
        FormulaRole,
    };

    explicit SheetModel(QObject* parent = nullptr);

    // nullptr shows nothing; the sheet must outlive the model or be replaced first.
    void setWorksheet(const Worksheet* sheet);
    const Worksheet* worksheet() const { return sheet_; }

    static CellAddress addressOf(const QModelIndex& index);
    QModelIndex indexOf(CellAddress at) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const Worksheet* sheet_ = nullptr;
};

} // namespace SheetHost
