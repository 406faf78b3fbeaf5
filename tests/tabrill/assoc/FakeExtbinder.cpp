// Stands in for Extbinder beside the launcher's tests: sleeps PROBE_SLEEP_MS milliseconds, then
// writes to PROBE_OUT the number of its arguments, each argument on a line, a line "---" and the
// bytes of the file its first argument names.
#include <QCoreApplication>
#include <QFile>
#include <QThread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QThread::msleep(qEnvironmentVariableIntValue("PROBE_SLEEP_MS"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QByteArray report = QByteArray::number(arguments.size()) + '\n';
    for (const QString& argument : arguments)
        report += argument.toUtf8() + '\n';
    report += "---\n";
    if (!arguments.isEmpty()) {
        QFile task(arguments.first());
        if (task.open(QIODevice::ReadOnly))
            report += task.readAll();
    }
    QFile out(qEnvironmentVariable("PROBE_OUT"));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(report);
    return 0;
}
