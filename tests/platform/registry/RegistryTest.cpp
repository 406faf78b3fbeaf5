#include "platform/registry/Registry.h"

#include "tests/platform/registry/PrivateRegistry.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>
#include <vector>

using namespace Qt::StringLiterals;

// Test names show texts, not their bytes.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class RegistryTest : public ::testing::Test
{
protected:
    PrivateRegistry registryFolder;
};

TEST_F(RegistryTest, ReadingAnEmptyRegistryFindsNothingAndCreatesNoFile)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(registry.OpenKeyReadOnly(u".TBR"_s));
    EXPECT_FALSE(registry.OpenKey(u".TBR"_s, false));
    EXPECT_FALSE(registry.KeyExists(u".TBR"_s));
    EXPECT_EQ(registry.ReadString(QString()), QString());
    EXPECT_TRUE(registry.GetKeyNames().isEmpty());
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
}

TEST_F(RegistryTest, CreatedKeysAndValuesReachTheHiveFileAndOtherObjects)
{
    {
        TRegistry writer;
        writer.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(writer.OpenKey(u"TBRFile\\Shell\\open\\command"_s, true));
        writer.WriteString(QString(), u"\"/opt/Tabrill\" \"%1\""_s);
        writer.CloseKey();
    }
    EXPECT_TRUE(QFile::exists(registryFolder.Folder() + u"/HKEY_CLASSES_ROOT.json"_s));

    TRegistry reader;
    reader.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_TRUE(reader.KeyExists(u"TBRFile"_s));
    EXPECT_TRUE(reader.KeyExists(u"TBRFile\\Shell\\open"_s));
    ASSERT_TRUE(reader.OpenKeyReadOnly(u"TBRFile\\Shell\\open\\command"_s));
    EXPECT_EQ(reader.ReadString(QString()), u"\"/opt/Tabrill\" \"%1\""_s);
    EXPECT_EQ(reader.GetDataType(QString()), TRegDataType::rdString);
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstCase)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u".TBR"_s, true));
    registry.WriteString(u"Content Type"_s, u"text/plain"_s);
    ASSERT_TRUE(registry.OpenKey(u"\\.tbr\\ShellNew"_s, true));
    EXPECT_EQ(registry.CurrentPath(), u".TBR\\ShellNew"_s);
    ASSERT_TRUE(registry.OpenKeyReadOnly(u"\\.tBr"_s));
    EXPECT_EQ(registry.CurrentPath(), u".TBR"_s);
    EXPECT_EQ(registry.ReadString(u"content type"_s), u"text/plain"_s);
    registry.CloseKey();
    EXPECT_EQ(registry.GetKeyNames(), QStringList{u".TBR"_s});
}

TEST_F(RegistryTest, RelativePathsStartAtTheOpenKeyAndABackslashAtTheRoot)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(registry.OpenKey(u"Software"_s, true));
    ASSERT_TRUE(registry.OpenKey(u"Ostrelle"_s, true));
    EXPECT_EQ(registry.CurrentPath(), u"Software\\Ostrelle"_s);
    ASSERT_TRUE(registry.OpenKey(u"\\Other"_s, true));
    EXPECT_EQ(registry.CurrentPath(), u"Other"_s);
    registry.CloseKey();
    EXPECT_TRUE(registry.KeyExists(u"Software\\Ostrelle"_s));
    EXPECT_FALSE(registry.KeyExists(u"Other\\Software"_s));
}

class MalformedPathTest : public RegistryTest, public ::testing::WithParamInterface<QString>
{
};

TEST_P(MalformedPathTest, IsRefusedWithoutWriting)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(registry.OpenKey(GetParam(), true));
    EXPECT_FALSE(registry.DeleteKey(GetParam()));
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
}

INSTANTIATE_TEST_SUITE_P(Paths, MalformedPathTest,
                         ::testing::Values(u"a\\\\b"_s, u"\\\\a"_s, u"a\\\\"_s));

struct ValueCase
{
    const char* name;
    void (*write)(TRegistry&);
    TRegDataType type;
    bool readsAsText;
    QString text;
};

void PrintTo(const ValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class ValueTypeTest : public RegistryTest, public ::testing::WithParamInterface<ValueCase>
{
};

TEST_P(ValueTypeTest, ReadsBackWithItsTypeAndOnlyTextReadsAsText)
{
    const ValueCase& c = GetParam();
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u"Key"_s, true));
    c.write(registry);

    TRegistry reader;
    reader.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reader.OpenKeyReadOnly(u"Key"_s));
    EXPECT_EQ(reader.GetDataType(u"v"_s), c.type);
    if (c.readsAsText) {
        EXPECT_EQ(reader.ReadString(u"v"_s), c.text);
    } else {
        try {
            reader.ReadString(u"v"_s);
            FAIL() << "no error for a value of another type";
        } catch (const ERegistryException& error) {
            EXPECT_EQ(error.Message(), u"レジストリ値「v」のデータ型が正しくありません。"_s);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueTypeTest,
    ::testing::Values(ValueCase{"Text", [](TRegistry& r) { r.WriteString(u"v"_s, u"C:\\a b,1"_s); },
                                TRegDataType::rdString, true, u"C:\\a b,1"_s},
                      ValueCase{"ExpandableTextStaysUnexpanded",
                                [](TRegistry& r) {
                                    r.WriteExpandString(u"v"_s, u"%SystemRoot%\\x.dll,-3"_s);
                                },
                                TRegDataType::rdExpandString, true, u"%SystemRoot%\\x.dll,-3"_s},
                      ValueCase{"EmptyText", [](TRegistry& r) { r.WriteString(u"v"_s, QString()); },
                                TRegDataType::rdString, true, QString()},
                      ValueCase{"Integer", [](TRegistry& r) { r.WriteInteger(u"v"_s, 7); },
                                TRegDataType::rdInteger, false, QString()}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RegistryTest, IntegersKeepTheirSignAndAMissingIntegerIsAnError)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(u"Numbers"_s, true));
    registry.WriteInteger(u"low"_s, -2147483647 - 1);
    registry.WriteInteger(u"high"_s, 2147483647);
    EXPECT_EQ(registry.ReadInteger(u"low"_s), -2147483647 - 1);
    EXPECT_EQ(registry.ReadInteger(u"high"_s), 2147483647);
    EXPECT_THROW(registry.ReadInteger(u"none"_s), ERegistryException);
    EXPECT_EQ(registry.GetDataType(u"none"_s), TRegDataType::rdUnknown);
}

TEST_F(RegistryTest, DeleteKeyRemovesTheSubtreeAndNothingBeside)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    for (const QString& key : {u"A\\B\\C"_s, u"AB"_s, u"A B"_s, u"A.x"_s}) {
        ASSERT_TRUE(registry.OpenKey(u"\\"_s + key, true));
        registry.WriteString(QString(), key);
    }
    registry.CloseKey();
    EXPECT_TRUE(registry.DeleteKey(u"a"_s));
    EXPECT_FALSE(registry.KeyExists(u"A"_s));
    EXPECT_FALSE(registry.KeyExists(u"A\\B\\C"_s));
    EXPECT_EQ(registry.GetKeyNames(), (QStringList{u"A B"_s, u"A.x"_s, u"AB"_s}));
    EXPECT_FALSE(registry.DeleteKey(u"A"_s));
    EXPECT_FALSE(registry.DeleteKey(QString()));
    EXPECT_FALSE(registry.DeleteKey(u"\\"_s));
}

TEST_F(RegistryTest, ValuesOfAReadOnlyKeyCannotBeSet)
{
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(u"Key"_s, true));
    writer.WriteString(u"v"_s, u"old"_s);
    const QByteArray before = FileBytes(Platform::RegistryHiveFile(HKEY_CURRENT_USER));

    TRegistry reader;
    ASSERT_TRUE(reader.OpenKeyReadOnly(u"Key"_s));
    EXPECT_THROW(reader.WriteString(u"v"_s, u"new"_s), ERegistryException);
    EXPECT_FALSE(reader.DeleteValue(u"v"_s));
    EXPECT_EQ(FileBytes(Platform::RegistryHiveFile(HKEY_CURRENT_USER)), before);
}

TEST_F(RegistryTest, WritingToAKeyDeletedMeanwhileFailsAndDoesNotRecreateIt)
{
    TRegistry first;
    ASSERT_TRUE(first.OpenKey(u"Doomed"_s, true));
    TRegistry second;
    ASSERT_TRUE(second.DeleteKey(u"Doomed"_s));
    EXPECT_THROW(first.WriteString(u"v"_s, u"x"_s), ERegistryException);
    EXPECT_FALSE(second.KeyExists(u"Doomed"_s));
}

TEST_F(RegistryTest, TheRootsAreSeparateHives)
{
    TRegistry user;
    user.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(user.OpenKey(u"Only user"_s, true));
    TRegistry classes;
    classes.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(classes.KeyExists(u"Only user"_s));
    EXPECT_TRUE(QFile::exists(registryFolder.Folder() + u"/HKEY_CURRENT_USER.json"_s));
    EXPECT_FALSE(QFile::exists(registryFolder.Folder() + u"/HKEY_CLASSES_ROOT.json"_s));
}

TEST_F(RegistryTest, ADamagedHiveIsNeitherReadNorOverwritten)
{
    const QString hive = Platform::RegistryHiveFile(HKEY_CLASSES_ROOT);
    WriteFile(hive, "{\"format\": \"tabrill-registry-hive\", \"version\": 1, \"keys\": [");
    const QByteArray before = FileBytes(hive);

    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    EXPECT_FALSE(registry.OpenKeyReadOnly(u".TBR"_s));
    EXPECT_FALSE(registry.OpenKey(u".TBR"_s, true));
    EXPECT_FALSE(registry.DeleteKey(u".TBR"_s));
    EXPECT_THROW(registry.WriteString(QString(), u"x"_s), ERegistryException);
    EXPECT_EQ(FileBytes(hive), before);
}

TEST_F(RegistryTest, ValuesOfTypesItDoesNotWriteSurviveOtherChanges)
{
    const QString hive = Platform::RegistryHiveFile(HKEY_CLASSES_ROOT);
    WriteFile(hive,
              R"({"format": "tabrill-registry-hive", "version": 1, "root": "HKEY_CLASSES_ROOT",
        "keys": [{"path": "Deep\\Key", "values": [
            {"name": "blob", "type": "REG_BINARY", "data": "00ff"},
            {"name": "list", "type": "REG_MULTI_SZ", "data": ["a", "b"]}]}]})");

    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u"Deep"_s, false)) << "keys on the way of a listed key exist";
    ASSERT_TRUE(registry.OpenKey(u"Key"_s, false));
    EXPECT_EQ(registry.GetDataType(u"blob"_s), TRegDataType::rdBinary);
    EXPECT_EQ(registry.GetDataType(u"list"_s), TRegDataType::rdUnknown);
    EXPECT_THROW(registry.ReadString(u"list"_s), ERegistryException);
    registry.WriteString(u"new"_s, u"value"_s);

    const QJsonDocument written = QJsonDocument::fromJson(FileBytes(hive));
    const QByteArray text = written.toJson(QJsonDocument::Compact);
    EXPECT_TRUE(text.contains(R"({"data":"00ff","name":"blob","type":"REG_BINARY"})"))
        << text.constData();
    EXPECT_TRUE(text.contains(R"({"data":["a","b"],"name":"list","type":"REG_MULTI_SZ"})"))
        << text.constData();
    EXPECT_TRUE(text.contains(R"({"data":"value","name":"new","type":"REG_SZ"})"))
        << text.constData();
}

TEST_F(RegistryTest, AHiveThatCannotBeLockedIsNotChanged)
{
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(u"Key"_s, true));
    const QString lock = Platform::RegistryHiveFile(HKEY_CURRENT_USER) + u".lock"_s;
    QFile::remove(lock);
    ASSERT_TRUE(QDir().mkpath(lock));
    try {
        registry.WriteString(u"v"_s, u"x"_s);
        FAIL() << "the write reported success";
    } catch (const ERegistryException& error) {
        EXPECT_TRUE(error.Message().startsWith(u"レジストリ値「v」を設定できませんでした。"_s))
            << error.what();
    }
    EXPECT_FALSE(registry.OpenKey(u"\\Other"_s, true));
    EXPECT_FALSE(registry.ValueExists(u"v"_s));
}

TEST(RegistryLocation, FollowsTheVariableElseTheUserDataFolder)
{
    {
        PrivateRegistry registry;
        EXPECT_EQ(Platform::RegistryFolder(), registry.Folder());
        EXPECT_EQ(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT),
                  registry.Folder() + u"/HKEY_CLASSES_ROOT.json"_s);
    }
    const QByteArray saved = qgetenv("TABRILL_REGISTRY_DIR");
    qunsetenv("TABRILL_REGISTRY_DIR");
    EXPECT_EQ(Platform::RegistryFolder(),
              qEnvironmentVariable("XDG_DATA_HOME") + u"/Ostrelle/registry"_s);
    if (!saved.isEmpty())
        qputenv("TABRILL_REGISTRY_DIR", saved);
}

TEST_F(RegistryTest, WritersInSeveralProcessesLoseNothing)
{
    constexpr int writers = 4;
    constexpr int perWriter = 40;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int w = 0; w < writers; ++w) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(QStringLiteral(REGISTRY_WRITER),
                       {u"Shared\\Key"_s, u"w%1_"_s.arg(w), QString::number(perWriter)});
        processes.push_back(std::move(process));
    }
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitCode(), 0);
    }
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(u"Shared\\Key"_s));
    EXPECT_EQ(registry.GetValueNames().size(), writers * perWriter);
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < perWriter; ++i)
            EXPECT_EQ(registry.ReadInteger(u"w%1_%2"_s.arg(w).arg(i)), i);
    }
}

TEST_F(RegistryTest, AWriterKilledMidwayLeavesAReadableHive)
{
    QProcess process;
    process.start(QStringLiteral(REGISTRY_WRITER), {u"Crash"_s, u"v"_s, u"100000"_s});
    ASSERT_TRUE(process.waitForStarted());
    const QString hive = Platform::RegistryHiveFile(HKEY_CURRENT_USER);
    for (int i = 0; i < 500 && FileBytes(hive).count("\"name\"") < 20; ++i)
        QThread::msleep(10);
    process.kill();
    ASSERT_TRUE(process.waitForFinished());

    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(u"Crash"_s));
    const qsizetype written = registry.GetValueNames().size();
    EXPECT_GE(written, 20);
    for (int i = 0; i < written; ++i)
        EXPECT_EQ(registry.ReadInteger(u"v%1"_s.arg(i)), i);
    registry.CloseKey();
    ASSERT_TRUE(registry.OpenKey(u"Crash"_s, false));
    registry.WriteString(u"after"_s, u"ok"_s);
    EXPECT_EQ(registry.ReadString(u"after"_s), u"ok"_s);
}

} // namespace
