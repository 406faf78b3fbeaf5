#pragma once

#include <QString>
#include <vector>

// The main window's fixed vocabulary: its actions and the columns of the result list. Data only,
// so the window stays thin and the values are checked without widgets.

// One action of the main window's action list.
struct TActionSpec
{
    QString Name;     // object name, "ActionFileNew"
    QString Category; // "ファイル(&F)"
    QString Caption;
    QString Hint;     // "short|long", may be empty
    int ImageIndex;   // into ImageList1, -1 for none
    QString ShortCut; // portable text, "Ctrl+N"; empty for none
};

// The fifteen actions, in the order of the action list.
const std::vector<TActionSpec>& MainActionSpecs();

enum class TColumnAlignment
{
    Left,
    Right,
};

// One column of the result list.
struct TResultColumnSpec
{
    QString Caption;
    TColumnAlignment Alignment;
    int Width; // design width
};

// The eight result columns by index (ResultColumn::BookName ... ResultColumn::Comment).
const std::vector<TResultColumnSpec>& ResultColumnSpecs();

// Number of images in ImageList1.
inline constexpr int MainImageCount = 10;
