#include "tabrill/app/Tspecialfolder.h"

#include "platform/Exception.h"
#include "platform/system/SpecialFolders.h"

#include <array>

int SpecialFolderCsidl(TSpecialFolderKind kind)
{
    static constexpr std::array<int, 30> csidl{29, 26, 10, 30, 25, 31, 23, 22, 24, 3,
                                               33, 0,  16, 17, 6,  20, 34, 1,  32, 19,
                                               18, 5,  4,  27, 2,  8,  9,  11, 7,  21};
    const int index = static_cast<int>(kind);
    return index >= 0 && index < int(csidl.size()) ? csidl[std::size_t(index)] : -1;
}

QString GetSpecialFolderPath(TSpecialFolderKind kind)
{
    const int csidl = SpecialFolderCsidl(kind);
    if (csidl < 0)
        throw Exception(QStringLiteral("指定されたコードが見つかりません。"));
    QString path = Platform::GetSpecialFolderLocation(csidl);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}
