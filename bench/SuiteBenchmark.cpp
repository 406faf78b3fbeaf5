// Tabrill and SheetHost measured as a user meets them, for bench/run to set beside the peers:
//   bench_suite --sheethost <SheetHost> --runs N files...
// Prints one JSON object per line: a name, the seconds of every run (or other samples), the
// median and the match or row count. Nothing is timed that the user would not wait for, and
// every SheetHost process it starts lives in a private runtime folder and dies with it.
#include "platform/automation/Automation.h"
#include "platform/dialogs/MessageBox.h"
#include "sheethost/model/FindEngine.h"
#include "sheethost/model/Workbook.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "tabrill/app/UnitMain.h"
#include "tabrill/search/Texcel.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Automation;

namespace {

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void PrintFigure(const char* name, const std::vector<double>& seconds, long long count,
                 const std::string& extra = {})
{
    std::string runs;
    for (const double value : seconds) {
        if (!runs.empty())
            runs += ',';
        char number[32];
        std::snprintf(number, sizeof number, "%.9g", value);
        runs += number;
    }
    std::printf("{\"name\":\"%s\",\"runs\":[%s],\"median\":%.9f,\"count\":%lld%s}\n", name,
                runs.c_str(), Median(seconds), count, extra.c_str());
    std::fflush(stdout);
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

double SecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Resident memory of a process in bytes, from /proc.
long long ResidentBytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// The number of open workbooks as a client sees it; nullopt while nobody serves.
std::optional<int> OpenWorkbookCount()
{
    try {
        if (const std::unique_ptr<TExcel> excel = TExcel::GetActive())
            return excel->Workbooks().Count();
    } catch (const Exception&) {
        // still starting up
    }
    return std::nullopt;
}

class SheetHostProcess
{
public:
    explicit SheetHostProcess(QString program) : program_(std::move(program)) {}
    ~SheetHostProcess() { stop(); }

    // Starts it and waits until a client sees `expected` open workbooks; the seconds it took.
    std::optional<double> start(const QStringList& files, int expected)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QElapsedTimer timer;
        timer.start();
        process_.start(program_, files);
        if (!process_.waitForStarted(10000))
            return std::nullopt;
        const QDeadlineTimer deadline(120000);
        while (!deadline.hasExpired()) {
            if (OpenWorkbookCount() == expected)
                return SecondsSince(timer);
            if (process_.waitForFinished(2))
                return std::nullopt;
        }
        return std::nullopt;
    }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }
    qint64 pid() const { return process_.processId(); }

private:
    QString program_;
    QProcess process_;
};

// Resident memory once it has settled: the lowest of a few readings a moment apart.
long long SettledResidentBytes(qint64 pid)
{
    long long lowest = -1;
    for (int i = 0; i < 5; ++i) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
        const long long now = ResidentBytes(pid);
        if (now > 0 && (lowest < 0 || now < lowest))
            lowest = now;
    }
    return lowest;
}

struct Options
{
    QString sheetHost;
    int runs = 5;
    QStringList files;
    QStringList only; // figures to measure; all when empty
};

bool Wanted(const Options& options, const char* name)
{
    return options.only.isEmpty() || options.only.contains(QString::fromLatin1(name));
}

// ---- The in-process limit: SheetHost's find engine over the same books, no socket ----

struct LimitRow
{
    QString text;
    QString formula;
    QString comment;
};

long long EnumerateMatches(const std::vector<std::unique_ptr<SheetHost::Workbook>>& books,
                           const SheetHost::FindOptions& options, std::vector<LimitRow>& rows)
{
    rows.clear();
    for (const auto& book : books) {
        for (int s = 0; s < book->worksheetCount(); ++s) {
            const SheetHost::Worksheet& sheet = book->worksheet(s);
            const SheetHost::CellRange range = sheet.usedRange();
            std::optional<SheetHost::CellAddress> first;
            std::optional<SheetHost::CellAddress> after;
            // The same walk as the search: Find, then FindNext until the first cell comes back.
            while (const auto cell = SheetHost::FindEngine::find(sheet, range, after, options)) {
                if (first && *cell == *first)
                    break;
                if (!first)
                    first = cell;
                const SheetHost::CellView view = sheet.cell(*cell);
                rows.push_back({view.text, view.formula, view.comment.value_or(QString())});
                after = cell;
            }
        }
    }
    return (long long)rows.size();
}

using Books = std::vector<std::unique_ptr<SheetHost::Workbook>>;

// Reads the books in this process before anything else has grown the heap, so the resident
// growth is what the reader and the model keep. Also the cells and the model's own byte count.
Books ReadBooks(const Options& options, long long& cells, long long& modelBytes)
{
    Books books;
    const long long before = ResidentBytes(QCoreApplication::applicationPid());
    QElapsedTimer reading;
    reading.start();
    for (const QString& file : options.files)
        books.push_back(SheetHost::ReadXlsxWorkbook(file));
    const double seconds = SecondsSince(reading);
    const long long grown = ResidentBytes(QCoreApplication::applicationPid()) - before;
    cells = 0;
    modelBytes = 0;
    for (const auto& book : books) {
        for (int s = 0; s < book->worksheetCount(); ++s) {
            cells += (long long)book->worksheet(s).cellCount();
            modelBytes += (long long)book->worksheet(s).memoryUsage();
        }
    }
    if (Wanted(options, "read"))
        PrintFigure("read_in_process", {seconds}, (long long)books.size());
    if (Wanted(options, "memory"))
        PrintFigure("memory_in_process", {cells ? double(grown) / double(cells) : 0}, cells);
    return books;
}

void MeasureLimit(const Options& options, const Books& books)
{
    const struct
    {
        const char* name;
        SheetHost::LookIn lookIn;
    } modes[] = {{"limit_formulas", SheetHost::LookIn::Formulas},
                 {"limit_values", SheetHost::LookIn::Values},
                 {"limit_comments", SheetHost::LookIn::Comments}};
    std::vector<LimitRow> rows;
    for (const auto& mode : modes) {
        if (!Wanted(options, mode.name))
            continue;
        SheetHost::FindOptions find;
        find.what = QStringLiteral("売上");
        find.lookIn = mode.lookIn;
        std::vector<double> seconds;
        long long matches = 0;
        for (int run = 0; run < options.runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            matches = EnumerateMatches(books, find, rows);
            seconds.push_back(SecondsSince(timer));
        }
        PrintFigure(mode.name, seconds, matches);
    }
}

// ---- Tabrill's search through the real main window and socket ----

void MeasureSearch(const Options& options)
{
    QString message;
    Platform::SetMessageBoxHandler([&](const Platform::MessageRequest& request) {
        message = request.text;
        return Platform::MessageAnswer::Ok;
    });
    TFormMain form;
    form.show();
    QCoreApplication::processEvents();
    form.ActionBookListReloadExecute();
    if (form.CheckListBoxBook->count() != options.files.size()) {
        std::fprintf(stderr, "bench_suite: the book list shows %d books, not %lld: %s\n",
                     form.CheckListBoxBook->count(), (long long)options.files.size(),
                     qPrintable(message));
        std::exit(2);
    }
    form.EditWord->setText(QStringLiteral("売上"));
    const char* names[] = {"search_formulas", "search_values", "search_comments"};
    for (int lookIn = 0; lookIn < 3; ++lookIn) {
        if (!Wanted(options, names[lookIn]))
            continue;
        form.ComboBoxFindLookIn->setCurrentIndex(lookIn);
        std::vector<double> seconds;
        long long rows = 0;
        for (int run = 0; run < options.runs; ++run) {
            message.clear();
            QElapsedTimer timer;
            timer.start();
            form.ActionBookSearchStartExecute();
            seconds.push_back(SecondsSince(timer));
            rows = form.ListViewResult->topLevelItemCount();
            if (!message.isEmpty()) {
                std::fprintf(stderr, "bench_suite: the search said: %s\n", qPrintable(message));
                std::exit(2);
            }
        }
        PrintFigure(names[lookIn], seconds, rows);
    }
    Platform::SetMessageBoxHandler({});
}

// ---- One remote call: the member name resolved, then invoked ----

void MeasureCall()
{
    CLSID clsid;
    CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    IUnknown* unknown = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &unknown))) {
        std::fprintf(stderr, "bench_suite: no running SheetHost for the call figure\n");
        std::exit(2);
    }
    const auto holder = ComPtr<IUnknown>::Adopt(unknown);
    void* raw = nullptr;
    holder->QueryInterface(IID_IDispatch, &raw);
    const auto application = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(raw));

    const auto call = [](IDispatch* object, const QString& member, WORD flags) {
        DISPID id = DISPID_UNKNOWN;
        Variant result;
        if (FAILED(object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &id)))
            return result;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXCEPINFO info;
        UINT argErr = 0;
        object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &none, &result, &info, &argErr);
        return result;
    };
    const Variant workbooks = call(application.get(), QStringLiteral("Workbooks"), DISPATCH_PROPERTYGET);
    if (workbooks.vt() != VT_DISPATCH || !workbooks.pdispVal()) {
        std::fprintf(stderr, "bench_suite: Workbooks did not answer\n");
        std::exit(2);
    }
    const QString count = QStringLiteral("Count");
    constexpr int Calls = 20000;
    std::vector<double> seconds;
    seconds.reserve(Calls);
    long long answer = 0;
    for (int i = 0; i < Calls; ++i) {
        QElapsedTimer timer;
        timer.start();
        const Variant result = call(workbooks.pdispVal(), count, DISPATCH_PROPERTYGET);
        seconds.push_back(SecondsSince(timer));
        answer = result.vt() == VT_I4 ? result.lVal() : -1;
    }
    const std::string extra = ",\"p99\":" + Number(Percentile(seconds, 0.99)) +
                              ",\"calls\":" + std::to_string(Calls);
    PrintFigure("call", {Median(seconds)}, answer, extra);
}

// ---- What a round trip costs with nothing in it, and attaching ----

// Two processes passing a small message back and forth over a Unix socket, blocking reads: the
// floor under any synchronous cross-process call on this machine.
void MeasureWireFloor()
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pair[0]);
        char buffer[64];
        while (::read(pair[1], buffer, sizeof buffer) == ssize_t(sizeof buffer)) {
            if (::write(pair[1], buffer, sizeof buffer) != ssize_t(sizeof buffer))
                break;
        }
        ::_exit(0);
    }
    ::close(pair[1]);
    constexpr int Trips = 20000;
    std::vector<double> seconds;
    seconds.reserve(Trips);
    char buffer[64] = {};
    for (int i = 0; i < Trips; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (::write(pair[0], buffer, sizeof buffer) != ssize_t(sizeof buffer) ||
            ::read(pair[0], buffer, sizeof buffer) != ssize_t(sizeof buffer))
            break;
        seconds.push_back(SecondsSince(timer));
    }
    ::close(pair[0]);
    ::waitpid(child, nullptr, 0);
    PrintFigure("wire_floor", {Median(seconds)}, (long long)seconds.size(),
                ",\"p99\":" + Number(Percentile(seconds, 0.99)));
}

// TExcel::GetActive and one call on what it returns, as every book of the search begins.
void MeasureAttach()
{
    constexpr int Attaches = 200;
    std::vector<double> seconds;
    long long count = 0;
    for (int i = 0; i < Attaches; ++i) {
        QElapsedTimer timer;
        timer.start();
        count = OpenWorkbookCount().value_or(-1);
        seconds.push_back(SecondsSince(timer));
    }
    PrintFigure("attach", {Median(seconds)}, count,
                ",\"p99\":" + Number(Percentile(seconds, 0.99)));
}

// ---- Appending rows to the result list ----

void MeasureResultList(int runs)
{
    TFormMain form;
    form.show();
    QCoreApplication::processEvents();
    constexpr int Rows = 100000;
    constexpr int Block = 10000;
    constexpr int Blocks = Rows / Block;
    // Per block: the cost per row of appending, and of the redraw after it; each the median over
    // the runs, every run on an emptied list.
    std::vector<std::vector<double>> perRow(Blocks);
    std::vector<std::vector<double>> appendPerRow(Blocks);
    std::vector<std::vector<double>> redraws(Blocks);
    std::vector<double> totals;
    int rows = 0;
    for (int run = 0; run < runs; ++run) {
        form.ListViewResult->clear();
        QCoreApplication::processEvents();
        QElapsedTimer total;
        total.start();
        for (int block = 0; block < Blocks; ++block) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < Block; ++i) {
                const int n = block * Block + i + 1;
                QTreeWidgetItem* row = form.AppendResultRow(
                    QStringLiteral("bench%1.xlsx").arg(n % 20 + 1, 2, 10, QLatin1Char('0')));
                form.AppendResultSubItem(row, QString::number(n % 5 + 1));
                form.AppendResultSubItem(row, QStringLiteral("シート%1").arg(n % 5 + 1));
                form.AppendResultSubItem(row, QStringLiteral("C"));
                form.AppendResultSubItem(row, QString::number(n));
                form.AppendResultSubItem(row, QStringLiteral("今期売上"));
                form.AppendResultSubItem(row, QStringLiteral("=\"今期売上\"&A1"));
                form.AppendResultSubItem(row, QString());
            }
            appendPerRow[block].push_back(SecondsSince(timer) / Block);
            // The window redraws between blocks, as it does between books during a search.
            QElapsedTimer redraw;
            redraw.start();
            QCoreApplication::processEvents();
            redraws[block].push_back(SecondsSince(redraw));
            perRow[block].push_back(SecondsSince(timer) / Block);
        }
        totals.push_back(SecondsSince(total));
        rows = form.ListViewResult->topLevelItemCount();
    }
    std::vector<double> medians;
    for (const auto& block : perRow)
        medians.push_back(Median(block));
    const std::string extra =
        ",\"first_block_per_row\":" + Number(medians.front()) + ",\"last_block_per_row\":" +
        Number(medians.back()) + ",\"total\":" + Number(Median(totals)) +
        ",\"append_first\":" + Number(Median(appendPerRow.front())) + ",\"append_last\":" +
        Number(Median(appendPerRow.back())) + ",\"redraw_first\":" +
        Number(Median(redraws.front())) + ",\"redraw_last\":" + Number(Median(redraws.back()));
    PrintFigure("result_list", medians, rows, extra);
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_suite --sheethost PROGRAM [--runs N] [--only a,b] FILE...\n");
    return 64;
}

} // namespace

int main(int argc, char** argv)
{
    // A private runtime folder: never meet, or replace, a SheetHost the user runs.
    QTemporaryDir root;
    for (const char* variable : {"XDG_RUNTIME_DIR", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const QString folder = root.path() + u'/' + QString::fromLatin1(variable);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        qputenv(variable, QFile::encodeName(folder));
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));

    Options options;
    const QStringList arguments = application.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--sheethost") && i + 1 < arguments.size())
            options.sheetHost = arguments[++i];
        else if (argument == QStringLiteral("--runs") && i + 1 < arguments.size())
            options.runs = std::max(1, arguments[++i].toInt());
        else if (argument == QStringLiteral("--only") && i + 1 < arguments.size())
            options.only = arguments[++i].split(u',', Qt::SkipEmptyParts);
        else if (argument.startsWith(QStringLiteral("--")))
            return Usage();
        else
            options.files << QFileInfo(argument).absoluteFilePath();
    }
    if (options.sheetHost.isEmpty() || options.files.isEmpty())
        return Usage();
    const int books = int(options.files.size());

    long long cells = 0;
    long long modelBytes = 0;
    const Books loaded = ReadBooks(options, cells, modelBytes);

    if (Wanted(options, "result_list"))
        MeasureResultList(std::min(options.runs, 3));

    long long emptyResident = -1;
    if (Wanted(options, "memory")) {
        SheetHostProcess empty(options.sheetHost);
        if (!empty.start({}, 0)) {
            std::fprintf(stderr, "bench_suite: SheetHost did not start\n");
            return 2;
        }
        emptyResident = SettledResidentBytes(empty.pid());
    }
    if (Wanted(options, "open")) {
        // Start-up alone: no file, until a client sees Count = 0.
        std::vector<double> seconds;
        for (int run = 0; run < options.runs; ++run) {
            SheetHostProcess empty(options.sheetHost);
            const std::optional<double> started = empty.start({}, 0);
            if (!started) {
                std::fprintf(stderr, "bench_suite: SheetHost did not start\n");
                return 2;
            }
            seconds.push_back(*started);
        }
        PrintFigure("open_empty", seconds, 0);
    }

    // Every open run starts a fresh process; the last one stays for the other figures.
    std::unique_ptr<SheetHostProcess> host;
    std::vector<double> openSeconds;
    const int openRuns = Wanted(options, "open") ? options.runs : 1;
    for (int run = 0; run < openRuns; ++run) {
        host = std::make_unique<SheetHostProcess>(options.sheetHost);
        const std::optional<double> seconds = host->start(options.files, books);
        if (!seconds) {
            std::fprintf(stderr, "bench_suite: SheetHost did not open the %d files\n", books);
            return 2;
        }
        openSeconds.push_back(*seconds);
        if (run + 1 < openRuns)
            host->stop();
    }
    if (Wanted(options, "open"))
        PrintFigure("open", openSeconds, books);

    if (Wanted(options, "memory")) {
        const long long opened = SettledResidentBytes(host->pid());
        const double perCell = cells ? double(opened - emptyResident) / double(cells) : 0;
        PrintFigure("memory", {perCell}, cells,
                    ",\"empty_rss\":" + std::to_string(emptyResident) +
                        ",\"opened_rss\":" + std::to_string(opened) +
                        ",\"model_bytes\":" + std::to_string(modelBytes));
    }

    MeasureSearch(options);
    if (Wanted(options, "call")) {
        MeasureCall();
        MeasureAttach();
        MeasureWireFloor();
    }
    host->stop();
    MeasureLimit(options, loaded);
    return 0;
}
