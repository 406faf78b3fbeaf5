#include "tabrill/settings/Tconfig.h"

#include "platform/dialogs/MessageBox.h"
#include "platform/ini/CommaText.h"
#include "platform/ini/MemIniFile.h"
#include "tabrill/app/Tspecialfolder.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

namespace {
const QString SectionSystem = QStringLiteral("SYSTEM");
const QString SectionColWidth = QStringLiteral("RESULT_ITEM_COL_WIDTH");
const QString SectionStartup = QStringLiteral("STARTUP");
const QString KeyVersion = QStringLiteral("Version");
const QString KeyWindowPositionRestore = QStringLiteral("WindowPositionRestore");
const QString KeyWindowPositionLeft = QStringLiteral("WindowPositionLeft");
const QString KeyWindowPositionRight = QStringLiteral("WindowPositionRight");
const QString KeyWindowPositionTop = QStringLiteral("WindowPositionTop");
const QString KeyWindowPositionBottom = QStringLiteral("WindowPositionBottom");
const QString KeyWindowState = QStringLiteral("WindowState");
const QString KeyHistory = QStringLiteral("HISTORY");
const QString KeyProjectFileRestore = QStringLiteral("ProjectFileRestore");
const QString KeyLastProjectFile = QStringLiteral("LastProjectFile");
const QString KeyShowStayOnTop = QStringLiteral("ShowStayOnTop");
const QString KeyInTaskTray = QStringLiteral("InTaskTray");

QString ColumnKey(std::size_t index)
{
    return QStringLiteral("COL") + QString::number(index);
}
} // namespace

void TConfig::SetWindowState(unsigned int value) noexcept
{
    windowState_ = value < 3 ? static_cast<int>(value) : 0;
}

void TConfig::LoadFromFile(QString fileName)
{
    const TMemIniFile ini(fileName);
    const TWindowPosition defaults;
    for (std::size_t i = 0; i < ColWidths.size(); ++i)
        ColWidths[i] = ini.ReadInteger(SectionColWidth, ColumnKey(i), DefaultColWidths[i]);
    WindowPositionRestore = ini.ReadBool(SectionStartup, KeyWindowPositionRestore, false);
    WindowPosition.Left = ini.ReadInteger(SectionStartup, KeyWindowPositionLeft, defaults.Left);
    WindowPosition.Right = ini.ReadInteger(SectionStartup, KeyWindowPositionRight, defaults.Right);
    WindowPosition.Top = ini.ReadInteger(SectionStartup, KeyWindowPositionTop, defaults.Top);
    WindowPosition.Bottom =
        ini.ReadInteger(SectionStartup, KeyWindowPositionBottom, defaults.Bottom);
    SetWindowState(static_cast<unsigned int>(ini.ReadInteger(SectionStartup, KeyWindowState, 0)));
    History = Platform::FromCommaText(ini.ReadString(SectionStartup, KeyHistory, QString()));
    ProjectFileRestore = ini.ReadBool(SectionStartup, KeyProjectFileRestore, false);
    LastProjectFile = ini.ReadString(SectionStartup, KeyLastProjectFile, QString());
    ShowStayOnTop = ini.ReadBool(SectionStartup, KeyShowStayOnTop, false);
    InTaskTray = ini.ReadBool(SectionStartup, KeyInTaskTray, false);
}

void TConfig::SaveToFile(QString fileName)
{
    const QString folder = QFileInfo(fileName).path();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        Platform::ShowMessageBox(
            QStringLiteral("設定ファイルを保存するためのフォルダの作成に失敗しました。"),
            Platform::MessageKind::Warning, Platform::MessageButtons::Ok);
        return;
    }

    TMemIniFile ini(fileName);
    ini.WriteInteger(SectionSystem, KeyVersion, 0);
    for (std::size_t i = 0; i < ColWidths.size(); ++i)
        ini.WriteInteger(SectionColWidth, ColumnKey(i), ColWidths[i]);
    ini.WriteBool(SectionStartup, KeyWindowPositionRestore, WindowPositionRestore);
    ini.WriteInteger(SectionStartup, KeyWindowPositionLeft, WindowPosition.Left);
    ini.WriteInteger(SectionStartup, KeyWindowPositionRight, WindowPosition.Right);
    ini.WriteInteger(SectionStartup, KeyWindowPositionTop, WindowPosition.Top);
    ini.WriteInteger(SectionStartup, KeyWindowPositionBottom, WindowPosition.Bottom);
    ini.WriteInteger(SectionStartup, KeyWindowState, windowState_);
    ini.WriteString(SectionStartup, KeyHistory, Platform::ToCommaText(History));
    ini.WriteBool(SectionStartup, KeyProjectFileRestore, ProjectFileRestore);
    ini.WriteString(SectionStartup, KeyLastProjectFile, LastProjectFile);
    ini.WriteBool(SectionStartup, KeyShowStayOnTop, ShowStayOnTop);
    ini.WriteBool(SectionStartup, KeyInTaskTray, InTaskTray);
    ini.UpdateFile();
}

void TConfig::AddHistory(QString fileName)
{
    History.removeIf(
        [&](const QString& entry) { return entry.compare(fileName, Qt::CaseInsensitive) == 0; });
    History.prepend(std::move(fileName));
}

std::set<int> TConfig::GetVisibleColumns() const
{
    std::set<int> visible;
    for (std::size_t i = 0; i < ColWidths.size(); ++i) {
        if (ColWidths[i] != 0)
            visible.insert(static_cast<int>(i));
    }
    return visible;
}

void TConfig::SetVisibleColumns(const std::set<int>& columns)
{
    for (std::size_t i = 0; i < ColWidths.size(); ++i) {
        if (!columns.contains(static_cast<int>(i)))
            ColWidths[i] = 0;
        else if (ColWidths[i] <= 0)
            ColWidths[i] = DefaultColWidths[i];
    }
}

QString GetConfigFileName()
{
    QString folder = GetSpecialFolderPath(sfAppData);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("Ostrelle/Tabrill/Tabrill.ini");
}
