// Build tool: writes a program's version block from its description file.
//   tabrill_version_block <description.ini> <output.bin>
#include "platform/Exception.h"
#include "tabrill/app/Tkappinfo.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <description.ini> <output.bin>\n", argv[0]);
        return 2;
    }
    const QString description = QFile::decodeName(argv[1]);
    const QString output = QFile::decodeName(argv[2]);
    try {
        const QByteArray block =
            VersionInfo::BuildVersionBlock(VersionInfo::ReadVersionBlockSpec(description));
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size() ||
            !file.commit()) {
            std::fprintf(stderr, "%s: %s\n", argv[2], file.errorString().toLocal8Bit().constData());
            return 1;
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().toLocal8Bit().constData());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
