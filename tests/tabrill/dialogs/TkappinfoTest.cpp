#include "tabrill/app/Tkappinfo.h"

#include "platform/Exception.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

using namespace VersionInfo;

namespace {

const QString EnglishSample = QStringLiteral(VERSION_SAMPLE_ENGLISH);

TVersionBlockSpec SmallSpec()
{
    TVersionBlockSpec spec;
    spec.FileVersion = {1, 2, 3, 4};
    spec.ProductVersion = {5, 6, 7, 8};
    spec.Language = 0x0409;
    spec.CodePage = 0x04E4;
    spec.Strings = {{QStringLiteral("A"), QStringLiteral("b")}};
    return spec;
}

quint16 U16At(const QByteArray& block, qsizetype offset)
{
    return qFromLittleEndian<quint16>(block.constData() + offset);
}

// Offsets worked out by hand from the layout of a Windows version resource: every node starts
// on a 4-byte boundary, its key is UTF-16 with a NUL, its value follows on a 4-byte boundary.
TEST(VersionBlockTest, TheWrittenBlockHasTheLayoutOfAWindowsVersionResource)
{
    const QByteArray block = BuildVersionBlock(SmallSpec());
    ASSERT_EQ(block.size(), 236);
    EXPECT_EQ(U16At(block, 0), 236); // VS_VERSION_INFO
    EXPECT_EQ(U16At(block, 2), 52);  // VS_FIXEDFILEINFO
    EXPECT_EQ(U16At(block, 4), 0);   // binary
    EXPECT_EQ(qFromLittleEndian<quint32>(block.constData() + 40), 0xFEEF04BDu);
    EXPECT_EQ(qFromLittleEndian<quint32>(block.constData() + 48), 0x00010002u); // file 1.2
    EXPECT_EQ(qFromLittleEndian<quint32>(block.constData() + 52), 0x00030004u); // file 3.4
    EXPECT_EQ(qFromLittleEndian<quint32>(block.constData() + 56), 0x00050006u); // product 5.6
    EXPECT_EQ(U16At(block, 92), 76);                                            // StringFileInfo
    EXPECT_EQ(U16At(block, 128), 40); // string table 040904E4
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(block.constData() + 134), 8),
              QStringLiteral("040904E4"));
    EXPECT_EQ(U16At(block, 152), 16); // the string A
    EXPECT_EQ(U16At(block, 154), 2);  // "b" and its NUL, in characters
    EXPECT_EQ(U16At(block, 156), 1);  // text
    EXPECT_EQ(U16At(block, 164), u'b');
    EXPECT_EQ(U16At(block, 168), 68); // VarFileInfo
    EXPECT_EQ(U16At(block, 200), 36); // Translation
    EXPECT_EQ(U16At(block, 202), 4);
    EXPECT_EQ(block.mid(232, 4), QByteArray("\x09\x04\xE4\x04", 4));
}

TEST(VersionBlockTest, QueriesFindTheRootTheTranslationsAndTheStrings)
{
    TVersionBlockSpec spec = SmallSpec();
    spec.Strings.emplace_back(QStringLiteral("Empty"), QString());
    spec.Strings.emplace_back(QStringLiteral("Japanese"), QStringLiteral("検索ソフト"));
    const QByteArray block = BuildVersionBlock(spec);

    const std::optional<TQueryValue> root = QueryValue(block, u"\\");
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->IsText);
    ASSERT_EQ(root->Bytes.size(), 52);
    EXPECT_EQ(qFromLittleEndian<quint32>(root->Bytes.constData()), 0xFEEF04BDu);

    EXPECT_EQ(Translations(block), std::vector<quint32>{0x04E40409u});

    const auto text = [&](const char16_t* path) -> QString {
        const std::optional<TQueryValue> value = QueryValue(block, QStringView(path));
        return value && value->IsText ? value->Text : QStringLiteral("<none>");
    };
    EXPECT_EQ(text(u"\\StringFileInfo\\040904E4\\A"), QStringLiteral("b"));
    EXPECT_EQ(text(u"\\stringfileinfo\\040904e4\\a"), QStringLiteral("b")) << "keys ignore case";
    EXPECT_EQ(text(u"\\StringFileInfo\\040904E4\\Empty"), QString());
    EXPECT_EQ(text(u"\\StringFileInfo\\040904E4\\Japanese"), QStringLiteral("検索ソフト"));
    EXPECT_EQ(text(u"\\StringFileInfo\\040904E4\\Missing"), QStringLiteral("<none>"));
    EXPECT_EQ(text(u"\\StringFileInfo\\041103A4\\A"), QStringLiteral("<none>"));
    EXPECT_EQ(text(u"\\StringFileInfo\\040904E4\\"), QString()) << "the table holds no text";
}

struct DamageCase
{
    const char* name;
    friend void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }
    std::function<void(QByteArray&)> damage;
};

class DamagedBlockTest : public ::testing::TestWithParam<DamageCase>
{
};

TEST_P(DamagedBlockTest, ADamagedBlockAnswersNothingAndNeverReadsOutsideIt)
{
    QByteArray block = BuildVersionBlock(SmallSpec());
    GetParam().damage(block);
    // Kept in a block of its own size, so that the sanitizer sees any read beyond it.
    const QByteArray exact(block.constData(), block.size());
    EXPECT_FALSE(QueryValue(exact, u"\\StringFileInfo\\040904E4\\A").has_value());
    EXPECT_TRUE(Translations(exact).empty());
}

void SetU16(QByteArray& block, qsizetype offset, quint16 value)
{
    qToLittleEndian(value, block.data() + offset);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedBlockTest,
    ::testing::Values(
        DamageCase{"Empty", [](QByteArray& b) { b.clear(); }},
        DamageCase{"HeaderOnly", [](QByteArray& b) { b.truncate(5); }},
        DamageCase{"CutInTheMiddle", [](QByteArray& b) { b.truncate(150); }},
        DamageCase{"RootLongerThanTheBlock", [](QByteArray& b) { SetU16(b, 0, 0xFFFF); }},
        DamageCase{"RootShorterThanItsHeader", [](QByteArray& b) { SetU16(b, 0, 3); }},
        DamageCase{"ChildrenLongerThanTheirParents",
                   [](QByteArray& b) {
                       SetU16(b, 92, 0x7FFF);
                       SetU16(b, 168, 0x7FFF);
                   }},
        DamageCase{"KeyWithoutItsNul",
                   [](QByteArray& b) {
                       for (qsizetype i = 6; i < b.size(); i += 2)
                           SetU16(b, i, u'x');
                   }},
        DamageCase{"NotAVersionBlock", [](QByteArray& b) { SetU16(b, 6, u'W'); }}),
    [](const ::testing::TestParamInfo<DamageCase>& p) { return std::string(p.param.name); });

TEST(VersionBlockTest, ABlockWithoutATranslationTableHasNoTranslations)
{
    QByteArray block = BuildVersionBlock(SmallSpec());
    SetU16(block, 200 + 6, u'X'); // the key "Translation" becomes "Xranslation"
    EXPECT_TRUE(Translations(block).empty());
    EXPECT_TRUE(QueryValue(block, u"\\StringFileInfo\\040904E4\\A").has_value());
}

struct VersionNumberCase
{
    const char* text;
    bool valid;
};

class VersionNumberTest : public ::testing::TestWithParam<VersionNumberCase>
{
};

TEST_P(VersionNumberTest, FourNumbersUpTo65535)
{
    EXPECT_EQ(ParseVersionNumber(QString::fromUtf8(GetParam().text)).has_value(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionNumberTest,
    ::testing::Values(VersionNumberCase{"0.6.0.0", true}, VersionNumberCase{"65535.0.0.1", true},
                      VersionNumberCase{"65536.0.0.0", false}, VersionNumberCase{"1.0.0", false},
                      VersionNumberCase{"1.0.0.0.0", false}, VersionNumberCase{"1.-1.0.0", false},
                      VersionNumberCase{"1.+1.0.0", false}, VersionNumberCase{"1.a.0.0", false},
                      VersionNumberCase{"", false}));

TEST(VersionBlockTest, ADescriptionWithABadValueIsRefusedNamingTheFile)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bad.ini"));
    for (const QByteArray& text :
         {QByteArray("[VERSION]\r\nFileVersion=1.0\r\nProductVersion=1.0.0.0\r\n"
                     "[TRANSLATION]\r\nLanguage=1033\r\nCodePage=1252\r\n"),
          QByteArray("[VERSION]\r\nFileVersion=1.0.0.0\r\nProductVersion=1.0.0.0\r\n"
                     "[TRANSLATION]\r\nLanguage=0x10000\r\nCodePage=1252\r\n"),
          QByteArray("[VERSION]\r\nFileVersion=1.0.0.0\r\nProductVersion=1.0.0.0\r\n")}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        try {
            ReadVersionBlockSpec(path);
            ADD_FAILURE() << "accepted: " << text.toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().startsWith(path)) << e.Message().toStdString();
        }
    }
    EXPECT_THROW(ReadVersionBlockSpec(folder.filePath(QStringLiteral("missing.ini"))), Exception);
}

// ---- TkAppInfo on real program files ----

// This test program carries Tabrill's own version block.
TEST(TkAppInfoTest, TheRunningProgramsBlockIsTabrills)
{
    const TkAppInfo info;
    EXPECT_EQ(info.Translation, 0x03A40411u);
    EXPECT_FALSE(info.VersionData.isEmpty());
    EXPECT_EQ(TkAppInfo::QueryPath(info.Translation, TkAppInfo::KeyOf(aiFileVersion)),
              QStringLiteral("\\StringFileInfo\\041103A4\\FileVersion"));
}

struct ItemCase
{
    const char* name;
    friend void PrintTo(const ItemCase& c, std::ostream* os) { *os << c.name; }
    TkAppInfoItem item;
    QString expected;
};

class TkAppInfoItemTest : public ::testing::TestWithParam<ItemCase>
{
};

TEST_P(TkAppInfoItemTest, EachItemIsLookedUpInTheFirstTranslationsTable)
{
    const TkAppInfo info;
    EXPECT_EQ(info.GetValue(GetParam().item), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tabrill, TkAppInfoItemTest,
    ::testing::Values(
        ItemCase{"Comments", aiComments,
                 QStringLiteral(
                     "複数のExcelファイルのすべてのシートを対象にして検索を行うソフトです。")},
        ItemCase{"CompanyName", aiCompanyName, QStringLiteral("Ostrelle")},
        ItemCase{"FileDescription", aiFileDescription, QString()},
        ItemCase{"FileVersion", aiFileVersion, QStringLiteral("0.6.0.0")},
        ItemCase{"InternalName", aiInternalName, QString()},
        ItemCase{"LegalCopyright", aiLegalCopyright, QStringLiteral("Ostrelle")},
        ItemCase{"LegalTradeMarks", aiLegalTradeMarks, QString()},
        ItemCase{"OriginalFilename", aiOriginalFilename, QString()},
        ItemCase{"PrivateBuild", aiPrivateBuild, QString()},
        ItemCase{"ProductName", aiProductName, QStringLiteral("Tabrill")},
        ItemCase{"ProductVersion", aiProductVersion, QStringLiteral("1.0.0.0")},
        ItemCase{"None", aiNone, QString()},
        ItemCase{"OutOfRange", static_cast<TkAppInfoItem>(42), QString()},
        ItemCase{"Negative", static_cast<TkAppInfoItem>(-1), QString()}),
    [](const ::testing::TestParamInfo<ItemCase>& p) { return std::string(p.param.name); });

TEST(TkAppInfoTest, AnotherTranslationIsLookedUpUnderItsOwnTable)
{
    const TkAppInfo info(EnglishSample);
    EXPECT_EQ(info.Translation, 0x04E40409u);
    EXPECT_EQ(TkAppInfo::QueryPath(info.Translation, TkAppInfo::KeyOf(aiFileVersion)),
              QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion"));
    EXPECT_EQ(info.GetValue(aiFileVersion), QStringLiteral("9.8.7.6"));
    EXPECT_EQ(info.GetValue(aiLegalCopyright), QStringLiteral("Example Makers"));
    // Stored as "LegalTrademarks": keys match without regard to case.
    EXPECT_EQ(info.GetValue(aiLegalTradeMarks), QStringLiteral("Example TM"));
    EXPECT_EQ(info.GetValue(aiProductVersion), QString());
}

TEST(TkAppInfoTest, QueryPathsUseFourUpperCaseDigitsForLanguageThenCodePage)
{
    EXPECT_EQ(TkAppInfo::QueryPath(0x03A40411, QStringLiteral("FileVersion")),
              QStringLiteral("\\StringFileInfo\\041103A4\\FileVersion"));
    EXPECT_EQ(TkAppInfo::QueryPath(0x04E40409, QStringLiteral("Comments")),
              QStringLiteral("\\StringFileInfo\\040904E4\\Comments"));
    EXPECT_EQ(TkAppInfo::QueryPath(0x00000007, QString()),
              QStringLiteral("\\StringFileInfo\\00070000\\"));
}

class NoVersionInfoTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(NoVersionInfoTest, AFileWithoutAVersionBlockCannotGiveVersionInformation)
{
    QTemporaryDir folder;
    QString path;
    const std::string kind = GetParam();
    if (kind == "program")
        path = QCoreApplication::applicationDirPath() + QStringLiteral("/Extbinder");
    else if (kind == "missing")
        path = folder.filePath(QStringLiteral("missing"));
    else {
        path = folder.filePath(QStringLiteral("text"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a program");
    }
    try {
        const TkAppInfo info(path);
        ADD_FAILURE() << "version information from " << path.toStdString();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("バージョン情報を取得できません"));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, NoVersionInfoTest, ::testing::Values("program", "missing", "text"));

} // namespace
