// registry_writer <key> <prefix> <count>: writes the integer values <prefix>0 .. <prefix><count-1>
// into HKEY_CURRENT_USER\<key>, one change at a time.
#include "platform/registry/Registry.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4)
        return 2;
    try {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (!registry.OpenKey(args.at(1), true))
            return 3;
        const int count = args.at(3).toInt();
        for (int i = 0; i < count; ++i)
            registry.WriteInteger(args.at(2) + QString::number(i), i);
    } catch (const ERegistryException& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
