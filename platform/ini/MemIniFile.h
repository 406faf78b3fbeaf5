#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// An INI file held in memory, read whole on construction and written whole by UpdateFile.
//
// Reading: the encoding comes from the byte-order mark (UTF-16 LE, UTF-16 BE, UTF-8), otherwise
// the system ANSI code page (CP932). Lines break at CR, LF or CR LF and are trimmed of characters
// up to code 32; empty lines and ";" comments are dropped, as are lines before the first section.
// "[name]" opens a section; inside one, a line splits at its first "=" into a trimmed key and
// value, and a line without "=" is kept as it is and written back. Names match without regard to
// case; a repeated section header continues the earlier section. A missing file reads as empty.
//
// Writing: each section as "[name]", its lines and one empty line, every line ended by CR LF, in
// the encoding (and with the mark) the file was read in; a new file or one without a mark in
// CP932, where characters the code page lacks become "?".
class TMemIniFile
{
public:
    enum class TEncoding
    {
        Ansi,    // CP932, no mark
        Utf8,    // with its mark
        Utf16LE, // with its mark
        Utf16BE, // with its mark
    };

    // Reads the file; raises EFOpenError when it exists but cannot be read.
    explicit TMemIniFile(QString fileName);

    const QString& FileName() const noexcept { return fileName_; }
    TEncoding Encoding() const noexcept { return encoding_; }
    void SetEncoding(TEncoding encoding) noexcept { encoding_ = encoding; }

    // The value after the first "=" of the key's first line, or the default when there is none.
    QString ReadString(const QString& section, const QString& ident,
                       const QString& defaultValue) const;
    // Decimal with an optional sign, or hexadecimal after "$", "x", "X", "0x" or "0X" (after the
    // sign, if any); the default for anything else or a value outside 32 bits.
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    // An integer; any value but 0 is true.
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;

    // An existing key keeps its place; a new key goes to the end of its section, a new section to
    // the end of the file. Line breaks inside a value cannot be stored and become spaces.
    void WriteString(const QString& section, const QString& ident, const QString& value);
    void WriteInteger(const QString& section, const QString& ident, int value);
    void WriteBool(const QString& section, const QString& ident, bool value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& ident) const;
    // Section names in file order.
    QStringList ReadSections() const;
    // Key names of a section in file order; lines without "=" are not keys.
    QStringList ReadSection(const QString& section) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& ident);
    void Clear();

    // The whole file as it would be written, before encoding.
    QString ToText() const;

    // Writes the whole file safely (see ReplaceFileContents); raises EFCreateError.
    void UpdateFile() const;

private:
    struct TLine
    {
        bool hasKey = false;
        QString key;
        QString value; // the whole line when it has no key
    };
    struct TSection
    {
        QString name;
        std::vector<TLine> lines;
    };

    void Parse(const QString& text);
    const TSection* FindSection(const QString& section) const;
    TSection& SectionForWriting(const QString& section);
    void RebuildIndex();

    QString fileName_;
    TEncoding encoding_ = TEncoding::Ansi;
    std::vector<TSection> sections_;
    QHash<QString, std::size_t> sectionIndex_; // case-folded name to position in sections_
};
