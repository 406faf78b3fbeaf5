#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

// The workbooks that SheetHost holds in memory. The xlsx reader fills them; the find engine, the
// automation server and the window read them. Rows and columns are 1-based everywhere.
namespace SheetHost {

inline constexpr int MaxRow = 1048576;
inline constexpr int MaxColumn = 16384;

struct CellAddress
{
    int row = 1;
    int column = 1;
    friend bool operator==(const CellAddress&, const CellAddress&) = default;
};

struct CellRange
{
    CellAddress first; // upper-left
    CellAddress last;  // lower-right
};

// What a client sees of one cell.
struct CellView
{
    QString formula; // "=..." for a formula, otherwise the constant as entered; "" when empty
    QString text;    // the displayed text
    std::optional<QString> comment;
};

// Storage is sparse: memory follows the cells that hold something. Readers may share a sheet
// across threads; a writer needs it to itself.
class Worksheet
{
public:
    explicit Worksheet(QString name);
    ~Worksheet();
    Worksheet(const Worksheet&) = delete;
    Worksheet& operator=(const Worksheet&) = delete;

    const QString& name() const;

    // Stores a cell that holds something. Replaces what the cell held before.
    void setCell(CellAddress at, QString formula, QString text);
    // A cell the file lists with only a style: widens the used range, holds nothing.
    void touchCell(CellAddress at);
    // Empties every given cell in one pass over the sheet, however many they are; the used range
    // stays as it was. Cells that hold nothing are passed over.
    void clearCells(std::vector<CellAddress> cells);
    // The note of a cell; a note widens the used range too.
    void setComment(CellAddress at, QString text);

    // Empty formula and text, no comment, for a cell that holds nothing.
    CellView cell(CellAddress at) const;
    bool hasComment(CellAddress at) const;
    // The smallest rectangle of every listed cell and note; A1 alone for an empty sheet.
    CellRange usedRange() const;
    // Number of cells that hold something (formula or text) or a note.
    std::size_t cellCount() const;
    // Bytes held for the cells, their texts and notes (the name and this object excluded).
    std::size_t memoryUsage() const;

    class Storage;

private:
    QString name_;
    std::unique_ptr<Storage> storage_;
    friend class FindEngine;
};

class Workbook
{
public:
    // name: the file name with its extension ("売上.xlsx"); path: the full path it came from.
    Workbook(QString name, QString path);
    ~Workbook();

    const QString& name() const;
    const QString& path() const;
    // Unique within the process, never reused: lets holders of a reference notice a closed book.
    quint64 id() const;

    Worksheet& addWorksheet(const QString& name);
    int worksheetCount() const;
    Worksheet& worksheet(int index); // 0-based
    const Worksheet& worksheet(int index) const;

private:
    QString name_;
    QString path_;
    quint64 id_;
    std::vector<std::unique_ptr<Worksheet>> worksheets_;
};

// The open workbooks, in the order they were opened, and the place a client activated last.
class Application : public QObject
{
    Q_OBJECT
public:
    explicit Application(QObject* parent = nullptr);
    ~Application() override;

    void openWorkbook(std::unique_ptr<Workbook> workbook);
    void closeWorkbook(int index); // 0-based
    int workbookCount() const;
    Workbook& workbook(int index); // 0-based
    // -1 when no open workbook has that name (compared without regard to case).
    int workbookIndex(const QString& name) const;

    // nullptr once the workbook with that id has been closed.
    Workbook* workbookById(quint64 id);

    // Called by the object model on Worksheet.Activate (cell empty) and Range.Activate.
    void activate(int workbookIndex, int worksheetIndex, std::optional<CellAddress> cell);

    struct Place
    {
        int workbookIndex = -1; // 0-based
        int worksheetIndex = -1;
        std::optional<CellAddress> cell;
    };
    // What was activated last; workbookIndex -1 before any activation or after its book closed.
    Place activePlace() const;

signals:
    void workbooksChanged();
    void activated(int workbookIndex, int worksheetIndex,
                   std::optional<SheetHost::CellAddress> cell);

private:
    std::vector<std::unique_ptr<Workbook>> workbooks_;
    Place active_;
};

} // namespace SheetHost
