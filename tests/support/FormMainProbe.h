#pragma once

#include "tabrill/app/UnitMain.h"
#include "tests/support/MessageRecorder.h"

#include <QAction>
#include <QFrame>
#include <QListWidget>
#include <QStringList>
#include <QTreeWidget>

#include <vector>

// What a test reads back from the main window: the book list, the result rows, whether a search
// left the window unlocked, and the texts of the message boxes shown.
namespace FormMainProbe {

using Rows = std::vector<QStringList>;

// Each book as "name [x]" or "name [ ]".
inline QStringList BookList(const TFormMain& form)
{
    QStringList items;
    for (int i = 0; i < form.CheckListBoxBook->count(); ++i) {
        const QListWidgetItem* item = form.CheckListBoxBook->item(i);
        items << item->text() + (item->checkState() == Qt::Checked ? QStringLiteral(" [x]")
                                                                   : QStringLiteral(" [ ]"));
    }
    return items;
}

// Every row as the texts it has, caption first.
inline Rows ResultRows(const TFormMain& form)
{
    Rows rows;
    for (int i = 0; i < form.ListViewResult->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = form.ListViewResult->topLevelItem(i);
        QStringList texts;
        for (int c = 0; c < item->columnCount(); ++c)
            texts << item->text(c);
        rows.push_back(texts);
    }
    return rows;
}

inline bool Unlocked(const TFormMain& form)
{
    return form.PanelTop->isEnabled() && form.ListViewResult->isEnabled() &&
           form.ActionBookSearchStart->isEnabled() && form.ActionBookListReload->isEnabled() &&
           form.ActionBookListCheckAll->isEnabled() && form.ActionBookListCheckNon->isEnabled() &&
           form.PanelProgress->isHidden();
}

// The texts of the boxes shown so far, joined by "|".
inline QString Messages(const MessageRecorder& recorder)
{
    QStringList texts;
    for (const auto& request : recorder.requests)
        texts << request.text;
    return texts.join(u'|');
}

} // namespace FormMainProbe
