#include "extbinder/Tlinkextention.h"
#include "extbinder/Tlinkextentionwinvista.h"
#include "extbinder/Tlinkextentionwinxp.h"
#include "platform/Exception.h"
#include "platform/registry/Registry.h"
#include "platform/shell/ShellNotify.h"
#include "platform/shell/WindowsVersion.h"
#include "tests/platform/registry/PrivateRegistry.h"

#include <QFile>
#include <gtest/gtest.h>
#include <vector>

using namespace Qt::StringLiterals;

static void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace {

const QString FileExts = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"_s;
const QString History =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU"_s;
const QString Command = u"\"/opt/Tabrill/Tabrill\" \"%1\""_s;

bool KeyExists(HKEY root, const QString& key)
{
    TRegistry registry;
    registry.SetRootKey(root);
    return registry.KeyExists(key);
}

// The default value of a key, or "<missing>" when the key does not exist.
QString Default(const QString& key, HKEY root = HKEY_CLASSES_ROOT)
{
    TRegistry registry;
    registry.SetRootKey(root);
    if (!registry.OpenKeyReadOnly(key))
        return u"<missing>"_s;
    return registry.ReadString(QString());
}

void Put(const QString& key, const QString& name, const QString& value,
         HKEY root = HKEY_CLASSES_ROOT)
{
    TRegistry registry;
    registry.SetRootKey(root);
    ASSERT_TRUE(registry.OpenKey(key, true));
    registry.WriteString(name, value);
}

QByteArray HiveBytes(HKEY root)
{
    QFile file(Platform::RegistryHiveFile(root));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class BackendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Platform::SetShellChangeObserver(
            [this](const Platform::ShellChange& change) { notifications.push_back(change); });
    }
    void TearDown() override
    {
        Platform::SetShellChangeObserver({});
        Platform::SetWindowsVersion({});
    }

    void ExpectOneAssociationNotification() const
    {
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_EQ(notifications[0].eventId, 0x08000000);
        EXPECT_EQ(notifications[0].flags, 0u);
        EXPECT_EQ(notifications[0].item1, nullptr);
        EXPECT_EQ(notifications[0].item2, nullptr);
    }

    PrivateRegistry privateRegistry;
    std::vector<Platform::ShellChange> notifications;
};

// Every case runs on both back-ends: the per-user cleanup must not change the classic part.
class BothBackendsTest : public BackendTest, public ::testing::WithParamInterface<bool>
{
protected:
    std::unique_ptr<TLinkExtentionBase> Backend() const
    {
        if (GetParam())
            return std::make_unique<TLinkExtentionWinVista>();
        return std::make_unique<TLinkExtentionWinXp>();
    }
};

TEST_P(BothBackendsTest, LinkOnAnEmptyRegistryWritesTheFourKeysAndNotifiesOnce)
{
    Backend()->Link(u".TBR"_s, Command, u"C:\\Path\\Tabrill.exe"_s, 0, u"Tabrill ファイル"_s);
    EXPECT_EQ(Default(u".TBR"_s), u"TBRFile"_s);
    EXPECT_EQ(Default(u"TBRFile"_s), u"Tabrill ファイル"_s);
    EXPECT_EQ(Default(u"TBRFile\\Shell\\open\\command"_s), Command);
    EXPECT_EQ(Default(u"TBRFile\\DefaultIcon"_s), u"C:\\Path\\Tabrill.exe,0"_s);
    ExpectOneAssociationNotification();

    TRegistry reader;
    reader.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reader.OpenKeyReadOnly(u"TBRFile\\DefaultIcon"_s));
    EXPECT_EQ(reader.GetDataType(QString()), TRegDataType::rdString);
}

TEST_P(BothBackendsTest, LinkWithoutADescriptionNamesTheFileTypeAfterTheStem)
{
    Backend()->Link(u".tbr"_s, Command, u"/opt/Tabrill/Tabrill"_s, 3, QString());
    EXPECT_EQ(Default(u".tbr"_s), u"tbrFile"_s);
    EXPECT_EQ(Default(u"tbrFile"_s), u"tbrファイル"_s);
    EXPECT_EQ(Default(u"tbrFile\\DefaultIcon"_s), u"/opt/Tabrill/Tabrill,3"_s);
}

TEST_P(BothBackendsTest, LinkWithoutAnIconFileWritesNoIconAndSendsNoNotification)
{
    Backend()->Link(u".TBR"_s, Command, QString(), 0, u"Tabrill ファイル"_s);
    EXPECT_EQ(Default(u"TBRFile\\Shell\\open\\command"_s), Command);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"TBRFile\\DefaultIcon"_s));
    EXPECT_TRUE(notifications.empty());
}

TEST_P(BothBackendsTest, LinkKeepsWhatItDoesNotName)
{
    Put(u".TBR"_s, u"Content Type"_s, u"text/plain"_s);
    Put(u".TBR"_s, QString(), u"OldFile"_s);
    Put(u"TBRFile\\Shell\\print\\command"_s, QString(), u"lp %1"_s);
    Backend()->Link(u".TBR"_s, Command, u"x.ico"_s, 0, u"d"_s);

    TRegistry reader;
    reader.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reader.OpenKeyReadOnly(u".TBR"_s));
    EXPECT_EQ(reader.ReadString(u"Content Type"_s), u"text/plain"_s);
    EXPECT_EQ(reader.ReadString(QString()), u"TBRFile"_s);
    EXPECT_EQ(Default(u"TBRFile\\Shell\\print\\command"_s), u"lp %1"_s);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"OldFile"_s) == false);
}

TEST_P(BothBackendsTest, LinkRejectsAWrongExtensionBeforeWritingAnything)
{
    for (const QString& ext : {u"."_s, QString(), u"TBR"_s, u".TBR\\Shell"_s}) {
        try {
            Backend()->Link(ext, Command, u"x.ico"_s, 0, u"d"_s);
            ADD_FAILURE() << "accepted " << ext.toStdString();
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), u"拡張子に間違いがあります。"_s) << ext.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
    EXPECT_TRUE(notifications.empty());
}

TEST_P(BothBackendsTest, LinkReportsAKeyThatCannotBeCreated)
{
    QFile hive(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT));
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
    hive.write("not a hive");
    hive.close();
    try {
        Backend()->Link(u".TBR"_s, Command, u"x.ico"_s, 0, u"d"_s);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), u"レジストリを変更できませんでした。"_s);
    }
    EXPECT_EQ(HiveBytes(HKEY_CLASSES_ROOT), "not a hive");
    EXPECT_TRUE(notifications.empty());
}

TEST_P(BothBackendsTest, UnlinkDeletesTheExtensionAndWhateverProgIdItNames)
{
    Put(u".TBR"_s, QString(), u"OtherFile"_s);
    Put(u".TBR\\ShellNew"_s, u"NullFile"_s, QString());
    Put(u"OtherFile\\Shell\\open\\command"_s, QString(), u"other %1"_s);
    Put(u"OtherFileX"_s, QString(), u"keep"_s);
    Put(u"TBRFile"_s, QString(), u"keep"_s);
    Backend()->Unlink(u".TBR"_s);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u".TBR"_s));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"OtherFile"_s));
    EXPECT_EQ(Default(u"OtherFileX"_s), u"keep"_s);
    EXPECT_EQ(Default(u"TBRFile"_s), u"keep"_s);
    ExpectOneAssociationNotification();
}

TEST_P(BothBackendsTest, UnlinkOfAnUnregisteredExtensionStillNotifies)
{
    Put(u".txt"_s, QString(), u"txtfile"_s);
    const QByteArray before = HiveBytes(HKEY_CLASSES_ROOT);
    Backend()->Unlink(u".TBR"_s);
    EXPECT_EQ(HiveBytes(HKEY_CLASSES_ROOT), before);
    ExpectOneAssociationNotification();
}

TEST_P(BothBackendsTest, UnlinkOfTheEmptyExtensionIsAnErrorAndDoesNothing)
{
    Put(u".TBR"_s, QString(), u"TBRFile"_s);
    const QByteArray before = HiveBytes(HKEY_CLASSES_ROOT);
    try {
        Backend()->Unlink(QString());
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), u"拡張子に間違いがあります。"_s);
    }
    EXPECT_EQ(HiveBytes(HKEY_CLASSES_ROOT), before);
    EXPECT_TRUE(notifications.empty());
}

TEST_P(BothBackendsTest, ReadingAnUnregisteredExtensionGivesEmptyResultsAndWritesNothing)
{
    const auto backend = Backend();
    for (const QString& ext : {u".TBR"_s, QString()}) {
        EXPECT_EQ(backend->GetProgId(ext), QString());
        EXPECT_EQ(backend->GetCommand(ext), QString());
        EXPECT_EQ(backend->GetFileType(ext), QString());
        EXPECT_EQ(backend->GetProgramFile(ext), QString());
        const TLinkExtention::TIconInfo icon = backend->GetIconInfo(ext);
        EXPECT_EQ(icon.IconFile, QString());
        EXPECT_EQ(icon.IconIndex, 0);
    }
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CURRENT_USER)));
}

TEST_P(BothBackendsTest, ReadsGiveBackWhatLinkWrote)
{
    const auto backend = Backend();
    backend->Link(u".TBR"_s, Command, u"/opt/Tabrill/Tabrill"_s, 2, u"Tabrill ファイル"_s);
    EXPECT_EQ(backend->GetProgId(u".TBR"_s), u"TBRFile"_s);
    EXPECT_EQ(backend->GetCommand(u".tbr"_s), Command);
    EXPECT_EQ(backend->GetFileType(u".TBR"_s), u"Tabrill ファイル"_s);
    EXPECT_EQ(backend->GetProgramFile(u".TBR"_s), u"/opt/Tabrill/Tabrill"_s);
    const TLinkExtention::TIconInfo icon = backend->GetIconInfo(u".TBR"_s);
    EXPECT_EQ(icon.IconFile, u"/opt/Tabrill/Tabrill"_s);
    EXPECT_EQ(icon.IconIndex, 2);
}

TEST_P(BothBackendsTest, AValueOfAnotherTypeIsTheRegistryLayersError)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u".TBR"_s, true));
    registry.WriteInteger(QString(), 1);
    EXPECT_THROW(Backend()->GetCommand(u".TBR"_s), ERegistryException);
    EXPECT_THROW(Backend()->GetIconInfo(u".TBR"_s), ERegistryException);
}

INSTANTIATE_TEST_SUITE_P(Backends, BothBackendsTest, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "WinVista" : "WinXp"; });

struct IconValueCase
{
    const char* name;
    QString value;
    bool expandable;
    QString file;
    int index;
};

void PrintTo(const IconValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class DefaultIconTest : public BackendTest, public ::testing::WithParamInterface<IconValueCase>
{
};

TEST_P(DefaultIconTest, SplitsAtTheFirstCommaWithoutTrimmingOrExpanding)
{
    const IconValueCase& c = GetParam();
    Put(u".TBR"_s, QString(), u"TBRFile"_s);
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u"TBRFile\\DefaultIcon"_s, true));
    if (c.expandable)
        registry.WriteExpandString(QString(), c.value);
    else
        registry.WriteString(QString(), c.value);

    const TLinkExtention::TIconInfo icon = TLinkExtentionWinXp().GetIconInfo(u".TBR"_s);
    EXPECT_EQ(icon.IconFile, c.file);
    EXPECT_EQ(icon.IconIndex, c.index);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DefaultIconTest,
    ::testing::Values(
        IconValueCase{"NoComma", u"C:\\x.ico"_s, false, u"C:\\x.ico"_s, 0},
        IconValueCase{"FileAndIndex", u"C:\\Path\\Tabrill.exe,12"_s, false,
                      u"C:\\Path\\Tabrill.exe"_s, 12},
        IconValueCase{"ExpandableNegative", u"%SystemRoot%\\x.dll,-3"_s, true,
                      u"%SystemRoot%\\x.dll"_s, -3},
        IconValueCase{"TextAfterTheFirstCommaIsNoNumber", u"a,b,7"_s, false, u"a"_s, 0},
        IconValueCase{"QuotesAndBlanksStay", u"\" a b \", 4"_s, false, u"\" a b \""_s, 4},
        IconValueCase{"NothingBeforeTheComma", u",5"_s, false, QString(), 5},
        IconValueCase{"NothingAfterTheComma", u"x,"_s, false, u"x"_s, 0},
        IconValueCase{"IndexBeyond32Bits", u"x,99999999999"_s, false, u"x"_s, 0},
        IconValueCase{"Empty", QString(), false, QString(), 0}),
    [](const auto& param) { return std::string(param.param.name); });

class ProgramFileTest : public BackendTest,
                        public ::testing::WithParamInterface<std::pair<QString, QString>>
{
};

TEST_P(ProgramFileTest, IsTheStartOfTheOpenCommand)
{
    Put(u".TBR"_s, QString(), u"TBRFile"_s);
    Put(u"TBRFile\\Shell\\open\\command"_s, QString(), GetParam().first);
    EXPECT_EQ(TLinkExtentionWinXp().GetProgramFile(u".TBR"_s), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProgramFileTest,
    ::testing::Values(std::pair{u"\"C:\\Program Files\\Tabrill\\Tabrill.exe\" \"%1\""_s,
                                u"C:\\Program Files\\Tabrill\\Tabrill.exe"_s},
                      std::pair{u"notepad.exe %1"_s, u"notepad.exe"_s},
                      std::pair{u"notepad.exe"_s, u"notepad.exe"_s},
                      std::pair{u"\"/opt/my tools/x\""_s, u"/opt/my tools/x"_s},
                      std::pair{u"\"unterminated path"_s, u"unterminated path"_s}));

// The per-user Explorer keys of .TBR and of another extension, with subkeys and values.
void PutUserOverrides()
{
    Put(FileExts + u"\\.TBR\\UserChoice"_s, u"ProgId"_s, u"Other.TBR"_s, HKEY_CURRENT_USER);
    Put(FileExts + u"\\.TBR\\OpenWithList"_s, u"a"_s, u"x.exe"_s, HKEY_CURRENT_USER);
    Put(FileExts + u"\\.TBRX"_s, u"x"_s, u"keep"_s, HKEY_CURRENT_USER);
    Put(FileExts + u"\\.txt\\UserChoice"_s, u"ProgId"_s, u"txtfile"_s, HKEY_CURRENT_USER);
    Put(History + u"\\TBR"_s, u"0"_s, u"item"_s, HKEY_CURRENT_USER);
    Put(History + u"\\txt"_s, u"0"_s, u"item"_s, HKEY_CURRENT_USER);
    Put(History + u"\\*"_s, u"0"_s, u"item"_s, HKEY_CURRENT_USER);
}

void ExpectOtherUserKeysKept()
{
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.TBRX"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.txt\\UserChoice"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, History + u"\\txt"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, History + u"\\*"_s));
}

TEST_F(BackendTest, VistaLinkRemovesTheUsersOverridesOfTheExtensionOnly)
{
    PutUserOverrides();
    TLinkExtentionWinVista().Link(u".TBR"_s, Command, u"x.ico"_s, 0, u"d"_s);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.TBR"_s));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, History + u"\\TBR"_s));
    ExpectOtherUserKeysKept();
    EXPECT_EQ(Default(u".TBR"_s), u"TBRFile"_s);
    ExpectOneAssociationNotification();
}

TEST_F(BackendTest, VistaUnlinkRemovesTheUsersOverridesToo)
{
    PutUserOverrides();
    Put(u".TBR"_s, QString(), u"TBRFile"_s);
    TLinkExtentionWinVista().Unlink(u".TBR"_s);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.TBR"_s));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, History + u"\\TBR"_s));
    ExpectOtherUserKeysKept();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u".TBR"_s));
}

TEST_F(BackendTest, XpLeavesTheUsersOverridesAlone)
{
    PutUserOverrides();
    TLinkExtentionWinXp().Link(u".TBR"_s, Command, u"x.ico"_s, 0, u"d"_s);
    TLinkExtentionWinXp().Unlink(u".TBR"_s);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.TBR\\UserChoice"_s));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, History + u"\\TBR"_s));
}

TEST_F(BackendTest, VistaCleanupComesBeforeTheExtensionIsRejected)
{
    Put(FileExts + u"\\TBR"_s, u"x"_s, u"y"_s, HKEY_CURRENT_USER);
    Put(History + u"\\TBR"_s, u"0"_s, u"item"_s, HKEY_CURRENT_USER);
    EXPECT_THROW(TLinkExtentionWinVista().Link(u"TBR"_s, Command, u"x.ico"_s, 0, u"d"_s),
                 Exception);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\TBR"_s));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, History + u"\\TBR"_s));
}

TEST_F(BackendTest, VistaNeverDeletesTheParentKeys)
{
    PutUserOverrides();
    for (const QString& ext : {u"."_s, QString(), u".\\"_s, u"\\"_s}) {
        EXPECT_THROW(TLinkExtentionWinVista().Link(ext, Command, u"x.ico"_s, 0, u"d"_s), Exception);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, FileExts + u"\\.txt"_s)) << ext.toStdString();
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, History + u"\\txt"_s)) << ext.toStdString();
    }
}

struct VersionCase
{
    int major;
    int minor;
    bool vista;
};

void PrintTo(const VersionCase& c, std::ostream* os)
{
    *os << c.major << '.' << c.minor;
}

class FactoryTest : public BackendTest, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(FactoryTest, PicksTheBackendByWindowsVersion)
{
    Platform::SetWindowsVersion({GetParam().major, GetParam().minor});
    const std::unique_ptr<TLinkExtentionBase> backend = CreateLinkExtention();
    EXPECT_EQ(dynamic_cast<TLinkExtentionWinVista*>(backend.get()) != nullptr, GetParam().vista);
    EXPECT_NE(dynamic_cast<TLinkExtentionWinXp*>(backend.get()), nullptr);

    // The free functions go through the same factory.
    PutUserOverrides();
    TLinkExtention::Link(u".TBR"_s, Command, u"x.ico"_s, 0, QString());
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, History + u"\\TBR"_s), !GetParam().vista);
    EXPECT_EQ(TLinkExtention::GetCommand(u".TBR"_s), Command);
    EXPECT_EQ(TLinkExtention::GetFileType(u".TBR"_s), u"TBRファイル"_s);
    EXPECT_EQ(TLinkExtention::GetIconInfo(u".TBR"_s).IconFile, u"x.ico"_s);
    TLinkExtention::Unlink(u".TBR"_s);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u".TBR"_s));
}

INSTANTIATE_TEST_SUITE_P(Versions, FactoryTest,
                         ::testing::Values(VersionCase{5, 0, false}, VersionCase{5, 1, false},
                                           VersionCase{5, 2, false}, VersionCase{6, 0, true},
                                           VersionCase{6, 1, true}, VersionCase{10, 0, true}),
                         [](const auto& param) {
                             return "V" + std::to_string(param.param.major) + "_" +
                                    std::to_string(param.param.minor);
                         });

} // namespace
