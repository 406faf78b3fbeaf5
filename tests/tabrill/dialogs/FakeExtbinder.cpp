// Stands in for Extbinder beside the dialog tests: copies the task file it is given to the file
// that PROBE_OUT names.
#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2)
        return 2;
    QFile task(arguments[1]);
    QFile out(qEnvironmentVariable("PROBE_OUT"));
    if (!task.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return 1;
    out.write(task.readAll());
    return 0;
}
