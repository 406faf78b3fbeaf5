#pragma once

#include "platform/registry/Registry.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <vector>

// The hive file behind one registry root and the locked read-modify-write around every change.
namespace Platform::RegistryHive {

inline const QString TypeString = QStringLiteral("REG_SZ");
inline const QString TypeExpandString = QStringLiteral("REG_EXPAND_SZ");
inline const QString TypeInteger = QStringLiteral("REG_DWORD");
inline const QString TypeBinary = QStringLiteral("REG_BINARY");

struct Value
{
    QString name;
    QString type;
    // Kept as read, so values of types this layer does not write survive a rewrite.
    QJsonValue data;
};

struct Key
{
    QString path; // from the root, components joined by "\", in the case they were created with
    std::vector<Value> values;

    const Value* FindValue(const QString& name) const;
    Value* FindValue(const QString& name);
    void SetValue(const QString& name, const QString& type, const QJsonValue& data);
    bool RemoveValue(const QString& name);
};

class Hive
{
public:
    Hive();

    const Key* Find(const QString& path) const;
    Key* Find(const QString& path);
    // Makes the key and every key on its way; existing keys keep the case of their names.
    Key& Create(const QString& path);
    // Removes the key with every key under it; the root cannot be removed.
    bool Remove(const QString& path);
    // Names of the direct subkeys, in the order of their folded names.
    QStringList Children(const QString& path) const;

    QByteArray Serialize(HKEY root) const;
    // Nothing when the text is not a hive.
    static std::optional<Hive> Parse(const QByteArray& text);

private:
    std::map<QString, Key> keys_; // by folded path; the root is ""
};

// "a\b" as a path from the root; nothing when a component is empty. A single trailing "\" is
// allowed. Does not handle the leading "\" of an absolute path.
std::optional<QStringList> SplitPath(const QString& path);
QString FoldPath(const QString& path);

// The hive as it is on disk now; a missing file is an empty hive. Raises ERegistryException when
// the file cannot be read or is not a hive.
Hive Load(HKEY root);

// Locks the hive against other writers, loads it, lets change alter it and, when change returns
// true, replaces the file with the result. Raises ERegistryException on a lock, read or write
// failure; an exception from change leaves the file as it was.
void Modify(HKEY root, const std::function<bool(Hive&)>& change);

} // namespace Platform::RegistryHive
