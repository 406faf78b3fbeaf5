#include "platform/ini/AnsiCodePage.h"

#include "tests/platform/ini/IniTestSupport.h"

#include <gtest/gtest.h>

using Platform::AnsiToUnicode;
using Platform::UnicodeToAnsi;

namespace {

struct CodePageCase
{
    const char* name;
    QByteArray bytes;
    QString text;
};

void PrintTo(const CodePageCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodePageRoundTrip : public ::testing::TestWithParam<CodePageCase>
{
};

TEST_P(CodePageRoundTrip, DecodesAndEncodesBothWays)
{
    EXPECT_EQ(AnsiToUnicode(GetParam().bytes), GetParam().text);
    EXPECT_EQ(UnicodeToAnsi(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cp932, CodePageRoundTrip,
    ::testing::Values(CodePageCase{"Ascii", QByteArray("Word=abc"), QStringLiteral("Word=abc")},
                      CodePageCase{"Kanji", QByteArray("\x94\x84\x8F\xE3"), QStringLiteral("売上")},
                      CodePageCase{"Hiragana", QByteArray("\x82\xA0"), QStringLiteral("あ")},
                      CodePageCase{"HalfWidthKatakana", QByteArray("\xB1"), QStringLiteral("ｱ")},
                      // Windows maps 0x8160 to the full-width tilde, not to the wave dash.
                      CodePageCase{"FullWidthTilde", QByteArray("\x81\x60"), QStringLiteral("～")},
                      // NEC special characters exist only in the Microsoft variant.
                      CodePageCase{"CircledDigitOne", QByteArray("\x87\x40"), QStringLiteral("①")},
                      // 0x5C is the backslash of paths, not a yen sign.
                      CodePageCase{"Backslash", QByteArray("C:\\w\\a.TBR"),
                                   QStringLiteral("C:\\w\\a.TBR")},
                      CodePageCase{"Empty", QByteArray(), QString()}),
    CaseName());

TEST(CodePage, UnmappableCharactersBecomeOneQuestionMarkEach)
{
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("a€b")), QByteArray("a?b"));
    // A surrogate pair is one character.
    EXPECT_EQ(UnicodeToAnsi(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QByteArray("x?y"));
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("Ω한")), QByteArray("\x83\xB6?"));
}

TEST(CodePage, LoneSurrogatesBecomeQuestionMarks)
{
    QString text = QStringLiteral("a");
    text += QChar(0xD800);
    text += u'b';
    text += QChar(0xDC00);
    text += QChar(0xD83D); // a high surrogate at the very end
    EXPECT_EQ(UnicodeToAnsi(text), QByteArray("a?b??"));
}

TEST(CodePage, InvalidBytesBecomeReplacementAndDecodingGoesOn)
{
    // A lead byte followed by a space keeps the space; a lead byte at the end is one replacement.
    EXPECT_EQ(AnsiToUnicode(QByteArray("\x81 a")), QStringLiteral("\uFFFD a"));
    EXPECT_EQ(AnsiToUnicode(QByteArray("ab\x94")), QStringLiteral("ab\uFFFD"));
    EXPECT_EQ(AnsiToUnicode(QByteArray("\xFF"
                                       "c")),
              QStringLiteral("\uFFFDc"));
}

TEST(CodePage, NulBytesAreKept)
{
    const QByteArray bytes("a\0b", 3);
    const QString text = AnsiToUnicode(bytes);
    ASSERT_EQ(text.size(), 3);
    EXPECT_EQ(text[1], QChar(0));
    EXPECT_EQ(UnicodeToAnsi(text), bytes);
}

} // namespace
