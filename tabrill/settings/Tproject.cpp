#include "tabrill/settings/Tproject.h"

#include "platform/ini/MemIniFile.h"

#include <utility>

namespace {
const QString SectionSystem = QStringLiteral("SYSTEM");
const QString SectionSearch = QStringLiteral("SEARCH");
const QString KeyVersion = QStringLiteral("Version");
const QString KeyWord = QStringLiteral("Word");
const QString KeySearchOrder = QStringLiteral("SearchOrder");
const QString KeyFindLookIn = QStringLiteral("FindLookIn");
const QString KeyMatchCase = QStringLiteral("MatchCase");
const QString KeyMatchByte = QStringLiteral("MatchByte");
const QString KeyLookAt = QStringLiteral("LookAt");
} // namespace

void TProject::SetSearchOrder(unsigned int value) noexcept
{
    searchOrder_ = value < 2 ? static_cast<int>(value) : 0;
}

void TProject::SetFindLookIn(unsigned int value) noexcept
{
    findLookIn_ = value < 3 ? static_cast<int>(value) : 0;
}

void TProject::LoadFromFile(QString fileName)
{
    const TMemIniFile ini(fileName);
    Word = ini.ReadString(SectionSearch, KeyWord, QString());
    SetSearchOrder(static_cast<unsigned int>(ini.ReadInteger(SectionSearch, KeySearchOrder, 0)));
    SetFindLookIn(static_cast<unsigned int>(ini.ReadInteger(SectionSearch, KeyFindLookIn, 0)));
    MatchCase = ini.ReadBool(SectionSearch, KeyMatchCase, false);
    MatchByte = ini.ReadBool(SectionSearch, KeyMatchByte, true);
    LookAt = ini.ReadBool(SectionSearch, KeyLookAt, false);
    FileName = std::move(fileName);
}

void TProject::SaveToFile(QString fileName)
{
    TMemIniFile ini(fileName);
    ini.WriteInteger(SectionSystem, KeyVersion, 0);
    ini.WriteString(SectionSearch, KeyWord, Word);
    ini.WriteInteger(SectionSearch, KeySearchOrder, searchOrder_);
    ini.WriteInteger(SectionSearch, KeyFindLookIn, findLookIn_);
    ini.WriteBool(SectionSearch, KeyMatchCase, MatchCase);
    ini.WriteBool(SectionSearch, KeyMatchByte, MatchByte);
    ini.WriteBool(SectionSearch, KeyLookAt, LookAt);
    ini.UpdateFile();
    FileName = std::move(fileName);
}
