#include "platform/registry/Registry.h"

#include "platform/registry/RegistryHive.h"

#include <QDir>
#include <QJsonValue>
#include <QStandardPaths>
#include <QtGlobal>

namespace Hive = Platform::RegistryHive;

namespace {
QString DisplayName(const QString& valueName)
{
    return valueName.isEmpty() ? QStringLiteral("(既定)") : valueName;
}

[[noreturn]] void ThrowSetFailed(const QString& name, const QString& reason = QString())
{
    throw ERegistryException(QStringLiteral("レジストリ値「%1」を設定できませんでした。%2")
                                 .arg(DisplayName(name), reason));
}

// Readers treat a hive they cannot read like a missing key; the reason still goes to the log.
std::optional<Hive::Hive> TryLoad(HKEY root)
{
    try {
        return Hive::Load(root);
    } catch (const ERegistryException& error) {
        qWarning("%s", qUtf8Printable(error.Message()));
        return std::nullopt;
    }
}
} // namespace

TRegistry::TRegistry() = default;

TRegistry::~TRegistry()
{
    CloseKey();
}

void TRegistry::SetRootKey(HKEY root)
{
    CloseKey();
    root_ = root;
}

bool TRegistry::Resolve(const QString& key, QString& path) const
{
    const bool absolute = key.startsWith(u'\\');
    const QString relative = absolute ? key.mid(1) : key;
    const std::optional<QStringList> parts = Hive::SplitPath(relative);
    if (!parts)
        return false;
    QStringList full;
    if (!absolute && open_ && !currentPath_.isEmpty())
        full = currentPath_.split(u'\\');
    full += *parts;
    path = full.join(u'\\');
    return true;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    QString path;
    if (!Resolve(key, path))
        return false;
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    if (!hive)
        return false;
    if (const Hive::Key* existing = hive->Find(path)) {
        CloseKey();
        open_ = true;
        readOnly_ = false;
        currentPath_ = existing->path;
        return true;
    }
    if (!canCreate)
        return false;
    QString created;
    try {
        Hive::Modify(root_, [&](Hive::Hive& current) {
            const bool missing = current.Find(path) == nullptr;
            created = current.Create(path).path;
            return missing;
        });
    } catch (const ERegistryException& error) {
        qWarning("%s", qUtf8Printable(error.Message()));
        return false;
    }
    CloseKey();
    open_ = true;
    readOnly_ = false;
    currentPath_ = created;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const QString& key)
{
    QString path;
    if (!Resolve(key, path))
        return false;
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    if (!hive)
        return false;
    const Hive::Key* existing = hive->Find(path);
    if (!existing)
        return false;
    CloseKey();
    open_ = true;
    readOnly_ = true;
    currentPath_ = existing->path;
    return true;
}

void TRegistry::CloseKey()
{
    open_ = false;
    readOnly_ = false;
    currentPath_.clear();
}

bool TRegistry::KeyExists(const QString& key) const
{
    QString path;
    if (!Resolve(key, path))
        return false;
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    return hive && hive->Find(path) != nullptr;
}

bool TRegistry::DeleteKey(const QString& key)
{
    QString path;
    if (!Resolve(key, path) || path.isEmpty())
        return false;
    bool removed = false;
    try {
        Hive::Modify(root_, [&](Hive::Hive& hive) {
            removed = hive.Remove(path);
            return removed;
        });
    } catch (const ERegistryException& error) {
        qWarning("%s", qUtf8Printable(error.Message()));
        return false;
    }
    return removed;
}

QStringList TRegistry::GetKeyNames() const
{
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    return hive ? hive->Children(ValueKeyPath()) : QStringList();
}

bool TRegistry::ValueExists(const QString& name) const
{
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    const Hive::Key* key = hive ? hive->Find(ValueKeyPath()) : nullptr;
    return key && key->FindValue(name);
}

TRegDataType TRegistry::GetDataType(const QString& name) const
{
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    const Hive::Key* key = hive ? hive->Find(ValueKeyPath()) : nullptr;
    const Hive::Value* value = key ? key->FindValue(name) : nullptr;
    if (!value)
        return TRegDataType::rdUnknown;
    if (value->type == Hive::TypeString)
        return TRegDataType::rdString;
    if (value->type == Hive::TypeExpandString)
        return TRegDataType::rdExpandString;
    if (value->type == Hive::TypeInteger)
        return TRegDataType::rdInteger;
    if (value->type == Hive::TypeBinary)
        return TRegDataType::rdBinary;
    return TRegDataType::rdUnknown;
}

QStringList TRegistry::GetValueNames() const
{
    QStringList names;
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    if (const Hive::Key* key = hive ? hive->Find(ValueKeyPath()) : nullptr) {
        for (const Hive::Value& value : key->values)
            names.append(value.name);
    }
    return names;
}

QString TRegistry::ReadString(const QString& name) const
{
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    const Hive::Key* key = hive ? hive->Find(ValueKeyPath()) : nullptr;
    const Hive::Value* value = key ? key->FindValue(name) : nullptr;
    if (!value)
        return QString();
    if (value->type != Hive::TypeString && value->type != Hive::TypeExpandString) {
        throw ERegistryException(QStringLiteral("レジストリ値「%1」のデータ型が正しくありません。")
                                     .arg(DisplayName(name)));
    }
    return value->data.toString();
}

int TRegistry::ReadInteger(const QString& name) const
{
    const std::optional<Hive::Hive> hive = TryLoad(root_);
    const Hive::Key* key = hive ? hive->Find(ValueKeyPath()) : nullptr;
    const Hive::Value* value = key ? key->FindValue(name) : nullptr;
    if (!value || value->type != Hive::TypeInteger) {
        throw ERegistryException(QStringLiteral("レジストリ値「%1」のデータ型が正しくありません。")
                                     .arg(DisplayName(name)));
    }
    // A DWORD is stored unsigned; read it back as the signed 32 bits it holds.
    return static_cast<int>(static_cast<quint32>(static_cast<qint64>(value->data.toDouble())));
}

void TRegistry::WriteValue(const QString& name, const QString& type, const QJsonValue& data)
{
    if (readOnly_)
        ThrowSetFailed(name, QStringLiteral("キーは読み取り専用で開かれています。"));
    const QString path = ValueKeyPath();
    bool keyGone = false;
    try {
        Hive::Modify(root_, [&](Hive::Hive& hive) {
            Hive::Key* key = hive.Find(path);
            keyGone = key == nullptr;
            if (keyGone)
                return false;
            key->SetValue(name, type, data);
            return true;
        });
    } catch (const ERegistryException& error) {
        ThrowSetFailed(name, error.Message());
    }
    if (keyGone)
        ThrowSetFailed(name, QStringLiteral("キーは削除されています。"));
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    WriteValue(name, Hive::TypeString, value);
}

void TRegistry::WriteExpandString(const QString& name, const QString& value)
{
    WriteValue(name, Hive::TypeExpandString, value);
}

void TRegistry::WriteInteger(const QString& name, int value)
{
    WriteValue(name, Hive::TypeInteger, static_cast<qint64>(static_cast<quint32>(value)));
}

bool TRegistry::DeleteValue(const QString& name)
{
    if (readOnly_)
        return false;
    const QString path = ValueKeyPath();
    bool removed = false;
    try {
        Hive::Modify(root_, [&](Hive::Hive& hive) {
            Hive::Key* key = hive.Find(path);
            removed = key && key->RemoveValue(name);
            return removed;
        });
    } catch (const ERegistryException& error) {
        qWarning("%s", qUtf8Printable(error.Message()));
        return false;
    }
    return removed;
}

namespace Platform {

QString RegistryFolder()
{
    const QString configured = qEnvironmentVariable("TABRILL_REGISTRY_DIR");
    if (!configured.isEmpty())
        return QDir(configured).absolutePath();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Ostrelle/registry");
}

QString RegistryHiveFile(HKEY root)
{
    return RegistryFolder() + (root == HKEY_CLASSES_ROOT
                                   ? QStringLiteral("/HKEY_CLASSES_ROOT.json")
                                   : QStringLiteral("/HKEY_CURRENT_USER.json"));
}

} // namespace Platform
