#include "extbinder/Tlinkextentionwinxp.h"

#include "platform/Exception.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Icons.h"
#include "platform/shell/ShellNotify.h"

using namespace Qt::StringLiterals;

namespace {
const QString WrongExtension = u"拡張子に間違いがあります。"_s;
const QString CannotChange = u"レジストリを変更できませんでした。"_s;

// Opens (creating) a key from the root of HKEY_CLASSES_ROOT, sets its default value and closes it.
void SetDefaultValue(const QString& key, const QString& value)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKey(u"\\"_s + key, true))
        throw Exception(CannotChange);
    registry.WriteString(QString(), value);
    registry.CloseKey();
}

// The default value of an existing key of HKEY_CLASSES_ROOT; empty when the key does not open.
QString ReadDefaultValue(const QString& key)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(u"\\"_s + key))
        return QString();
    return registry.ReadString(QString());
}

void NotifyAssociationChanged()
{
    Platform::SHChangeNotify(Platform::SHCNE_ASSOCCHANGED, Platform::SHCNF_IDLIST, nullptr,
                             nullptr);
}
} // namespace

void TLinkExtentionWinXp::Link(const QString& ext, const QString& command, const QString& iconFile,
                               int iconIndex, const QString& fileType)
{
    // A backslash would make the extension a path and write outside its own key.
    if (ext.size() < 2 || !ext.startsWith(u'.') || ext.contains(u'\\'))
        throw Exception(WrongExtension);
    const QString stem = ext.mid(1);
    const QString progId = stem + u"File"_s;

    SetDefaultValue(ext, progId);
    SetDefaultValue(progId, fileType.isEmpty() ? stem + u"ファイル"_s : fileType);
    SetDefaultValue(progId + u"\\Shell\\open\\command"_s, command);
    if (!iconFile.isEmpty()) {
        SetDefaultValue(progId + u"\\DefaultIcon"_s, iconFile + u',' + QString::number(iconIndex));
        NotifyAssociationChanged();
    }
}

void TLinkExtentionWinXp::Unlink(const QString& ext)
{
    if (ext.isEmpty() || ext.contains(u'\\'))
        throw Exception(WrongExtension);
    const QString progId = GetProgId(ext);
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    registry.DeleteKey(u"\\"_s + ext);
    if (!progId.isEmpty())
        registry.DeleteKey(u"\\"_s + progId);
    NotifyAssociationChanged();
}

QString TLinkExtentionWinXp::GetProgId(const QString& ext)
{
    if (ext.isEmpty())
        return QString();
    return ReadDefaultValue(ext);
}

QString TLinkExtentionWinXp::GetCommand(const QString& ext)
{
    const QString progId = GetProgId(ext);
    if (progId.isEmpty())
        return QString();
    return ReadDefaultValue(progId + u"\\Shell\\open\\command"_s);
}

QString TLinkExtentionWinXp::GetFileType(const QString& ext)
{
    const QString progId = GetProgId(ext);
    if (progId.isEmpty())
        return QString();
    return ReadDefaultValue(progId);
}

TLinkExtention::TIconInfo TLinkExtentionWinXp::GetIconInfo(const QString& ext)
{
    const QString progId = GetProgId(ext);
    if (progId.isEmpty())
        return {};
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(u"\\"_s + progId + u"\\DefaultIcon"_s))
        return {};
    const QString value = registry.ReadString(QString());
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0)
        return {value, 0};
    bool ok = false;
    const int index = value.mid(comma + 1).toInt(&ok, 10);
    return {value.left(comma), ok ? index : 0};
}

QString TLinkExtentionWinXp::GetProgramFile(const QString& ext)
{
    QString command = GetCommand(ext);
    if (command.isEmpty())
        return QString();
    QChar delimiter = u' ';
    if (command.startsWith(u'"')) {
        command.remove(0, 1);
        delimiter = u'"';
    }
    const qsizetype end = command.indexOf(delimiter);
    return end < 0 ? command : command.left(end);
}

QImage TLinkExtentionWinXp::GetShellIcon(const QString& ext)
{
    return Platform::GetShellFileIcon(ext, true);
}
