// shell_probe [arguments...]: sleeps PROBE_SLEEP_MS milliseconds, then writes its arguments, one
// per line, and its working folder to the file PROBE_OUT.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QThread::msleep(qEnvironmentVariableIntValue("PROBE_SLEEP_MS"));
    QFile out(qEnvironmentVariable("PROBE_OUT"));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    QByteArray text = "cwd=" + QDir::currentPath().toUtf8() + '\n';
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        text += "arg=" + argument.toUtf8() + '\n';
    out.write(text);
    return 0;
}
