#pragma once

#include "tabrill/search/FindCondition.h"

#include <QString>
#include <QStringList>
#include <array>
#include <set>

// Tabrill's settings from one run to the next, kept in one INI file under the user's application
// data folder. Owned by the main window; never copied.
class TConfig
{
public:
    using TColWidths = std::array<int, ResultColumn::Count>;

    // Widths of the result columns by column index, also used when a hidden column is shown again.
    static constexpr TColWidths DefaultColWidths{56, 44, 56, 28, 28, 60, 70, 78};

    // The main window's normal placement; Right holds the width and Bottom the height.
    struct TWindowPosition
    {
        int Left = 0;
        int Top = 0;
        int Right = 434;
        int Bottom = 420;

        friend bool operator==(const TWindowPosition&, const TWindowPosition&) = default;
    };

    TConfig() = default;
    TConfig(const TConfig&) = delete;
    TConfig& operator=(const TConfig&) = delete;

    TColWidths ColWidths = DefaultColWidths; // 0 hides a column
    bool WindowPositionRestore = false;
    TWindowPosition WindowPosition;
    QStringList History; // project paths, newest first, no two equal without regard to case
    bool ProjectFileRestore = false;
    QString LastProjectFile;
    bool ShowStayOnTop = false;
    bool InTaskTray = false;

    // 0 normal, 1 minimised, 2 maximised.
    int WindowState() const noexcept { return windowState_; }
    // Values of 3 and more become 0.
    void SetWindowState(unsigned int value) noexcept;

    // Every field from the file, or its default; a missing file gives all defaults.
    // Raises EFOpenError, changing nothing, when the file exists but cannot be read.
    void LoadFromFile(QString fileName);
    // Creates the folder and its parents first; when that fails, warns the user and writes
    // nothing. Keeps the file's other sections and keys. Raises EFOpenError or EFCreateError.
    void SaveToFile(QString fileName);

    // Puts the path at the top of History, removing any entry equal to it without regard to case.
    void AddHistory(QString fileName);

    // Indexes of the columns whose width is not 0 (a negative width counts as shown).
    std::set<int> GetVisibleColumns() const;
    // Hides the columns not in the set; a shown column without a positive width gets its default.
    // Indexes outside the columns are ignored.
    void SetVisibleColumns(const std::set<int>& columns);
    TColWidths GetColWidths() const { return ColWidths; }

private:
    int windowState_ = 0;
};

// Full path of the configuration file: the application data folder, then
// "Ostrelle/Tabrill/Tabrill.ini". Worked out anew at every call.
QString GetConfigFileName();
