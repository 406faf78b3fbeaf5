#pragma once

#include <QString>

// The search conditions of a project file (.TBR) and the path they were last read from or
// written to. Plain and copyable: assigning a fresh TProject starts a new project.
class TProject
{
public:
    QString FileName; // empty for a project that was never saved
    QString Word;
    bool MatchCase = false;
    bool MatchByte = true;
    bool LookAt = false;

    // 0 by rows, 1 by columns: the item index of the direction box.
    int SearchOrder() const noexcept { return searchOrder_; }
    // 0 formulas, 1 values, 2 comments: the item index of the look-in box.
    int FindLookIn() const noexcept { return findLookIn_; }
    // Out-of-range values (a negative one read from a file included) become 0.
    void SetSearchOrder(unsigned int value) noexcept;
    void SetFindLookIn(unsigned int value) noexcept;

    // Every condition from the file, or its default; a missing file gives all defaults.
    // FileName becomes the path. Raises EFOpenError, changing nothing, when the file cannot be
    // read.
    void LoadFromFile(QString fileName);
    // Writes the conditions, keeping the file's other sections and its encoding. FileName becomes
    // the path only on success. Raises EFOpenError or EFCreateError.
    void SaveToFile(QString fileName);

private:
    int searchOrder_ = 0;
    int findLookIn_ = 0;
};
