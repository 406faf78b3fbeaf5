#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// The string keys of a version block that TkAppInfo can look up.
enum TkAppInfoItem : int
{
    aiComments,
    aiCompanyName,
    aiFileDescription,
    aiFileVersion,
    aiInternalName,
    aiLegalCopyright,
    aiLegalTradeMarks,
    aiOriginalFilename,
    aiPrivateBuild,
    aiProductName,
    aiProductVersion,
    aiNone,
};

// Reads the version block of the running program (or of another program file) and looks up its
// strings in the table of its first translation.
class TkAppInfo
{
public:
    // The running program's block; raises Exception("バージョン情報を取得できません") when
    // the program file carries none or cannot be read.
    TkAppInfo();
    // The same for any program file.
    explicit TkAppInfo(const QString& programFile);

    TkAppInfo(const TkAppInfo&) = delete;
    TkAppInfo& operator=(const TkAppInfo&) = delete;

    // The first entry of the translation table: low 16 bits the language, high 16 bits the code
    // page; 0 when the block has no translation table.
    quint32 Translation = 0;
    // A copy of the whole version block.
    QByteArray VersionData;

    // The string of that key in the first translation's table; empty text when there is none.
    // aiNone and values outside the enumeration ask for the empty key, which names no string.
    QString GetValue(TkAppInfoItem item) const;

    // "Comments", "CompanyName", ...; empty for aiNone and values outside the enumeration.
    static QString KeyOf(TkAppInfoItem item);
    // "\StringFileInfo\041103A4\FileVersion" for translation 0x03A40411 and that key.
    static QString QueryPath(quint32 translation, const QString& key);
};

// "041103A4" for translation 0x03A40411: language, then code page, as upper-case hexadecimal.
QString StringTableName(quint32 translation);

// The version block in the layout of a Windows version resource (VS_VERSIONINFO): nodes of
// (u16 length, u16 value length, u16 type, UTF-16 key, padding, value, padding, children), all
// little-endian and aligned to 4 bytes. The build writes it into the program file's resource
// section under the name VERSION; the functions below read it back the way Windows does.
namespace VersionInfo {

// The block of a program file; nothing when the file cannot be read or carries no block.
std::optional<QByteArray> GetFileVersionInfo(const QString& programFile);

// What a query path names: a node's value, either text or bytes.
struct TQueryValue
{
    bool IsText = false;
    QString Text;     // for text values, up to the first NUL
    QByteArray Bytes; // for binary values
};

// Resolves a query path such as "\", "\VarFileInfo\Translation" or
// "\StringFileInfo\041103A4\FileVersion" in the block; keys match without regard to case.
// Nothing when the block is damaged or the path names no node.
std::optional<TQueryValue> QueryValue(const QByteArray& block, QStringView path);

// The translation table ("\VarFileInfo\Translation"): low half language, high half code page.
std::vector<quint32> Translations(const QByteArray& block);

// What a version block holds; the build tool writes one from a description file.
struct TVersionBlockSpec
{
    std::array<quint16, 4> FileVersion{};
    std::array<quint16, 4> ProductVersion{};
    quint16 Language = 0;
    quint16 CodePage = 0;
    std::vector<std::pair<QString, QString>> Strings; // in the order written
};

QByteArray BuildVersionBlock(const TVersionBlockSpec& spec);

// "0.6.0.0" as four numbers; nothing for anything else.
std::optional<std::array<quint16, 4>> ParseVersionNumber(const QString& text);

// Reads a description (an INI file):
//   [VERSION]      FileVersion=0.6.0.0, ProductVersion=0.6.0.0
//   [TRANSLATION]  Language=0x0411, CodePage=0x03A4
//   [STRINGS]      one key per string, in order
// Raises Exception naming the file and the fault when a required value is missing or invalid.
TVersionBlockSpec ReadVersionBlockSpec(const QString& descriptionFile);

} // namespace VersionInfo
