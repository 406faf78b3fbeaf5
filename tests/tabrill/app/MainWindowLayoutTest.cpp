#include "tabrill/app/ImageList.h"
#include "tests/tabrill/app/MainWindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <ostream>

namespace {

// --- Components by name -----------------------------------------------------------------

template <typename T> bool HasChild(const QObject* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name)) != nullptr;
}

TEST_F(MainWindowTest, EveryComponentIsFoundByItsNameAndKind)
{
    const QObject* f = form.get();
    EXPECT_TRUE(HasChild<QToolBar>(f, "ToolBar1"));
    for (const char* panel : {"PanelTop", "Panel1", "Panel2", "Panel5", "PanelProgress"})
        EXPECT_TRUE(HasChild<QFrame>(f, panel)) << panel;
    EXPECT_TRUE(HasChild<QSplitter>(f, "Splitter1"));
    EXPECT_TRUE(HasChild<QTreeWidget>(f, "ListViewResult"));
    EXPECT_TRUE(HasChild<QProgressBar>(f, "ProgressBar1"));
    EXPECT_TRUE(HasChild<QStatusBar>(f, "StatusBar1"));
    EXPECT_TRUE(HasChild<QLineEdit>(f, "EditWord"));
    EXPECT_TRUE(HasChild<QComboBox>(f, "ComboBoxSearchOrder"));
    EXPECT_TRUE(HasChild<QComboBox>(f, "ComboBoxFindLookIn"));
    for (const char* box : {"CheckBoxMatchCase", "CheckBoxMatchByte", "CheckBoxLookAt"})
        EXPECT_TRUE(HasChild<QCheckBox>(f, box)) << box;
    EXPECT_TRUE(HasChild<QListWidget>(f, "CheckListBoxBook"));
    EXPECT_TRUE(HasChild<QMenu>(f, "PopupMenuBook"));
    for (const char* button : {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4"})
        EXPECT_TRUE(HasChild<QToolButton>(f, button)) << button;
    EXPECT_TRUE(HasChild<QSystemTrayIcon>(f, "TrayIcon1"));
    EXPECT_TRUE(HasChild<TImageList>(f, "ImageList1"));
    EXPECT_TRUE(HasChild<QMenuBar>(f, "MainMenu1"));
    EXPECT_TRUE(HasChild<QObject>(f, "ActionManager1"));
    for (const char* label : {"LabelSearchOrder", "LabelFindLookIn", "Label1"})
        EXPECT_TRUE(HasChild<QLabel>(f, label)) << label;
    EXPECT_EQ(FormMain, form.get());
}

TEST_F(MainWindowTest, ConditionControlsCarryTheirTextsAndStartOnTheirFirstItems)
{
    EXPECT_EQ(form->EditWordLabel->text(), QStringLiteral("検索する文字(&N)"));
    EXPECT_EQ(form->EditWordLabel->buddy(), form->EditWord);
    EXPECT_EQ(form->EditWord->placeholderText(),
              QStringLiteral("検索キーワードを入力してください"));
    EXPECT_EQ(form->LabelSearchOrder->text(), QStringLiteral("検索方向(&S)"));
    EXPECT_EQ(form->LabelFindLookIn->text(), QStringLiteral("対象(&L)"));
    EXPECT_EQ(form->Label1->text(), QStringLiteral("検索するブック(&X)"));
    EXPECT_EQ(form->CheckBoxMatchCase->text(), QStringLiteral("大文字と小文字を区別する(&C)"));
    EXPECT_EQ(form->CheckBoxMatchByte->text(), QStringLiteral("半角と全角を区別する(&B)"));
    EXPECT_EQ(form->CheckBoxLookAt->text(), QStringLiteral("完全に同一なセルだけを検索する(&O)"));

    auto items = [](const QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    EXPECT_EQ(items(form->ComboBoxSearchOrder),
              (QStringList{QStringLiteral("行"), QStringLiteral("列")}));
    EXPECT_EQ(
        items(form->ComboBoxFindLookIn),
        (QStringList{QStringLiteral("数式"), QStringLiteral("値"), QStringLiteral("コメント")}));
    EXPECT_FALSE(form->ComboBoxSearchOrder->isEditable());
    EXPECT_FALSE(form->ComboBoxFindLookIn->isEditable());
    EXPECT_EQ(form->ComboBoxSearchOrder->currentIndex(), 0);
    EXPECT_EQ(form->ComboBoxFindLookIn->currentIndex(), 0);

    // The three options stack from the top in their order.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_LT(form->CheckBoxMatchCase->y(), form->CheckBoxMatchByte->y());
    EXPECT_LT(form->CheckBoxMatchByte->y(), form->CheckBoxLookAt->y());
}

TEST_F(MainWindowTest, WindowStartsCentredWithItsCaptionAndClientArea)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
    // The client area is everything below the menu bar.
    EXPECT_EQ(form->width(), 426);
    EXPECT_EQ(form->height() - form->MainMenu1->height(), 406);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(form->geometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form->geometry().center().y() - screen.center().y()), 1);
}

TEST_F(MainWindowTest, BandsStackWithTheirDesignHeights)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->ToolBar1->height(), 29);
    EXPECT_EQ(form->PanelTop->height(), 188);
    EXPECT_EQ(form->Panel1->height(), 39);
    EXPECT_EQ(form->Panel2->height(), 65);
    EXPECT_EQ(form->Splitter1->handleWidth(), 3);
    EXPECT_EQ(form->StatusBar1->height(), 19);
    EXPECT_EQ(form->PanelProgress->height(), 24);
    EXPECT_FALSE(form->PanelProgress->isVisible());
    EXPECT_FALSE(form->TrayIcon1->isVisible());
    EXPECT_TRUE(form->PanelTop->isVisible());

    // Top to bottom: tool bar, conditions, splitter, results.
    const auto top = [&](const QWidget* w) { return w->mapTo(form.get(), QPoint()).y(); };
    EXPECT_LT(top(form->ToolBar1), top(form->PanelTop));
    EXPECT_LT(top(form->Panel1), top(form->Panel2));
    EXPECT_LT(top(form->Panel2), top(form->Panel5));
    EXPECT_LT(top(form->PanelTop), top(form->ListViewResult));
    EXPECT_LT(top(form->ListViewResult), top(form->StatusBar1));
    // The search button sits at the right edge of the word box.
    EXPECT_GT(form->SpeedButton1->x(), form->EditWord->x() + form->EditWord->width() - 1);
}

// --- Result columns ---------------------------------------------------------------------

struct ColumnCase
{
    int index;
    QString caption;
    Qt::Alignment alignment;
    int width;
    friend void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.index; }
};

class ColumnTest : public MainWindowTest, public ::testing::WithParamInterface<ColumnCase>
{
};

TEST_P(ColumnTest, HasItsCaptionAlignmentAndDesignWidth)
{
    const ColumnCase& c = GetParam();
    ASSERT_EQ(form->ListViewResult->columnCount(), 8);
    const QTreeWidgetItem* header = form->ListViewResult->headerItem();
    EXPECT_EQ(header->text(c.index), c.caption);
    EXPECT_EQ(Qt::Alignment(header->textAlignment(c.index)) & Qt::AlignHorizontal_Mask,
              c.alignment);
    EXPECT_EQ(form->ListViewResult->columnWidth(c.index), c.width);
    EXPECT_EQ(form->GetResultColumnWidth(c.index), c.width);

    QTreeWidgetItem* row = form->AppendResultRow(QStringLiteral("Book1.xlsx"));
    for (int i = 0; i < 7; ++i)
        form->AppendResultSubItem(row, QString::number(i));
    EXPECT_EQ(Qt::Alignment(row->textAlignment(c.index)) & Qt::AlignHorizontal_Mask, c.alignment);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColumnTest,
    ::testing::Values(ColumnCase{0, QStringLiteral("ブック名"), Qt::AlignLeft, 56},
                      ColumnCase{1, QStringLiteral("シート"), Qt::AlignRight, 44},
                      ColumnCase{2, QStringLiteral("シート名"), Qt::AlignLeft, 56},
                      ColumnCase{3, QStringLiteral("列"), Qt::AlignLeft, 28},
                      ColumnCase{4, QStringLiteral("行"), Qt::AlignRight, 28},
                      ColumnCase{5, QStringLiteral("セルの値"), Qt::AlignLeft, 60},
                      ColumnCase{6, QStringLiteral("セルの数式"), Qt::AlignLeft, 70},
                      ColumnCase{7, QStringLiteral("セルのコメント"), Qt::AlignLeft, 78}));

TEST_F(MainWindowTest, ResultListIsAReadOnlyReportWithWholeRowSelection)
{
    const QTreeWidget* list = form->ListViewResult;
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_FALSE(list->header()->sectionsMovable());
}

TEST_F(MainWindowTest, ResultRowsAppendInOrderAndReadBackByCaptionAndSubItem)
{
    const QStringList first{QStringLiteral("1"),     QStringLiteral("Sheet1"),
                            QStringLiteral("XFD"),   QStringLiteral("1048576"),
                            QStringLiteral("1,234"), QStringLiteral("=A1*2"),
                            QStringLiteral("メモ")};
    QTreeWidgetItem* row = form->AppendResultRow(QStringLiteral("売上.xlsx"));
    for (const QString& text : first)
        form->AppendResultSubItem(row, text);
    // A row whose reading failed halfway keeps what was read.
    QTreeWidgetItem* partial = form->AppendResultRow(QStringLiteral("Book2.xlsx"));
    form->AppendResultSubItem(partial, QStringLiteral("3"));

    ASSERT_EQ(form->ListViewResult->topLevelItemCount(), 2);
    EXPECT_EQ(form->ListViewResult->topLevelItem(0), row);
    EXPECT_EQ(form->ListViewResult->topLevelItem(1), partial);
    EXPECT_EQ(TFormMain::ResultCaption(row), QStringLiteral("売上.xlsx"));
    for (int i = 0; i < first.size(); ++i) {
        EXPECT_EQ(TFormMain::ResultSubItem(row, i), first[i]) << i;
        EXPECT_EQ(row->text(i + 1), first[i]) << i;
    }
    EXPECT_EQ(TFormMain::ResultSubItem(partial, 0), QStringLiteral("3"));
    EXPECT_EQ(TFormMain::ResultSubItem(partial, 1), QString());
    EXPECT_EQ(TFormMain::ResultSubItem(nullptr, 0), QString());

    // More texts than columns are dropped, not shifted into other rows or columns.
    form->AppendResultSubItem(row, QStringLiteral("extra"));
    EXPECT_EQ(row->columnCount(), 8);
    EXPECT_EQ(TFormMain::ResultSubItem(row, 6), QStringLiteral("メモ"));
}

TEST_F(MainWindowTest, ColumnOfWidthZeroIsHiddenAndReportsZero)
{
    form->SetResultColumnWidth(5, 0);
    EXPECT_TRUE(form->ListViewResult->isColumnHidden(5));
    EXPECT_EQ(form->GetResultColumnWidth(5), 0);
    form->SetResultColumnWidth(5, 90);
    EXPECT_FALSE(form->ListViewResult->isColumnHidden(5));
    EXPECT_EQ(form->GetResultColumnWidth(5), 90);
    // Out-of-range indexes are ignored.
    form->SetResultColumnWidth(8, 10);
    form->SetResultColumnWidth(-1, 10);
    EXPECT_EQ(form->GetResultColumnWidth(8), 0);
    EXPECT_EQ(form->ListViewResult->columnCount(), 8);
}

// --- Actions -----------------------------------------------------------------------------

struct ActionCase
{
    const char* name;
    QString category;
    QString caption;
    QString tooltip;   // short part of the hint, empty when there is none
    QString statusTip; // long part of the hint
    int image;
    QString shortcut;
    friend void PrintTo(const ActionCase& c, std::ostream* os) { *os << c.name; }
};

class ActionTest : public MainWindowTest, public ::testing::WithParamInterface<ActionCase>
{
};

TEST_P(ActionTest, HasItsCategoryCaptionHintImageAndShortcut)
{
    const ActionCase& c = GetParam();
    const auto* manager = form->findChild<QObject*>(QStringLiteral("ActionManager1"));
    ASSERT_NE(manager, nullptr);
    auto* action = manager->findChild<QAction*>(QString::fromLatin1(c.name));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->property("Category").toString(), c.category);
    EXPECT_EQ(action->text(), c.caption);
    EXPECT_EQ(action->statusTip(), c.statusTip);
    if (!c.tooltip.isEmpty()) {
        EXPECT_EQ(action->toolTip(), c.tooltip);
    }
    EXPECT_EQ(action->shortcut(), QKeySequence(c.shortcut));
    EXPECT_EQ(action->property("ImageIndex").toInt(), c.image);
    if (c.image < 0) {
        EXPECT_TRUE(action->icon().isNull());
    } else {
        ASSERT_FALSE(action->icon().isNull());
        const QImage shown =
            action->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage listed =
            form->ImageList1->GetBitmap(c.image).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown, listed);
    }
    // Every action is a window action, so its shortcut works wherever the focus is.
    EXPECT_TRUE(form->actions().contains(action));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActionTest,
    ::testing::Values(
        ActionCase{"ActionBookSearchStart", QStringLiteral("検索条件"),
                   QStringLiteral("検索(Ctrl+F)"), QStringLiteral("検索開始"),
                   QStringLiteral("検索処理を開始します。"), 1, QStringLiteral("Ctrl+F")},
        ActionCase{"ActionBookListCheckAll",
                   QStringLiteral("検索条件"),
                   QStringLiteral("すべてチェック(&A)"),
                   {},
                   {},
                   4,
                   {}},
        ActionCase{"ActionBookListCheckNon",
                   QStringLiteral("検索条件"),
                   QStringLiteral("チェックを外す(&Z)"),
                   {},
                   {},
                   3,
                   {}},
        ActionCase{"ActionBookListReload",
                   QStringLiteral("検索条件"),
                   QStringLiteral("ブック再読込(&R)"),
                   {},
                   {},
                   5,
                   {}},
        ActionCase{"ActionFileNew", QStringLiteral("ファイル(&F)"), QStringLiteral("新規作成(&N)"),
                   QStringLiteral("検索条件を新規に作成する"),
                   QStringLiteral("検索条件を新規に作成します"), 2, QStringLiteral("Ctrl+N")},
        ActionCase{"ActionFileOpen",
                   QStringLiteral("ファイル(&F)"),
                   QStringLiteral("開く(&O)"),
                   {},
                   {},
                   0,
                   QStringLiteral("Ctrl+O")},
        ActionCase{"ActionFileSave",
                   QStringLiteral("ファイル(&F)"),
                   QStringLiteral("上書き保存(&S)"),
                   {},
                   {},
                   7,
                   QStringLiteral("Ctrl+S")},
        ActionCase{"ActionFileSaveAs",
                   QStringLiteral("ファイル(&F)"),
                   QStringLiteral("名前をつけて保存(&A)"),
                   {},
                   {},
                   -1,
                   {}},
        ActionCase{"ActionFileClose",
                   QStringLiteral("ファイル(&F)"),
                   QStringLiteral("閉じる(&X)"),
                   {},
                   {},
                   -1,
                   {}},
        ActionCase{"ActionViewSearch", QStringLiteral("表示(&V)"), QStringLiteral("検索条件(&F)"),
                   QStringLiteral("検索条件の表示切り替え"),
                   QStringLiteral("検索条件の表示・非表示を切り替えます。"), 6,
                   QStringLiteral("Ctrl+H")},
        ActionCase{"ActionViewResultCol",
                   QStringLiteral("表示(&V)"),
                   QStringLiteral("表示項目(&C)"),
                   QStringLiteral("検索結果の表示項目の設定"),
                   QStringLiteral("検索結果の表示項目の設定します。"),
                   8,
                   {}},
        ActionCase{"ActionViewStayOnTop",
                   QStringLiteral("表示(&V)"),
                   QStringLiteral("最前面に表示(&T)"),
                   QStringLiteral("最前面に表示"),
                   QStringLiteral("ウィンドウを常に最前面に表示します。"),
                   9,
                   {}},
        ActionCase{"ActionConfigGeneral",
                   QStringLiteral("設定(&T)"),
                   QStringLiteral("全般設定(&G)"),
                   {},
                   {},
                   -1,
                   {}},
        ActionCase{"ActionHelpHelp",
                   QStringLiteral("ヘルプ(&H)"),
                   QStringLiteral("ヘルプ(&H)"),
                   {},
                   {},
                   -1,
                   {}},
        ActionCase{"ActionHelpVersion",
                   QStringLiteral("ヘルプ(&H)"),
                   QStringLiteral("バージョン情報(&A)"),
                   {},
                   {},
                   -1,
                   {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MainWindowTest, ActionManagerHoldsExactlyTheFifteenActions)
{
    const auto actions = form->ActionManager1->findChildren<QAction*>();
    EXPECT_EQ(actions.size(), 15);
    EXPECT_TRUE(form->ActionViewSearch->isCheckable());
    EXPECT_TRUE(form->ActionViewStayOnTop->isCheckable());
    EXPECT_FALSE(form->ActionFileNew->isCheckable());
}

TEST_F(MainWindowTest, ImageListHoldsTenDistinctSixteenPixelImages)
{
    ASSERT_EQ(form->ImageList1->Count(), 10);
    std::vector<QImage> images;
    for (int i = 0; i < 10; ++i) {
        const QPixmap bitmap = form->ImageList1->GetBitmap(i);
        EXPECT_EQ(bitmap.size(), QSize(16, 16)) << i;
        const QImage image = bitmap.toImage();
        for (const QImage& other : images)
            EXPECT_NE(image, other) << i;
        images.push_back(image);
    }
    EXPECT_TRUE(form->ImageList1->GetBitmap(10).isNull());
    EXPECT_TRUE(form->ImageList1->GetIcon(-1).isNull());
}

// --- Menus, tool bar and pop-up menu in order -------------------------------------------

// Object names of the entries, "-" for a separator and ">name" for a submenu.
QStringList Entries(const QList<QAction*>& actions)
{
    QStringList names;
    for (const QAction* a : actions) {
        if (a->isSeparator())
            names << QStringLiteral("-");
        else if (a->menu())
            names << u'>' + a->menu()->objectName();
        else
            names << a->objectName();
    }
    return names;
}

TEST_F(MainWindowTest, MainMenuHasItsMenusAndItemsInOrder)
{
    const QList<QAction*> menus = form->MainMenu1->actions();
    QStringList titles;
    for (const QAction* menu : menus)
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("ファイル(&F)"), QStringLiteral("表示(&V)"),
                                   QStringLiteral("設定(&T)"), QStringLiteral("ヘルプ(&H)")}));
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(Entries(menus[0]->menu()->actions()),
              (QStringList{QStringLiteral("ActionFileNew"), QStringLiteral("ActionFileOpen"),
                           QStringLiteral("ActionFileSave"), QStringLiteral("ActionFileSaveAs"),
                           QStringLiteral(">MenuFileReOpen"), QStringLiteral("-"),
                           QStringLiteral("ActionFileClose")}));
    EXPECT_EQ(form->MenuFileReOpen->title(), QStringLiteral("開き直す(&R)"));
    EXPECT_EQ(
        Entries(menus[1]->menu()->actions()),
        (QStringList{QStringLiteral("ActionViewSearch"), QStringLiteral("ActionViewResultCol"),
                     QStringLiteral("ActionViewStayOnTop")}));
    EXPECT_EQ(Entries(menus[2]->menu()->actions()),
              (QStringList{QStringLiteral("ActionConfigGeneral")}));
    EXPECT_EQ(Entries(menus[3]->menu()->actions()),
              (QStringList{QStringLiteral("ActionHelpHelp"), QStringLiteral("ActionHelpVersion")}));
}

TEST_F(MainWindowTest, ToolBarAndPopupMenuHaveTheirItemsInOrder)
{
    EXPECT_EQ(
        Entries(form->ToolBar1->actions()),
        (QStringList{QStringLiteral("ActionFileNew"), QStringLiteral("ActionFileOpen"),
                     QStringLiteral("ActionFileSave"), QStringLiteral("-"),
                     QStringLiteral("ActionViewSearch"), QStringLiteral("ActionViewResultCol"),
                     QStringLiteral("ActionViewStayOnTop")}));
    EXPECT_EQ(Entries(form->PopupMenuBook->actions()),
              (QStringList{QStringLiteral("ActionBookListCheckAll"),
                           QStringLiteral("ActionBookListCheckNon"), QStringLiteral("-"),
                           QStringLiteral("ActionBookListReload")}));
    EXPECT_EQ(form->SpeedButton1->defaultAction(), form->ActionBookSearchStart);
    EXPECT_EQ(form->SpeedButton2->defaultAction(), form->ActionBookListReload);
    EXPECT_EQ(form->SpeedButton3->defaultAction(), form->ActionBookListCheckAll);
    EXPECT_EQ(form->SpeedButton4->defaultAction(), form->ActionBookListCheckNon);
}

} // namespace
