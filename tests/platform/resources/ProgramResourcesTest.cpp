#include "platform/resources/ProgramResources.h"

#include "platform/resources/Icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Sample = QStringLiteral(RESOURCE_SAMPLE);

QString Fixture(const QString& name)
{
    return QStringLiteral(RESOURCE_FIXTURES) + u'/' + name;
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString WriteTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

TEST(ProgramResources, AreReadBackFromTheProgramFileByName)
{
    const std::optional<Platform::ResourceEntries> entries = Platform::ReadProgramResources(Sample);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const auto& entry : *entries)
        names.append(entry.first);
    EXPECT_EQ(names, (QStringList{u"ICON/0"_s, u"ICON/1"_s, u"VERSION"_s, u"NOTE"_s}));

    EXPECT_EQ(Platform::ReadProgramResource(Sample, Platform::VersionResourceName()),
              FileBytes(Fixture(u"version.bin"_s)));
    EXPECT_EQ(Platform::ReadProgramResource(Sample, Platform::IconResourceName(1)),
              FileBytes(Fixture(u"sizes.ico"_s)));
    EXPECT_EQ(Platform::ReadProgramResource(Sample, u"NOTE"_s), FileBytes(Fixture(u"note.txt"_s)));
    EXPECT_FALSE(Platform::ReadProgramResource(Sample, u"note"_s));
    EXPECT_FALSE(Platform::ReadProgramResource(Sample, Platform::IconResourceName(2)));
}

TEST(ProgramResources, SurviveStrippingTheProgram)
{
    QTemporaryDir dir;
    const QString stripped = dir.filePath(u"stripped"_s);
    ASSERT_TRUE(QFile::copy(Sample, stripped));
    ASSERT_EQ(QProcess::execute(u"strip"_s, {stripped}), 0);
    EXPECT_EQ(Platform::ReadProgramResource(stripped, Platform::VersionResourceName()),
              FileBytes(Fixture(u"version.bin"_s)));
}

TEST(ProgramResources, ProgramsWithoutThemAndOtherFilesHaveNone)
{
    QTemporaryDir dir;
    const QByteArray program = FileBytes(Sample);
    ASSERT_FALSE(program.isEmpty());
    const QString files[] = {
        QCoreApplication::applicationFilePath(), // linked without resources
        dir.path(),
        dir.filePath(u"missing"_s),
        WriteTemp(dir, u"empty"_s, QByteArray()),
        WriteTemp(dir, u"elf-header-only"_s, program.left(64)),
        WriteTemp(dir, u"truncated"_s, program.left(program.size() / 2)),
        WriteTemp(dir, u"magic-only"_s,
                  QByteArray("\x7f"
                             "ELF",
                             4)),
    };
    EXPECT_FALSE(Platform::ReadProgramResources(Fixture(u"red.png"_s)));
    for (const QString& file : files) {
        EXPECT_FALSE(Platform::ReadProgramResources(file)) << qPrintable(file);
        EXPECT_TRUE(Platform::ExtractIcon(file, 0).isNull()) << qPrintable(file);
    }
}

TEST(ProgramResources, ADamagedSectionTableIsRefusedWithoutReadingOutside)
{
    QTemporaryDir dir;
    QByteArray program = FileBytes(Sample);
    // Point the section-header table far beyond the end of the file.
    const qsizetype shoff = 0x28;
    for (int i = 0; i < 8; ++i)
        program[shoff + i] = static_cast<char>(0x7f);
    EXPECT_FALSE(Platform::ReadProgramResources(WriteTemp(dir, u"bad-shoff"_s, program)));
}

QByteArray Block(quint32 count, const QList<quint32>& row, const QByteArray& tail)
{
    QByteArray block("TBRRSRC1");
    const auto append = [&block](quint32 value) {
        for (int shift = 0; shift < 32; shift += 8)
            block.append(static_cast<char>((value >> shift) & 0xff));
    };
    append(count);
    for (quint32 value : row)
        append(value);
    return block + tail;
}

struct BlockCase
{
    const char* name;
    QByteArray block;
    bool valid;
};

void PrintTo(const BlockCase& c, std::ostream* os)
{
    *os << c.name;
}

class ResourceBlockTest : public ::testing::TestWithParam<BlockCase>
{
};

TEST_P(ResourceBlockTest, IsParsedOnlyWhenEveryOffsetLiesInside)
{
    EXPECT_EQ(Platform::ParseResourceBlock(GetParam().block).has_value(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ResourceBlockTest,
    ::testing::Values(BlockCase{"Empty", Block(0, {}, {}), true},
                      BlockCase{"OneEntry", Block(1, {28, 1, 29, 2}, "Axy"), true},
                      BlockCase{"NameOutside", Block(1, {28, 9, 29, 2}, "Axy"), false},
                      BlockCase{"DataOutside", Block(1, {28, 1, 29, 3}, "Axy"), false},
                      BlockCase{"OffsetWraps", Block(1, {28, 1, 0xffffffffu, 2}, "Axy"), false},
                      BlockCase{"HugeCount", Block(0xffffffffu, {28, 1, 29, 2}, "Axy"), false},
                      BlockCase{"WrongMagic", QByteArray("TBRRSRC2") + QByteArray(4, '\0'), false},
                      BlockCase{"Short", QByteArray("TBRR"), false}),
    [](const auto& param) { return std::string(param.param.name); });

QRgb CentrePixel(const QImage& icon)
{
    return icon.pixel(icon.width() / 2, icon.height() / 2) & 0xffffff;
}

struct IconCase
{
    const char* name;
    QString file;
    int index;
    bool found;
    QRgb colour;
};

void PrintTo(const IconCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExtractIconTest : public ::testing::TestWithParam<IconCase>
{
};

TEST_P(ExtractIconTest, GivesALargeIconOrNothing)
{
    const IconCase& c = GetParam();
    const QImage icon = Platform::ExtractIcon(c.file, c.index);
    ASSERT_EQ(!icon.isNull(), c.found);
    if (!c.found)
        return;
    EXPECT_EQ(icon.size(), QSize(Platform::LargeIconSize, Platform::LargeIconSize));
    EXPECT_EQ(CentrePixel(icon), c.colour);
}

INSTANTIATE_TEST_SUITE_P(
    Icons, ExtractIconTest,
    ::testing::Values(
        IconCase{"ProgramIndex0", Sample, 0, true, 0xff0000},
        // The .ico holds 16, 32 and 64 pixel images; the 32 pixel one is the large icon.
        IconCase{"ProgramIndex1FromAnIco", Sample, 1, true, 0x0000ff},
        IconCase{"ProgramIndexPastTheLast", Sample, 2, false, 0},
        IconCase{"ProgramNegativeIndex", Sample, -1, false, 0},
        IconCase{"ProgramVersionIsNoIcon", Sample, 3, false, 0},
        IconCase{"PngFile", Fixture(u"red.png"_s), 0, true, 0xff0000},
        IconCase{"PngFileIndex1", Fixture(u"red.png"_s), 1, false, 0},
        IconCase{"IcoFile", Fixture(u"sizes.ico"_s), 0, true, 0x0000ff},
        IconCase{"WidePngIsScaledIntoTheSquare", Fixture(u"cyan-wide.png"_s), 0, true, 0x00ffff},
        IconCase{"BitmapIsNoIcon", Fixture(u"red.bmp"_s), 0, false, 0},
        IconCase{"TextFile", Fixture(u"note.txt"_s), 0, false, 0},
        IconCase{"MissingFile", Fixture(u"missing.png"_s), 0, false, 0},
        IconCase{"EmptyName", QString(), 0, false, 0}),
    [](const auto& param) { return std::string(param.param.name); });

#ifdef EXTBINDER_PROGRAM
TEST(ProgramResources, ExtbinderCarriesItsIcon)
{
    const QImage icon = Platform::ExtractIcon(QStringLiteral(EXTBINDER_PROGRAM), 0);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(Platform::LargeIconSize, Platform::LargeIconSize));
    EXPECT_TRUE(Platform::ExtractIcon(QStringLiteral(EXTBINDER_PROGRAM), 1).isNull());
}
#endif

} // namespace
