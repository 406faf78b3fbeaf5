#include "platform/ini/MemIniFile.h"

#include "platform/ini/FileErrors.h"
#include "tests/platform/ini/IniTestSupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <optional>

namespace {

QByteArray Utf16(const QString& text, bool bigEndian)
{
    QByteArray bytes(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}

// One file's bytes, one lookup, and the value expected (nullopt: the key is absent).
struct ReadCase
{
    const char* name;
    QByteArray bytes;
    QString section;
    QString key;
    std::optional<QString> value;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniReading : public IniFolder, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(IniReading, FindsTheValue)
{
    const TMemIniFile ini(WriteBytes(QStringLiteral("t.ini"), GetParam().bytes));
    const QString missing = QStringLiteral("<missing>");
    EXPECT_EQ(ini.ReadString(GetParam().section, GetParam().key, missing),
              GetParam().value.value_or(missing));
    EXPECT_EQ(ini.ValueExists(GetParam().section, GetParam().key), GetParam().value.has_value());
}

const QString S = QStringLiteral("S");
const QString K = QStringLiteral("k");

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReading,
    ::testing::Values(
        ReadCase{"CrLf", "[S]\r\nk=v\r\n", S, K, QStringLiteral("v")},
        ReadCase{"Lf", "[S]\nj=1\nk=v\n", S, K, QStringLiteral("v")},
        ReadCase{"Cr", "[S]\rj=1\rk=v", S, K, QStringLiteral("v")},
        ReadCase{"MixedBreaks", "[T]\r\n\r[S]\n\r\nk=v", S, K, QStringLiteral("v")},
        ReadCase{"NoFinalBreak", "[S]\r\nk=v", S, K, QStringLiteral("v")},
        ReadCase{"Trimming", " \t[ S ]\x01 \r\n\t k \t=\t v w \x1F\r\n", S, K,
                 QStringLiteral("v w")},
        ReadCase{"IdeographicSpaceIsKept", "[S]\r\nk=\x81\x40v\x81\x40\r\n", S, K,
                 QStringLiteral("　v　")},
        ReadCase{"EmptyValueIsAValue", "[S]\r\nk=\r\n", S, K, QString()},
        ReadCase{"SplitAtFirstEquals", "[S]\r\nk = a=b \r\n", S, K, QStringLiteral("a=b")},
        ReadCase{"QuotesAreKept", "[S]\r\nk=\"x\" \"%1\"\r\n", S, K,
                 QStringLiteral("\"x\" \"%1\"")},
        ReadCase{"CaseInsensitiveNames", "[sEcTiOn]\r\nKEY=v\r\n", QStringLiteral("Section"),
                 QStringLiteral("key"), QStringLiteral("v")},
        ReadCase{"DuplicateKeyFirstWins", "[S]\r\nk=first\r\nK=second\r\n", S, K,
                 QStringLiteral("first")},
        ReadCase{"RepeatedSectionContinues", "[S]\r\na=1\r\n[T]\r\n[s]\r\nk=v\r\n", S, K,
                 QStringLiteral("v")},
        ReadCase{"CommentDropped", "[S]\r\n;k=v\r\n", S, K, std::nullopt},
        ReadCase{"IndentedComment", "[S]\r\n  ;k=v\r\n", S, K, std::nullopt},
        ReadCase{"HashIsNoComment", "[S]\r\n#k=v\r\n", S, QStringLiteral("#k"),
                 QStringLiteral("v")},
        ReadCase{"BeforeFirstSectionDropped", "k=v\r\n[S]\r\n", S, K, std::nullopt},
        ReadCase{"LineWithoutEqualsIsNoKey", "[S]\r\nk\r\n", S, K, std::nullopt},
        ReadCase{"UnclosedHeaderIsALine", "[S]\r\n[T\r\nk=v\r\n", S, K, QStringLiteral("v")},
        ReadCase{"EmptySectionName", "[]\r\nk=v\r\n", QString(), K, QStringLiteral("v")},
        ReadCase{"KeyInOtherSection", "[T]\r\nk=v\r\n", S, K, std::nullopt},
        ReadCase{"Cp932", "[SEARCH]\r\nWord=\x94\x84\x8F\xE3\r\n", QStringLiteral("SEARCH"),
                 QStringLiteral("Word"), QStringLiteral("売上")},
        ReadCase{"Utf8Mark", "\xEF\xBB\xBF[S]\r\nk=\xE5\xA3\xB2\xE4\xB8\x8A\r\n", S, K,
                 QStringLiteral("売上")},
        ReadCase{"Utf16LeMark", Utf16(QStringLiteral("[S]\r\nk=売上\r\n"), false), S, K,
                 QStringLiteral("売上")},
        ReadCase{"Utf16BeMark", Utf16(QStringLiteral("[S]\nk=売上"), true), S, K,
                 QStringLiteral("売上")},
        ReadCase{"TruncatedUtf16", Utf16(QStringLiteral("[S]\r\nk=v\r\n"), false) + "\x41", S, K,
                 QStringLiteral("v")},
        ReadCase{"BrokenUtf8", "\xEF\xBB\xBF[S]\r\nj=\xC3\x28\xFF\r\nk=v\r\n", S, K,
                 QStringLiteral("v")},
        ReadCase{"NulInsideLine", QByteArray("[S]\r\nk=a\0b\r\n", 11), S, K,
                 QString::fromUtf16(u"a\0b", 3)},
        ReadCase{"Empty", "", S, K, std::nullopt}),
    CaseName());

TEST_F(IniFolder, LoneSurrogatesInUtf16AreReadWithoutHarm)
{
    QString text = QStringLiteral("[S]\r\nj=");
    text += QChar(0xD800);
    text += QStringLiteral("\r\nk=v");
    text += QChar(0xDFFF);
    const QString path = WriteBytes(QStringLiteral("s.ini"), Utf16(text, false));
    TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadString(S, K, QString()), QStringLiteral("v") + QChar(0xDFFF));
    ini.WriteString(S, QStringLiteral("n"), QStringLiteral("1"));
    ini.UpdateFile();
    // UTF-16 holds the lone surrogates as they were.
    EXPECT_EQ(TMemIniFile(path).ReadString(S, QStringLiteral("j"), QString()),
              QString(QChar(0xD800)));
}

struct IntegerCase
{
    const char* name;
    const char* value;
    int expected;
};

void PrintTo(const IntegerCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniIntegers : public IniFolder, public ::testing::WithParamInterface<IntegerCase>
{
};

constexpr int Default = -777;

TEST_P(IniIntegers, ReadsOrFallsBackToTheDefault)
{
    const TMemIniFile ini(
        WriteBytes(QStringLiteral("i.ini"), QByteArray("[S]\r\nk=") + GetParam().value + "\r\n"));
    EXPECT_EQ(ini.ReadInteger(S, K, Default), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniIntegers,
    ::testing::Values(
        IntegerCase{"Decimal", "42", 42}, IntegerCase{"Zero", "0", 0},
        IntegerCase{"Negative", "-7", -7}, IntegerCase{"Plus", "+7", 7},
        IntegerCase{"LeadingZeros", "007", 7}, IntegerCase{"Trimmed", " \t12 ", 12},
        IntegerCase{"Dollar", "$1F", 31}, IntegerCase{"SmallX", "x10", 16},
        IntegerCase{"BigX", "X1a", 26}, IntegerCase{"ZeroSmallX", "0x2", 2},
        IntegerCase{"ZeroBigX", "0XfF", 255}, IntegerCase{"NegativeHex", "-$10", -16},
        IntegerCase{"HexAllBits", "$FFFFFFFF", -1},
        IntegerCase{"Largest", "2147483647", 2147483647},
        IntegerCase{"Smallest", "-2147483648", -2147483647 - 1},
        IntegerCase{"TooLarge", "2147483648", Default},
        IntegerCase{"HexTooLarge", "0x100000000", Default},
        IntegerCase{"HugeDecimal", "99999999999999999999999", Default},
        IntegerCase{"Empty", "", Default}, IntegerCase{"Word", "yes", Default},
        IntegerCase{"TrailingText", "12a", Default}, IntegerCase{"InnerSpace", "1 2", Default},
        IntegerCase{"Fraction", "1.5", Default}, IntegerCase{"Exponent", "1e3", Default},
        IntegerCase{"SignOnly", "-", Default}, IntegerCase{"PrefixOnly", "0x", Default},
        IntegerCase{"DoubleSign", "--1", Default}, IntegerCase{"BadHexDigit", "$1G", Default},
        IntegerCase{"FullWidthDigit", "\x82\x50", Default}),
    CaseName());

TEST_F(IniFolder, BooleansAreIntegersAndAnythingButZeroIsTrue)
{
    const TMemIniFile ini(WriteBytes(QStringLiteral("b.ini"),
                                     "[S]\r\none=1\r\nzero=0\r\ntwo=2\r\nminus=-1\r\n"
                                     "hexzero=0x0\r\nyes=yes\r\nempty=\r\n"));
    struct
    {
        const char* key;
        bool whenDefaultFalse;
        bool whenDefaultTrue;
    } const cases[] = {{"one", true, true},    {"zero", false, false},    {"two", true, true},
                       {"minus", true, true},  {"hexzero", false, false}, {"yes", false, true},
                       {"empty", false, true}, {"missing", false, true}};
    for (const auto& c : cases) {
        const QString key = QString::fromLatin1(c.key);
        EXPECT_EQ(ini.ReadBool(S, key, false), c.whenDefaultFalse) << c.key;
        EXPECT_EQ(ini.ReadBool(S, key, true), c.whenDefaultTrue) << c.key;
    }
}

TEST_F(IniFolder, NewFileIsWrittenInOrderWithCrLfAndBlankLineAfterEachSection)
{
    const QString path = PathOf(QStringLiteral("new.ini"));
    TMemIniFile ini(path);
    ini.WriteString(QStringLiteral("EXT"), QStringLiteral("EXT"), QStringLiteral(".TBR"));
    ini.WriteInteger(QStringLiteral("TASK"), QStringLiteral("CLOSE"), 1);
    ini.WriteString(QStringLiteral("EXT"), QStringLiteral("COMMAND"),
                    QStringLiteral("\"/opt/t/Tabrill\" \"%1\""));
    ini.WriteBool(QStringLiteral("TASK"), QStringLiteral("Flag"), false);
    ini.WriteInteger(QStringLiteral("TASK"), QStringLiteral("N"), -12);
    ini.UpdateFile();
    EXPECT_EQ(Bytes(path), QByteArray("[EXT]\r\nEXT=.TBR\r\nCOMMAND=\"/opt/t/Tabrill\" \"%1\"\r\n"
                                      "\r\n[TASK]\r\nCLOSE=1\r\nFlag=0\r\nN=-12\r\n\r\n"));
}

TEST_F(IniFolder, MissingFileReadsEmptyAndIsNotCreatedByReading)
{
    const QString path = PathOf(QStringLiteral("none.ini"));
    const TMemIniFile ini(path);
    EXPECT_TRUE(ini.ReadSections().isEmpty());
    EXPECT_EQ(ini.Encoding(), TMemIniFile::TEncoding::Ansi);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(IniFolder, SavingKeepsUnknownContentButNotCommentsOrBlankLines)
{
    const QString path =
        WriteBytes(QStringLiteral("old.ini"),
                   "; header comment\r\nstray=before any section\r\n\r\n"
                   "[Search]\r\n; comment\r\n  word = old  \r\nKeep=1\r\nloose line\r\n\r\n"
                   "[Other]\r\nX=y\r\n[EMPTY]\r\n");
    TMemIniFile ini(path);
    ini.WriteString(QStringLiteral("SEARCH"), QStringLiteral("Word"), QStringLiteral("new"));
    ini.WriteString(QStringLiteral("SEARCH"), QStringLiteral("Added"), QStringLiteral("a"));
    ini.WriteString(QStringLiteral("NEW"), QStringLiteral("K"), QStringLiteral("n"));
    ini.UpdateFile();
    EXPECT_EQ(Bytes(path), QByteArray("[Search]\r\nWord=new\r\nKeep=1\r\nloose line\r\nAdded=a\r\n"
                                      "\r\n[Other]\r\nX=y\r\n\r\n[EMPTY]\r\n\r\n"
                                      "[NEW]\r\nK=n\r\n\r\n"));
}

TEST_F(IniFolder, RepeatedSectionIsWrittenOnceWithAllItsLines)
{
    const QString path =
        WriteBytes(QStringLiteral("dup.ini"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nz=3\r\nx=4\r\n");
    TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadSections(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("a"), QStringLiteral("z"), QString()),
              QStringLiteral("3"));
    ini.UpdateFile();
    EXPECT_EQ(Bytes(path), QByteArray("[A]\r\nx=1\r\nz=3\r\nx=4\r\n\r\n[B]\r\ny=2\r\n\r\n"));
}

TEST_F(IniFolder, LineBreaksInAValueCannotForgeKeys)
{
    const QString path = PathOf(QStringLiteral("nl.ini"));
    TMemIniFile ini(path);
    ini.WriteString(S, QStringLiteral("Word"), QStringLiteral("a\r\nMatchCase=1\nb\rc"));
    ini.UpdateFile();
    const TMemIniFile back(path);
    EXPECT_FALSE(back.ValueExists(S, QStringLiteral("MatchCase")));
    EXPECT_EQ(back.ReadString(S, QStringLiteral("Word"), QString()),
              QStringLiteral("a MatchCase=1 b c"));
}

TEST_F(IniFolder, QueriesAndDeletion)
{
    TMemIniFile ini(WriteBytes(QStringLiteral("q.ini"),
                               "[A]\r\nk1=1\r\nline\r\nK2=2\r\nk1=3\r\n[B]\r\nk=v\r\n"));
    EXPECT_TRUE(ini.SectionExists(QStringLiteral("a")));
    EXPECT_FALSE(ini.SectionExists(QStringLiteral("C")));
    EXPECT_EQ(ini.ReadSection(QStringLiteral("A")),
              QStringList({QStringLiteral("k1"), QStringLiteral("K2"), QStringLiteral("k1")}));
    ini.DeleteKey(QStringLiteral("A"), QStringLiteral("K1"));
    EXPECT_FALSE(ini.ValueExists(QStringLiteral("A"), QStringLiteral("k1")));
    EXPECT_EQ(ini.ReadString(QStringLiteral("A"), QStringLiteral("k2"), QString()),
              QStringLiteral("2"));
    ini.EraseSection(QStringLiteral("a"));
    EXPECT_EQ(ini.ReadSections(), QStringList({QStringLiteral("B")}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("b"), QStringLiteral("K"), QString()),
              QStringLiteral("v"));
    ini.WriteString(QStringLiteral("A"), QStringLiteral("n"), QStringLiteral("1"));
    EXPECT_EQ(ini.ToText(), QStringLiteral("[B]\r\nk=v\r\n\r\n[A]\r\nn=1\r\n\r\n"));
}

// A file read with a mark is written back in its encoding with the mark; others in CP932.
struct EncodingCase
{
    const char* name;
    QByteArray original;
    TMemIniFile::TEncoding encoding;
    QByteArray written;
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniEncodings : public IniFolder, public ::testing::WithParamInterface<EncodingCase>
{
};

TEST_P(IniEncodings, AreKeptOnSave)
{
    const QString path = WriteBytes(QStringLiteral("e.ini"), GetParam().original);
    TMemIniFile ini(path);
    EXPECT_EQ(ini.Encoding(), GetParam().encoding);
    ini.WriteString(S, QStringLiteral("w"), QStringLiteral("売€"));
    ini.UpdateFile();
    EXPECT_EQ(Bytes(path), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, IniEncodings,
    ::testing::Values(
        EncodingCase{"Utf8", "\xEF\xBB\xBF[S]\r\nk=\xE4\xB8\x8A\r\n", TMemIniFile::TEncoding::Utf8,
                     "\xEF\xBB\xBF[S]\r\nk=\xE4\xB8\x8A\r\nw=\xE5\xA3\xB2\xE2\x82\xAC\r\n\r\n"},
        EncodingCase{"Utf16Le", Utf16(QStringLiteral("[S]\r\nk=上"), false),
                     TMemIniFile::TEncoding::Utf16LE,
                     Utf16(QStringLiteral("[S]\r\nk=上\r\nw=売€\r\n\r\n"), false)},
        EncodingCase{"Utf16Be", Utf16(QStringLiteral("[S]\nk=上"), true),
                     TMemIniFile::TEncoding::Utf16BE,
                     Utf16(QStringLiteral("[S]\r\nk=上\r\nw=売€\r\n\r\n"), true)},
        EncodingCase{"Cp932", "[S]\r\nk=\x8F\xE3\r\n", TMemIniFile::TEncoding::Ansi,
                     "[S]\r\nk=\x8F\xE3\r\nw=\x94\x84?\r\n\r\n"},
        EncodingCase{"EmptyFile", "", TMemIniFile::TEncoding::Ansi, "[S]\r\nw=\x94\x84?\r\n\r\n"}),
    CaseName());

TEST_F(IniFolder, CharacterOutsideCp932ComesBackAsQuestionMark)
{
    const QString path = PathOf(QStringLiteral("q.ini"));
    TMemIniFile ini(path);
    ini.WriteString(S, K, QString::fromUtf8("売上\xF0\x9F\x98\x80€한"));
    ini.UpdateFile();
    EXPECT_EQ(TMemIniFile(path).ReadString(S, K, QString()), QStringLiteral("売上???"));
}

TEST_F(IniFolder, EnormousLineIsReadInLinearTime)
{
    QByteArray big(8 * 1024 * 1024, 'x');
    const QString path = WriteBytes(QStringLiteral("big.ini"), "[S]\r\nk=" + big + "\r\nz=1\r\n");
    QElapsedTimer timer;
    timer.start();
    const TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadString(S, K, QString()).size(), big.size());
    EXPECT_EQ(ini.ReadInteger(S, QStringLiteral("z"), 0), 1);
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(IniFolder, RandomBytesNeverCrashAndSettleAfterOneSave)
{
    QRandomGenerator random(20260101);
    const QByteArray prefixes[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "[S]\r\n"};
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes = prefixes[round % 5];
        const int size = static_cast<int>(random.bounded(600));
        for (int i = 0; i < size; ++i) {
            // Lean on the bytes the reader cares about.
            static const char special[] = "[]=;\r\n \x81\x82\x00";
            bytes.append(random.bounded(3) == 0 ? special[random.bounded(int(sizeof special))]
                                                : static_cast<char>(random.bounded(256)));
        }
        const QString path = WriteBytes(QStringLiteral("r.ini"), bytes);
        TMemIniFile(path).UpdateFile();
        const QByteArray saved = Bytes(path);
        // Whatever came in, one save reaches a form that the next save keeps byte for byte.
        TMemIniFile(path).UpdateFile();
        EXPECT_EQ(Bytes(path), saved) << "round " << round;
    }
}

} // namespace
