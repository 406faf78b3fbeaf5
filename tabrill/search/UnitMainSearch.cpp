// The main window's search, book-list and jump handlers.
#include "tabrill/app/UnitMain.h"

#include <QListWidget>

bool TFormMain::IsAnyBookChecked() const
{
    for (int i = 0; i < CheckListBoxBook->count(); ++i) {
        if (CheckListBoxBook->item(i)->checkState() == Qt::Checked)
            return true;
    }
    return false;
}

QStringList TFormMain::GetCheckedBookNames() const
{
    QStringList names;
    for (int i = 0; i < CheckListBoxBook->count(); ++i) {
        const QListWidgetItem* item = CheckListBoxBook->item(i);
        if (item->checkState() == Qt::Checked)
            names << item->text();
    }
    return names;
}

// Not built yet: the handlers below do nothing.

void TFormMain::ActionBookSearchStartExecute(QObject*) {}

void TFormMain::SetSearching(bool) {}

void TFormMain::SearchBooks() {}

void TFormMain::SearchBook(const QString&) {}

void TFormMain::ActionBookListReloadExecute(QObject*) {}

void TFormMain::ActionBookListCheckAllExecute(QObject*) {}

void TFormMain::ActionBookListCheckNonExecute(QObject*) {}

void TFormMain::ListViewResultDblClick(QObject*) {}
