#include "tests/e2e/E2eSupport.h"

#include "tabrill/search/Texcel.h"
#include "tests/support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <xlsxwriter.h>

namespace E2e {

bool WriteWorkbook(const QString& path, const std::vector<Sheet>& sheets)
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new(file.constData());
    if (!workbook)
        return false;
    bool ok = true;
    for (const Sheet& sheet : sheets) {
        lxw_worksheet* worksheet =
            workbook_add_worksheet(workbook, sheet.name.toUtf8().constData());
        ok = ok && worksheet;
        if (!worksheet)
            break;
        for (const Cell& cell : sheet.cells) {
            const QByteArray address = cell.address.toUtf8();
            const lxw_row_t row = lxw_name_to_row(address.constData());
            const lxw_col_t column = lxw_name_to_col(address.constData());
            const QByteArray value = cell.value.toUtf8();
            if (cell.formula.isEmpty()) {
                ok = ok && worksheet_write_string(worksheet, row, column, value.constData(),
                                                  nullptr) == LXW_NO_ERROR;
            } else {
                ok = ok && worksheet_write_formula_str(worksheet, row, column,
                                                       cell.formula.toUtf8().constData(), nullptr,
                                                       value.constData()) == LXW_NO_ERROR;
            }
            if (cell.comment)
                ok = ok &&
                     worksheet_write_comment(worksheet, row, column,
                                             cell.comment->toUtf8().constData()) == LXW_NO_ERROR;
        }
    }
    return workbook_close(workbook) == LXW_NO_ERROR && ok;
}

QString NewFolder(const QString& name)
{
    const QString path = TestEnvironment::Root() + QStringLiteral("/") + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void EndWithThisProcess(QProcess& process)
{
    // Even a test that crashes or is killed by its time limit leaves nothing running.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

SheetHostProcess::~SheetHostProcess()
{
    Stop();
}

bool SheetHostProcess::Start(const QStringList& files, QString* error,
                             const QStringList& extraEnvironment, int timeoutMs)
{
    Stop();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : extraEnvironment) {
        const qsizetype equals = entry.indexOf(u'=');
        environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    process_.setProcessEnvironment(environment);
    static int started = 0;
    errorsPath_ = TestEnvironment::Root() + QStringLiteral("/SheetHost-%1.err").arg(++started);
    errorsForwarded_ = 0;
    endedInTime_ = true;
    process_.setStandardErrorFile(errorsPath_);
    EndWithThisProcess(process_);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(TestEnvironment::Program(QStringLiteral("SheetHost")), files);
    if (!process_.waitForStarted(10000)) {
        if (error)
            *error = QStringLiteral("SheetHost did not start: ") + process_.errorString();
        return false;
    }
    // Ready when it serves automation with every file open.
    QDeadlineTimer deadline(timeoutMs);
    QString last;
    while (!deadline.hasExpired()) {
        try {
            if (const std::unique_ptr<TExcel> excel = TExcel::GetActive()) {
                if (excel->Workbooks().Count() == files.size())
                    return true;
            }
        } catch (const Exception& failure) {
            last = failure.Message(); // it may be opening the files still
        }
        if (process_.waitForFinished(25)) {
            if (error)
                *error = QStringLiteral("SheetHost ended with %1").arg(process_.exitCode());
            return false;
        }
    }
    if (error)
        *error = QStringLiteral("SheetHost was not ready in time. ") + last;
    Kill();
    return false;
}

void SheetHostProcess::Stop()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        endedInTime_ = process_.waitForFinished(20000);
        if (!endedInTime_)
            Kill();
    }
    ForwardErrors();
}

QString SheetHostProcess::StopCleanly()
{
    if (errorsPath_.isEmpty())
        return {};
    Stop();
    QFile file(errorsPath_);
    const QByteArray errors = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (!endedInTime_)
        return QStringLiteral("it did not end when asked");
    if (process_.exitStatus() != QProcess::NormalExit || process_.exitCode() != 0)
        return QStringLiteral("it ended with status %1, code %2")
            .arg(int(process_.exitStatus()))
            .arg(process_.exitCode());
    for (const char* report :
         {"ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"}) {
        if (errors.contains(report))
            return QStringLiteral("it reported: ") + QString::fromLatin1(report);
    }
    return {};
}

void SheetHostProcess::Kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
    ForwardErrors();
}

QByteArray SheetHostProcess::ForwardErrors()
{
    QFile file(errorsPath_);
    if (errorsPath_.isEmpty() || !file.open(QIODevice::ReadOnly) || !file.seek(errorsForwarded_))
        return {};
    const QByteArray errors = file.readAll();
    errorsForwarded_ += errors.size();
    std::fwrite(errors.constData(), 1, std::size_t(errors.size()), stderr);
    return errors;
}

bool SheetHostProcess::IsRunning() const
{
    return process_.state() != QProcess::NotRunning;
}

qint64 SheetHostProcess::ProcessId() const
{
    return process_.processId();
}

} // namespace E2e
