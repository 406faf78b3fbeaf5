#include "tabrill/app/MainLayout.h"

const std::vector<TActionSpec>& MainActionSpecs()
{
    const QString search = QStringLiteral("検索条件");
    const QString file = QStringLiteral("ファイル(&F)");
    const QString view = QStringLiteral("表示(&V)");
    const QString config = QStringLiteral("設定(&T)");
    const QString help = QStringLiteral("ヘルプ(&H)");
    static const std::vector<TActionSpec> specs{
        {QStringLiteral("ActionBookSearchStart"), search, QStringLiteral("検索(Ctrl+F)"),
         QStringLiteral("検索開始|検索処理を開始します。"), 1, QStringLiteral("Ctrl+F")},
        {QStringLiteral("ActionBookListCheckAll"), search, QStringLiteral("すべてチェック(&A)"),
         QString(), 4, QString()},
        {QStringLiteral("ActionBookListCheckNon"), search, QStringLiteral("チェックを外す(&Z)"),
         QString(), 3, QString()},
        {QStringLiteral("ActionBookListReload"), search, QStringLiteral("ブック再読込(&R)"),
         QString(), 5, QString()},
        {QStringLiteral("ActionFileNew"), file, QStringLiteral("新規作成(&N)"),
         QStringLiteral("検索条件を新規に作成する|検索条件を新規に作成します"), 2,
         QStringLiteral("Ctrl+N")},
        {QStringLiteral("ActionFileOpen"), file, QStringLiteral("開く(&O)"), QString(), 0,
         QStringLiteral("Ctrl+O")},
        {QStringLiteral("ActionFileSave"), file, QStringLiteral("上書き保存(&S)"), QString(), 7,
         QStringLiteral("Ctrl+S")},
        {QStringLiteral("ActionFileSaveAs"), file, QStringLiteral("名前をつけて保存(&A)"),
         QString(), -1, QString()},
        {QStringLiteral("ActionFileClose"), file, QStringLiteral("閉じる(&X)"), QString(), -1,
         QString()},
        {QStringLiteral("ActionViewSearch"), view, QStringLiteral("検索条件(&F)"),
         QStringLiteral("検索条件の表示切り替え|検索条件の表示・非表示を切り替えます。"), 6,
         QStringLiteral("Ctrl+H")},
        {QStringLiteral("ActionViewResultCol"), view, QStringLiteral("表示項目(&C)"),
         QStringLiteral("検索結果の表示項目の設定|検索結果の表示項目の設定します。"), 8, QString()},
        {QStringLiteral("ActionViewStayOnTop"), view, QStringLiteral("最前面に表示(&T)"),
         QStringLiteral("最前面に表示|ウィンドウを常に最前面に表示します。"), 9, QString()},
        {QStringLiteral("ActionConfigGeneral"), config, QStringLiteral("全般設定(&G)"), QString(),
         -1, QString()},
        {QStringLiteral("ActionHelpHelp"), help, QStringLiteral("ヘルプ(&H)"), QString(), -1,
         QString()},
        {QStringLiteral("ActionHelpVersion"), help, QStringLiteral("バージョン情報(&A)"), QString(),
         -1, QString()},
    };
    return specs;
}

const std::vector<TResultColumnSpec>& ResultColumnSpecs()
{
    static const std::vector<TResultColumnSpec> specs{
        {QStringLiteral("ブック名"), TColumnAlignment::Left, 56},
        {QStringLiteral("シート"), TColumnAlignment::Right, 44},
        {QStringLiteral("シート名"), TColumnAlignment::Left, 56},
        {QStringLiteral("列"), TColumnAlignment::Left, 28},
        {QStringLiteral("行"), TColumnAlignment::Right, 28},
        {QStringLiteral("セルの値"), TColumnAlignment::Left, 60},
        {QStringLiteral("セルの数式"), TColumnAlignment::Left, 70},
        {QStringLiteral("セルのコメント"), TColumnAlignment::Left, 78},
    };
    return specs;
}
