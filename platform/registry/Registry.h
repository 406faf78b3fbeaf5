#pragma once

#include "platform/Exception.h"

#include <QString>
#include <QStringList>

// The registry of the programs: keys under a root, each with named values (the empty name is the
// key's default value). Every root is one text hive file, shared by every process of the user:
//
//   $TABRILL_REGISTRY_DIR/HKEY_CLASSES_ROOT.json   (and HKEY_CURRENT_USER.json)
//
// TABRILL_REGISTRY_DIR moves the hives; without it they live in
// $XDG_DATA_HOME/Ostrelle/registry (by default ~/.local/share/Ostrelle/registry).
//
// Key and value names match without regard to case and keep the case they were created with.
// A key path is relative to the open key, or to the root when it begins with "\" or no key is open.
// Every change re-reads the hive under a file lock and replaces the file atomically, so programs
// writing at the same time lose nothing and a crash never leaves a half-written hive.

enum class HKEY
{
    ClassesRoot,
    CurrentUser,
};

inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY::ClassesRoot;
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::CurrentUser;

enum class TRegDataType
{
    rdUnknown,
    rdString,
    rdExpandString,
    rdInteger,
    rdBinary,
};

// A failure of the registry layer itself: a value that cannot be set, or one of another type.
class ERegistryException : public Exception
{
public:
    using Exception::Exception;
};

class TRegistry
{
public:
    // Root HKEY_CURRENT_USER, no key open.
    TRegistry();
    ~TRegistry();

    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const noexcept { return root_; }
    // Closes the open key.
    void SetRootKey(HKEY root);

    // Opens the key for reading and writing; with canCreate a missing key is made with the keys
    // on its way. False when the key is missing (without canCreate), the path is malformed, or the
    // hive cannot be read or changed.
    bool OpenKey(const QString& key, bool canCreate);
    // Opens an existing key for reading only.
    bool OpenKeyReadOnly(const QString& key);
    void CloseKey();
    bool HasCurrentKey() const noexcept { return open_; }
    // Path of the open key from the root, without a leading "\"; empty when none is open.
    QString CurrentPath() const { return open_ ? currentPath_ : QString(); }

    bool KeyExists(const QString& key) const;
    // Deletes the key with all its subkeys and values. False when it does not exist, is the root,
    // or the hive cannot be changed.
    bool DeleteKey(const QString& key);
    QStringList GetKeyNames() const;

    // The value operations act on the open key (the root when none is open).
    bool ValueExists(const QString& name) const;
    TRegDataType GetDataType(const QString& name) const;
    QStringList GetValueNames() const;

    // Text or expandable text, unexpanded; empty when the value is missing. Raises
    // ERegistryException for a value of another type.
    QString ReadString(const QString& name) const;
    // Raises ERegistryException when the value is missing or not an integer.
    int ReadInteger(const QString& name) const;

    // Raise ERegistryException when the value cannot be set (key opened read-only or deleted
    // meanwhile, hive damaged or not writable).
    void WriteString(const QString& name, const QString& value);
    void WriteExpandString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, int value);
    bool DeleteValue(const QString& name);

private:
    // Full path from the root of a key named relative to this object; false when malformed.
    bool Resolve(const QString& key, QString& path) const;
    QString ValueKeyPath() const { return open_ ? currentPath_ : QString(); }
    void WriteValue(const QString& name, const QString& type, const class QJsonValue& data);

    HKEY root_ = HKEY_CURRENT_USER;
    bool open_ = false;
    bool readOnly_ = false;
    QString currentPath_;
};

namespace Platform {

// Where the hive files live now (TABRILL_REGISTRY_DIR or the default under XDG_DATA_HOME).
QString RegistryFolder();

// The hive file of a root.
QString RegistryHiveFile(HKEY root);

} // namespace Platform
