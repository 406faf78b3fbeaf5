// Any bytes as an INI file: read it with every accessor, write it back, read it again, and the
// second reading must hold what the first one did.

#include "platform/Exception.h"
#include "platform/ini/AnsiCodePage.h"
#include "platform/ini/CommaText.h"
#include "platform/ini/MemIniFile.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

QString g_path; // a private file on a memory file system, rewritten by every run

[[noreturn]] void Fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "ini_reader: %s\n%s\n", what, qUtf8Printable(detail));
    std::abort();
}

void Check(bool condition, const char* what, const QString& detail = {})
{
    if (!condition)
        Fail(what, detail);
}

void WriteBytes(const std::uint8_t* data, std::size_t size)
{
    QFile file(g_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        Fail("cannot write the input file");
}

QByteArray FileBytes()
{
    QFile file(g_path);
    if (!file.open(QIODevice::ReadOnly))
        Fail("cannot read the written file");
    return file.readAll();
}

bool Blank(QChar c)
{
    return c.unicode() <= 32;
}

QString Trimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && Blank(text[begin]))
        ++begin;
    while (end > begin && Blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// What text becomes once stored in the file's encoding and read back. Only the code page loses
// anything: characters it lacks become "?" and its duplicate codes collapse into one.
QString Stored(const QString& text, TMemIniFile::TEncoding encoding)
{
    if (encoding != TMemIniFile::TEncoding::Ansi)
        return text;
    return Platform::AnsiToUnicode(Platform::UnicodeToAnsi(text));
}

// Every accessor over everything the file holds; the answers must agree with each other.
void ReadEverything(const TMemIniFile& ini)
{
    const QStringList sections = ini.ReadSections();
    for (const QString& section : sections) {
        Check(ini.SectionExists(section), "a listed section does not exist", section);
        Check(ini.SectionExists(section.toUpper()) || section.toUpper().toCaseFolded() !=
                                                          section.toCaseFolded(),
              "section names are not matched without regard to case", section);
        for (const QString& key : ini.ReadSection(section)) {
            Check(ini.ValueExists(section, key), "a listed key does not exist", key);
            const QString value = ini.ReadString(section, key, QStringLiteral("\x01"));
            const int asInteger = ini.ReadInteger(section, key, 0);
            const bool parses = ini.ReadInteger(section, key, 1) == asInteger;
            if (parses) {
                Check(ini.ReadBool(section, key, false) == (asInteger != 0) &&
                          ini.ReadBool(section, key, true) == (asInteger != 0),
                      "ReadBool disagrees with ReadInteger", value);
            }
            (void)Platform::FromCommaText(value);
        }
    }
    Check(!ini.SectionExists(QStringLiteral("\x01 no such section")), "a made-up section exists");
}

// Erases one section and deletes one key of another, chosen by pick; everything else stays.
void EraseAndDelete(TMemIniFile& ini, std::uint8_t pick)
{
    const QStringList sections = ini.ReadSections();
    if (sections.isEmpty())
        return;
    std::vector<QStringList> keys;
    for (const QString& section : sections)
        keys.push_back(ini.ReadSection(section));

    const qsizetype erased = pick % sections.size();
    ini.EraseSection(sections[erased]);
    Check(!ini.SectionExists(sections[erased]), "an erased section still exists", sections[erased]);
    QStringList left = sections;
    left.removeAt(erased);
    Check(ini.ReadSections() == left, "erasing a section changed the others");
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (i != erased)
            Check(ini.ReadSection(sections[i]) == keys[std::size_t(i)],
                  "erasing a section changed another one's keys", sections[i]);
    }

    if (left.isEmpty())
        return;
    const QString section = left[(pick / 7) % left.size()];
    const QStringList before = ini.ReadSection(section);
    if (before.isEmpty())
        return;
    const QString key = before[(pick / 3) % before.size()];
    // Named in another case where that names the same key.
    const QString lower = key.toLower();
    ini.DeleteKey(section, lower.compare(key, Qt::CaseInsensitive) == 0 ? lower : key);
    Check(!ini.ValueExists(section, key), "a deleted key still exists", key);
    QStringList expected;
    for (const QString& other : before) {
        if (other.compare(key, Qt::CaseInsensitive) != 0)
            expected.append(other);
    }
    Check(ini.ReadSection(section) == expected, "deleting a key changed the others", key);
}

// Splitting and joining comma text are each other's inverse on what splitting gives.
void CheckCommaText(const QString& value)
{
    const QStringList entries = Platform::FromCommaText(value);
    const QString joined = Platform::ToCommaText(entries);
    const QStringList again = Platform::FromCommaText(joined);
    Check(again == entries, "comma text does not survive a join and a split",
          value + QStringLiteral("\n->\n") + joined);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/dev/shm/tabrill-fuzz-ini-XXXXXX";
    char fallback[] = "/tmp/tabrill-fuzz-ini-XXXXXX";
    const char* made = ::mkdtemp(folder);
    if (!made)
        made = ::mkdtemp(fallback);
    if (!made)
        Fail("cannot make a private folder");
    g_path = QString::fromLocal8Bit(made) + QStringLiteral("/input.ini");
    static const std::string cleanup = made;
    std::atexit([] {
        std::remove((cleanup + "/input.ini").c_str());
        ::rmdir(cleanup.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (g_path.isEmpty())
        LLVMFuzzerInitialize(nullptr, nullptr);
    WriteBytes(data, size);

    try {
        TMemIniFile first(g_path);
        const TMemIniFile::TEncoding encoding = first.Encoding();
        ReadEverything(first);
        const QString firstText = first.ToText();
        for (const QString& section : first.ReadSections()) {
            for (const QString& key : first.ReadSection(section))
                CheckCommaText(first.ReadString(section, key, {}));
        }

        // Written in the encoding it was read in, and read back.
        first.UpdateFile();
        TMemIniFile second(g_path);
        Check(second.Encoding() == encoding, "the encoding changed on the way back");
        const QString secondText = second.ToText();
        const QString expected = Stored(firstText, encoding);
        // Two section names that differ only in characters the code page lacks become one name,
        // and the sections merge; only then may the texts differ.
        const bool merged = encoding == TMemIniFile::TEncoding::Ansi &&
                            second.ReadSections().size() != first.ReadSections().size();
        if (!merged)
            Check(secondText == expected, "the file does not read back as it was written",
                  expected + QStringLiteral("\n---- read back ----\n") + secondText);
        for (const QString& section : first.ReadSections()) {
            const QString storedSection = Stored(section, encoding);
            Check(second.SectionExists(storedSection), "a section was lost", section);
            if (merged)
                continue;
            const QStringList keys = first.ReadSection(section);
            for (const QString& key : keys) {
                // A key is looked up by its first line; two keys that become one name once their
                // missing characters are "?" both answer the first one's value.
                const QString storedKey = Stored(key, encoding);
                const auto sameName = [&](const QString& other) {
                    return other.compare(key, Qt::CaseInsensitive) == 0 ||
                           Stored(other, encoding).compare(storedKey, Qt::CaseInsensitive) == 0;
                };
                if (std::count_if(keys.begin(), keys.end(), sameName) != 1)
                    continue;
                const QString value = first.ReadString(section, key, {});
                const QString readBack = second.ReadString(storedSection, storedKey, QStringLiteral("\x01"));
                Check(readBack == Stored(value, encoding), "a value changed",
                      section + u'/' + key + u'=' + value + QStringLiteral("\n---- read back ----\n") +
                          readBack);
            }
        }

        // Written once more, the bytes no longer change: what was lost is lost on the first write.
        const QByteArray written = FileBytes();
        second.UpdateFile();
        const QByteArray rewritten = FileBytes();
        Check(rewritten == written, "writing the same content twice gave different bytes",
              QString::fromLatin1(written.toHex(' ')) + QStringLiteral("\n---- then ----\n") +
                  QString::fromLatin1(rewritten.toHex(' ')));

        EraseAndDelete(second, size > 0 ? data[size / 2] : 0);

        // Values and numbers written through the API read back as written: line breaks become
        // spaces and the ends are trimmed, as a line of the file is.
        const QString word = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                               qsizetype(std::min<std::size_t>(size, 200)));
        int number = 0;
        if (size > 0)
            std::memcpy(&number, data, std::min(size, sizeof number));
        second.WriteString(QStringLiteral("SEARCH"), QStringLiteral("Word"), word);
        second.WriteInteger(QStringLiteral("SEARCH"), QStringLiteral("SearchOrder"), number);
        second.WriteBool(QStringLiteral("SEARCH"), QStringLiteral("MatchCase"), (number & 1) != 0);
        second.UpdateFile();
        const TMemIniFile third(g_path);
        QString oneLine = word;
        oneLine.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
        Check(third.ReadString(QStringLiteral("search"), QStringLiteral("WORD"), {}) ==
                  Stored(Trimmed(oneLine), encoding),
              "a written value reads back changed", word);
        Check(third.ReadInteger(QStringLiteral("SEARCH"), QStringLiteral("SearchOrder"), ~number) ==
                  number,
              "a written number reads back changed", QString::number(number));
        Check(third.ReadBool(QStringLiteral("SEARCH"), QStringLiteral("MatchCase"), (number & 1) == 0) ==
                  ((number & 1) != 0),
              "a written flag reads back changed");

    } catch (const Exception& error) {
        // Only a file that cannot be read or written raises; this one is ours and plain.
        Fail("unexpected file error", error.Message());
    }
    return 0;
}
