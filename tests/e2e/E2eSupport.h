#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// What end-to-end tests share: workbooks written by an independent writer (libxlsxwriter) and
// a real SheetHost process on the test's private runtime folder.
namespace E2e {

// A cell by address ("B2"): a text constant, or a formula with the text it last computed.
struct Cell
{
    QString address;
    QString value;
    QString formula; // empty for a constant
    std::optional<QString> comment;
};
struct Sheet
{
    QString name;
    std::vector<Cell> cells;
};

// Writes the workbook; false when the writer fails.
bool WriteWorkbook(const QString& path, const std::vector<Sheet>& sheets);

// A folder under the test's private root, created fresh.
QString NewFolder(const QString& name);

// Makes the process started next end when this one ends, however this one ends.
void EndWithThisProcess(QProcess& process);

// One SheetHost process. Never outlives its owner: the destructor ends it.
class SheetHostProcess
{
public:
    SheetHostProcess() = default;
    ~SheetHostProcess();
    SheetHostProcess(const SheetHostProcess&) = delete;
    SheetHostProcess& operator=(const SheetHostProcess&) = delete;

    // Starts it with the files and waits (at most timeoutMs) until it serves automation with
    // every file open. False, with the reason in error, otherwise; the process is then ended.
    bool Start(const QStringList& files, QString* error, const QStringList& extraEnvironment = {},
               int timeoutMs = 30000);
    // Asks it to end and waits; kills it when it does not end in time.
    void Stop();
    // Stop(), then how it ended: empty when it ended in time with code 0 and no sanitizer
    // report (or was not running), else what went wrong. One that ended by itself already is
    // judged by how it ended.
    QString StopCleanly();
    // Ends it at once, as a crash would.
    void Kill();
    bool IsRunning() const;
    qint64 ProcessId() const;

private:
    // Passes on what it wrote to its error output since the last call, and returns it.
    QByteArray ForwardErrors();

    QProcess process_;
    // Its error output goes to a file rather than a pipe, which nobody reads while a test runs.
    QString errorsPath_;
    qint64 errorsForwarded_ = 0;
    bool endedInTime_ = true;
};

} // namespace E2e
