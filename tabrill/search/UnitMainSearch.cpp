// The main window's search, book-list and jump handlers.
#include "common/Tcursorhourglass.h"
#include "platform/Exception.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/x11/TopLevelWindow.h"
#include "tabrill/app/UnitMain.h"
#include "tabrill/search/Tcsvutility.h"
#include "tabrill/search/Texcel.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>
#include <QTreeWidget>
#include <memory>
#include <set>

namespace {

QString NotConnectedText()
{
    return QStringLiteral("Excelに接続できませんでした。");
}

void ShowWarning(const QString& text)
{
    Platform::ShowMessageBox(text, Platform::MessageKind::Warning, Platform::MessageButtons::Ok);
}

// The running spreadsheet program, or the error every command reports when there is none.
std::unique_ptr<TExcel> AttachToExcel()
{
    std::unique_ptr<TExcel> excel = TExcel::GetActive();
    if (!excel)
        throw Exception(NotConnectedText());
    return excel;
}

// A number as the result row holds it; 1 when the text is not one.
int IntegerOr1(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 1;
}

// Diagnostics for demos and scripted runs: with TABRILL_DUMP_RESULTS naming a file, every search
// run ends by writing the result rows there, one line each, the eight texts separated by tabs
// (backslash, tab and line breaks escaped as \\, \t, \n, \r), in UTF-8. Nothing is written when
// the variable is unset; a file that cannot be written is ignored, the search is not disturbed.
void DumpResultRows(const QTreeWidget* list)
{
    const QString path = qEnvironmentVariable("TABRILL_DUMP_RESULTS");
    if (path.isEmpty())
        return;
    const auto escaped = [](QString text) {
        return text.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'\t', QStringLiteral("\\t"))
            .replace(u'\n', QStringLiteral("\\n"))
            .replace(u'\r', QStringLiteral("\\r"));
    };
    QByteArray out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        QStringList texts;
        for (int column = 0; column < ResultColumn::Count; ++column)
            texts << escaped(row->text(column));
        out += texts.join(u'\t').toUtf8() + '\n';
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(out) == out.size())
        file.commit();
}

void SetAllChecked(QListWidget* list, bool checked)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

} // namespace

// ---- The search run ----

void TFormMain::ActionBookSearchStartExecute(QObject*)
{
    if (!IsAnyBookChecked()) {
        ShowWarning(QStringLiteral("検索するブックを選択してください。"));
        return;
    }
    if (EditWord->text().isEmpty()) {
        ShowWarning(QStringLiteral("検索キーワードを入力してください。"));
        EditWord->setFocus();
        return;
    }

    TCursorHourGlass hourGlass;
    ListViewResult->clear();

    // Locking moves the focus out of the disabled controls; it goes back where the user left it.
    const QPointer<QWidget> focused = focusWidget();
    struct Unlock
    {
        TFormMain* form;
        const QPointer<QWidget>& focused;
        ~Unlock()
        {
            form->SetSearching(false);
            if (focused && focused->isEnabled() && focused->isVisible())
                focused->setFocus();
        }
    };
    {
        SetSearching(true);
        const Unlock unlock{this, focused};
        SearchBooks();
    }
    SetStatusText(QStringLiteral("検索処理は終了しました。"));
    DumpResultRows(ListViewResult);
}

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

void TFormMain::SetSearching(bool searching)
{
    PanelTop->setEnabled(!searching);
    for (QAction* action : {ActionBookSearchStart, ActionBookListCheckAll, ActionBookListCheckNon,
                            ActionBookListReload})
        action->setEnabled(!searching);
    PanelProgress->setVisible(searching);
    ListViewResult->setEnabled(!searching);
}

void TFormMain::SearchBooks()
{
    try {
        // Only proves that the spreadsheet program is there; each book attaches on its own.
        const std::unique_ptr<TExcel> excel = AttachToExcel();
        const QStringList names = GetCheckedBookNames();
        ProgressBar1->setMaximum(int(names.size()));
        ProgressBar1->setValue(0);
        for (const QString& name : names) {
            SetStatusText(QStringLiteral("「") + name + QStringLiteral("」の検索中…"));
            QCoreApplication::processEvents();
            SearchBook(name);
            ProgressBar1->setValue(ProgressBar1->value() + 1);
            QCoreApplication::processEvents();
        }
    } catch (const Exception& error) {
        ShowWarning(error.Message());
    }
}

void TFormMain::SearchBook(const QString& name)
{
    const TFindCondition condition = GetFindCondition();
    const std::unique_ptr<TExcel> excel = AttachToExcel();
    Excel::TWorkbook workbook = excel->Workbooks().Item(name);
    const std::int32_t sheetCount = workbook.WorkSheets().Count();
    for (std::int32_t sheet = 1; sheet <= sheetCount; ++sheet) {
        Excel::TWorksheet worksheet = workbook.WorkSheets().Item(sheet);
        Excel::TRange usedRange = worksheet.UsedRange();
        Excel::TRange found =
            usedRange.Find(condition.What, Excel::EmptyParam(), condition.LookIn, condition.LookAt,
                           condition.SearchOrder, condition.SearchDirection, condition.MatchCase,
                           condition.MatchByte);
        // FindNext wraps round; the first cell that comes back a second time ends the sheet.
        std::set<TFoundResult> reported;
        while (found.HasObject()) {
            TFoundResult cell;
            cell.Column = found.Column();
            cell.Row = found.Row();
            if (!reported.insert(cell).second)
                break;
            // Each text goes into the row as soon as it is read, so a failing call leaves the
            // texts read before it.
            QTreeWidgetItem* row = AppendResultRow(name);
            AppendResultSubItem(row, QString::number(sheet));
            AppendResultSubItem(row, worksheet.Name());
            AppendResultSubItem(row, ColumnIndexToLetters(cell.Column - 1));
            AppendResultSubItem(row, QString::number(cell.Row));
            AppendResultSubItem(row, found.Text());
            AppendResultSubItem(row, found.Formula());
            Excel::TComment comment = found.Comment();
            AppendResultSubItem(row, comment.HasObject() ? comment.Text() : QString());
            found = usedRange.FindNext(found);
        }
    }
}

// ---- The book list ----

void TFormMain::ActionBookListReloadExecute(QObject*)
{
    CheckListBoxBook->clear();
    CheckListBoxBook->setUpdatesEnabled(false);
    struct EndUpdate
    {
        QListWidget* list;
        ~EndUpdate() { list->setUpdatesEnabled(true); }
    } endUpdate{CheckListBoxBook};

    try {
        TCursorHourGlass hourGlass;
        SetStatusText(QStringLiteral("開かれているブックを取得しています。"));
        const std::unique_ptr<TExcel> excel = AttachToExcel();
        const std::int32_t count = excel->Workbooks().Count();
        for (std::int32_t i = 1; i <= count; ++i) {
            const QString name = excel->Workbooks().Item(i).Name();
            auto* item = new QListWidgetItem(name, CheckListBoxBook);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
        }
        SetStatusText(QStringLiteral("ブックを取得しました。"));
    } catch (const Exception& error) {
        ShowWarning(error.Message());
        SetStatusText(error.Message());
    }
}

void TFormMain::ActionBookListCheckAllExecute(QObject*)
{
    SetAllChecked(CheckListBoxBook, true);
}

void TFormMain::ActionBookListCheckNonExecute(QObject*)
{
    SetAllChecked(CheckListBoxBook, false);
}

// ---- The jump to a found cell ----

void TFormMain::ListViewResultDblClick(QObject*)
{
    const QList<QTreeWidgetItem*> selected = ListViewResult->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem* row = selected.first();
    const QString bookName = ResultCaption(row);
    const int sheetNumber = IntegerOr1(ResultSubItem(row, 0));
    const int column = ColumnLettersToIndex(ResultSubItem(row, 2)) + 1;
    const int rowNumber = IntegerOr1(ResultSubItem(row, 3));

    TCursorHourGlass hourGlass;
    try {
        const std::unique_ptr<TExcel> excel = AttachToExcel();
        Excel::TWorkbook workbook = excel->Workbooks().Item(bookName);
        Excel::TWorksheet worksheet = workbook.WorkSheets().Item(sheetNumber);
        worksheet.Activate();
        Excel::TRange cell = worksheet.Cells(column, rowNumber);
        cell.Activate();
        // The spreadsheet program's main window; when it cannot be found it simply stays behind.
        if (const Platform::WindowId window = Platform::FindWindow(QStringLiteral("XLMAIN")))
            Platform::SetForegroundWindow(window);
    } catch (const Exception& error) {
        ShowWarning(error.Message());
    }
}
