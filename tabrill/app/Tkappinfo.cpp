#include "tabrill/app/Tkappinfo.h"

#include "platform/Exception.h"
#include "platform/ini/MemIniFile.h"
#include "platform/resources/ProgramResources.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>

namespace {

QString NoVersionInfoText()
{
    return QStringLiteral("バージョン情報を取得できません");
}

constexpr quint16 BinaryType = 0;
constexpr quint16 TextType = 1;
constexpr quint32 FixedInfoSignature = 0xFEEF04BD;
constexpr int FixedInfoSize = 52;
// Deeper than any real block (root, file info, table, string); stops a hostile block early.
constexpr int MaxDepth = 8;

constexpr qsizetype Align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

// One node of the block, located without trusting any length in it.
struct TNode
{
    QString Key;
    quint16 Type = 0;
    qsizetype ValueStart = 0;
    qsizetype ValueSize = 0; // bytes
    qsizetype ChildrenStart = 0;
    qsizetype End = 0;
};

quint16 U16(const QByteArray& block, qsizetype offset)
{
    return qFromLittleEndian<quint16>(block.constData() + offset);
}

std::optional<TNode> ParseNode(const QByteArray& block, qsizetype offset, qsizetype limit)
{
    if (offset < 0 || offset + 6 > limit)
        return std::nullopt;
    const qsizetype length = U16(block, offset);
    if (length < 6 || offset + length > limit)
        return std::nullopt;
    TNode node;
    node.End = offset + length;
    const quint16 valueLength = U16(block, offset + 2);
    node.Type = U16(block, offset + 4);

    qsizetype at = offset + 6;
    for (;;) {
        if (at + 2 > node.End)
            return std::nullopt; // the key has no terminating NUL
        const char16_t c = U16(block, at);
        at += 2;
        if (c == 0)
            break;
        node.Key.append(QChar(c));
    }
    node.ValueStart = qMin(Align4(at), node.End);
    // Text values count characters, binary values bytes; a length beyond the node is cut to it.
    const qsizetype wanted = node.Type == TextType ? qsizetype(valueLength) * 2 : valueLength;
    node.ValueSize = qMin(wanted, node.End - node.ValueStart);
    node.ChildrenStart = qMin(Align4(node.ValueStart + node.ValueSize), node.End);
    return node;
}

std::optional<TNode> FindChild(const QByteArray& block, const TNode& parent, QStringView key)
{
    qsizetype at = parent.ChildrenStart;
    while (Align4(at) + 6 <= parent.End) {
        at = Align4(at);
        const std::optional<TNode> child = ParseNode(block, at, parent.End);
        if (!child)
            return std::nullopt;
        if (key.compare(child->Key, Qt::CaseInsensitive) == 0)
            return child;
        at = child->End;
    }
    return std::nullopt;
}

std::optional<TNode> Root(const QByteArray& block)
{
    std::optional<TNode> root = ParseNode(block, 0, block.size());
    if (!root || root->Key != QStringLiteral("VS_VERSION_INFO"))
        return std::nullopt;
    return root;
}

// --- Writing ---

void AppendU16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void AppendU32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void AppendText(QByteArray& out, const QString& text)
{
    for (const QChar c : text)
        AppendU16(out, c.unicode());
    AppendU16(out, 0);
}

void Pad4(QByteArray& out)
{
    while (out.size() % 4 != 0)
        out.append('\0');
}

QByteArray MakeNode(const QString& key, quint16 type, const QByteArray& value, quint16 valueLength,
                    const std::vector<QByteArray>& children = {})
{
    QByteArray out;
    AppendU16(out, 0); // length, set below
    AppendU16(out, valueLength);
    AppendU16(out, type);
    AppendText(out, key);
    Pad4(out);
    out.append(value);
    for (const QByteArray& child : children) {
        Pad4(out);
        out.append(child);
    }
    if (out.size() > 0xFFFF)
        throw Exception(QStringLiteral("The version block entry \"%1\" is too large.").arg(key));
    qToLittleEndian(static_cast<quint16>(out.size()), out.data());
    return out;
}

QByteArray StringNode(const QString& key, const QString& value)
{
    QByteArray text;
    AppendText(text, value);
    return MakeNode(key, TextType, text, static_cast<quint16>(value.size() + 1));
}

QByteArray FixedFileInfo(const VersionInfo::TVersionBlockSpec& spec)
{
    const auto high = [](const std::array<quint16, 4>& v) { return quint32(v[0]) << 16 | v[1]; };
    const auto low = [](const std::array<quint16, 4>& v) { return quint32(v[2]) << 16 | v[3]; };
    QByteArray out;
    AppendU32(out, FixedInfoSignature);
    AppendU32(out, 0x00010000); // structure version 1.0
    AppendU32(out, high(spec.FileVersion));
    AppendU32(out, low(spec.FileVersion));
    AppendU32(out, high(spec.ProductVersion));
    AppendU32(out, low(spec.ProductVersion));
    AppendU32(out, 0x3F);    // flags mask
    AppendU32(out, 0);       // flags
    AppendU32(out, 0x40004); // VOS_NT_WINDOWS32
    AppendU32(out, 1);       // VFT_APP
    AppendU32(out, 0);       // subtype
    AppendU32(out, 0);       // date, high
    AppendU32(out, 0);       // date, low
    return out;
}

} // namespace

QString StringTableName(quint32 translation)
{
    return QStringLiteral("%1%2")
        .arg(translation & 0xFFFF, 4, 16, QLatin1Char('0'))
        .arg(translation >> 16, 4, 16, QLatin1Char('0'))
        .toUpper();
}

// --- TkAppInfo ---

TkAppInfo::TkAppInfo() : TkAppInfo(QCoreApplication::applicationFilePath()) {}

TkAppInfo::TkAppInfo(const QString& programFile)
{
    std::optional<QByteArray> block = VersionInfo::GetFileVersionInfo(programFile);
    if (!block || block->isEmpty())
        throw Exception(NoVersionInfoText());
    VersionData = std::move(*block);
    // A block without a translation table leaves 0, under which no string is found.
    const std::vector<quint32> translations = VersionInfo::Translations(VersionData);
    Translation = translations.empty() ? 0 : translations.front();
}

QString TkAppInfo::KeyOf(TkAppInfoItem item)
{
    switch (item) {
    case aiComments:
        return QStringLiteral("Comments");
    case aiCompanyName:
        return QStringLiteral("CompanyName");
    case aiFileDescription:
        return QStringLiteral("FileDescription");
    case aiFileVersion:
        return QStringLiteral("FileVersion");
    case aiInternalName:
        return QStringLiteral("InternalName");
    case aiLegalCopyright:
        return QStringLiteral("LegalCopyright");
    case aiLegalTradeMarks:
        return QStringLiteral("LegalTradeMarks");
    case aiOriginalFilename:
        return QStringLiteral("OriginalFilename");
    case aiPrivateBuild:
        return QStringLiteral("PrivateBuild");
    case aiProductName:
        return QStringLiteral("ProductName");
    case aiProductVersion:
        return QStringLiteral("ProductVersion");
    case aiNone:
        break;
    }
    return QString();
}

QString TkAppInfo::QueryPath(quint32 translation, const QString& key)
{
    return QStringLiteral("\\StringFileInfo\\") + StringTableName(translation) + u'\\' + key;
}

QString TkAppInfo::GetValue(TkAppInfoItem item) const
{
    const QString key = KeyOf(item);
    if (key.isEmpty())
        return QString(); // the path would end in the string table itself, which holds no text
    const std::optional<VersionInfo::TQueryValue> value =
        VersionInfo::QueryValue(VersionData, QueryPath(Translation, key));
    return value && value->IsText ? value->Text : QString();
}

// --- Reading a block ---

namespace VersionInfo {

std::optional<QByteArray> GetFileVersionInfo(const QString& programFile)
{
    std::optional<QByteArray> block =
        Platform::ReadProgramResource(programFile, Platform::VersionResourceName());
    if (!block || !Root(*block))
        return std::nullopt;
    return block;
}

std::optional<TQueryValue> QueryValue(const QByteArray& block, QStringView path)
{
    std::optional<TNode> node = Root(block);
    if (!node)
        return std::nullopt;
    int depth = 0;
    for (const QStringView key : path.split(u'\\', Qt::SkipEmptyParts)) {
        if (++depth > MaxDepth)
            return std::nullopt;
        node = FindChild(block, *node, key);
        if (!node)
            return std::nullopt;
    }
    TQueryValue value;
    const QByteArray bytes = block.mid(node->ValueStart, node->ValueSize);
    value.IsText = node->Type == TextType;
    if (value.IsText) {
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
            const char16_t c = qFromLittleEndian<quint16>(bytes.constData() + i);
            if (c == 0)
                break;
            value.Text.append(QChar(c));
        }
    } else {
        value.Bytes = bytes;
    }
    return value;
}

std::vector<quint32> Translations(const QByteArray& block)
{
    std::vector<quint32> result;
    const std::optional<TQueryValue> value = QueryValue(block, u"\\VarFileInfo\\Translation");
    if (!value || value->IsText)
        return result;
    for (qsizetype i = 0; i + 4 <= value->Bytes.size(); i += 4)
        result.push_back(qFromLittleEndian<quint32>(value->Bytes.constData() + i));
    return result;
}

// --- Writing a block ---

QByteArray BuildVersionBlock(const TVersionBlockSpec& spec)
{
    std::vector<QByteArray> strings;
    for (const auto& [key, value] : spec.Strings)
        strings.push_back(StringNode(key, value));
    const quint32 translation = quint32(spec.CodePage) << 16 | spec.Language;
    const QByteArray table = MakeNode(StringTableName(translation), TextType, {}, 0, strings);
    const QByteArray stringFileInfo =
        MakeNode(QStringLiteral("StringFileInfo"), TextType, {}, 0, {table});

    QByteArray translationValue;
    AppendU32(translationValue, translation);
    const QByteArray var = MakeNode(QStringLiteral("Translation"), BinaryType, translationValue, 4);
    const QByteArray varFileInfo = MakeNode(QStringLiteral("VarFileInfo"), TextType, {}, 0, {var});

    return MakeNode(QStringLiteral("VS_VERSION_INFO"), BinaryType, FixedFileInfo(spec),
                    FixedInfoSize, {stringFileInfo, varFileInfo});
}

std::optional<std::array<quint16, 4>> ParseVersionNumber(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<quint16, 4> result{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint number = parts[i].toUInt(&ok, 10);
        if (!ok || number > 0xFFFF || parts[i].startsWith(u'+'))
            return std::nullopt;
        result[std::size_t(i)] = static_cast<quint16>(number);
    }
    return result;
}

TVersionBlockSpec ReadVersionBlockSpec(const QString& descriptionFile)
{
    if (!QFileInfo(descriptionFile).isFile())
        throw Exception(QStringLiteral("%1: the file does not exist.").arg(descriptionFile));
    const TMemIniFile ini(descriptionFile);
    const auto fail = [&](const QString& what) {
        return Exception(QStringLiteral("%1: %2").arg(descriptionFile, what));
    };
    TVersionBlockSpec spec;
    const auto version = [&](const QString& key) {
        const QString text = ini.ReadString(QStringLiteral("VERSION"), key, QString());
        const std::optional<std::array<quint16, 4>> number = ParseVersionNumber(text);
        if (!number)
            throw fail(
                QStringLiteral("[VERSION] %1 must be four numbers such as 1.0.0.0.").arg(key));
        return *number;
    };
    spec.FileVersion = version(QStringLiteral("FileVersion"));
    spec.ProductVersion = version(QStringLiteral("ProductVersion"));
    const auto word = [&](const QString& key) {
        const int value = ini.ReadInteger(QStringLiteral("TRANSLATION"), key, -1);
        if (value < 0 || value > 0xFFFF)
            throw fail(
                QStringLiteral("[TRANSLATION] %1 must be a number from 0 to 0xFFFF.").arg(key));
        return static_cast<quint16>(value);
    };
    spec.Language = word(QStringLiteral("Language"));
    spec.CodePage = word(QStringLiteral("CodePage"));
    for (const QString& key : ini.ReadSection(QStringLiteral("STRINGS"))) {
        const bool seen = std::any_of(spec.Strings.begin(), spec.Strings.end(), [&](const auto& s) {
            return s.first.compare(key, Qt::CaseInsensitive) == 0;
        });
        if (!seen)
            spec.Strings.emplace_back(key,
                                      ini.ReadString(QStringLiteral("STRINGS"), key, QString()));
    }
    return spec;
}

} // namespace VersionInfo
