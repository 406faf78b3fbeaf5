#pragma once

// The workbooks that the automation fuzz target serves and that make_seeds records sessions
// against: the same books in both, so that the object ids in the recorded streams stay valid.

#include "sheethost/model/Workbook.h"

#include <QString>
#include <memory>

namespace FuzzAutomation {

inline void AddBooks(SheetHost::Application& application)
{
    using SheetHost::CellAddress;
    auto sales = std::make_unique<SheetHost::Workbook>(QStringLiteral("売上管理.xlsx"),
                                                       QStringLiteral("/data/売上管理.xlsx"));
    SheetHost::Worksheet& year = sales->addWorksheet(QStringLiteral("2024年"));
    year.setCell({1, 1}, QStringLiteral("商品"), QStringLiteral("商品"));
    year.setCell({1, 2}, QStringLiteral("売上"), QStringLiteral("売上"));
    year.setCell({2, 1}, QStringLiteral("りんご"), QStringLiteral("りんご"));
    year.setCell({2, 2}, QStringLiteral("1200"), QStringLiteral("1,200"));
    year.setCell({3, 1}, QStringLiteral("ＡＢＣ売上"), QStringLiteral("ＡＢＣ売上"));
    year.setCell({3, 2}, QStringLiteral("=SUM(B2:B2)*2"), QStringLiteral("2,400"));
    year.setComment({3, 2}, QStringLiteral("売上の合計\n(税込)"));
    year.setComment({7, 5}, QStringLiteral("空のセルのメモ"));
    year.setCell({1048576, 16384}, QStringLiteral("最後"), QStringLiteral("最後"));
    SheetHost::Worksheet& notes = sales->addWorksheet(QStringLiteral("メモ"));
    notes.setCell({1, 1}, QStringLiteral("売上の見込み"), QStringLiteral("売上の見込み"));
    notes.setCell({2, 3}, QStringLiteral("abc"), QStringLiteral("ABC"));
    sales->addWorksheet(QStringLiteral("空"));
    application.openWorkbook(std::move(sales));

    auto stock = std::make_unique<SheetHost::Workbook>(QStringLiteral("在庫一覧.xlsx"),
                                                       QStringLiteral("/data/在庫一覧.xlsx"));
    SheetHost::Worksheet& list = stock->addWorksheet(QStringLiteral("Sheet1"));
    for (int row = 1; row <= 20; ++row) {
        list.setCell({row, 1}, QString::number(row), QString::number(row));
        list.setCell({row, 2}, QStringLiteral("=A%1*3").arg(row), QString::number(row * 3));
    }
    list.setCell({5, 4}, QStringLiteral("売上"), QStringLiteral("売上"));
    stock->addWorksheet(QStringLiteral("Sheet2"));
    application.openWorkbook(std::move(stock));
}

} // namespace FuzzAutomation
