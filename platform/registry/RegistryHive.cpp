#include "platform/registry/RegistryHive.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform::RegistryHive {
namespace {
const QString FormatName = QStringLiteral("tabrill-registry-hive");
constexpr int FormatVersion = 1;
constexpr qint64 MaxHiveSize = 64 * 1024 * 1024;
// A writer holds the lock for milliseconds; waiting this long means something is stuck.
constexpr int LockTimeoutMs = 30000;

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString RootName(HKEY root)
{
    return root == HKEY_CLASSES_ROOT ? QStringLiteral("HKEY_CLASSES_ROOT")
                                     : QStringLiteral("HKEY_CURRENT_USER");
}

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool ValidData(const QString& type, const QJsonValue& data)
{
    if (type == TypeString || type == TypeExpandString)
        return data.isString();
    if (type == TypeInteger) {
        if (!data.isDouble())
            return false;
        const double number = data.toDouble();
        return number == static_cast<double>(static_cast<qint64>(number)) &&
               number >= -2147483648.0 && number <= 4294967295.0;
    }
    return true;
}

// The hive's advisory lock, held on a file beside it so that the hive itself can be replaced.
class HiveLock
{
public:
    explicit HiveLock(const QString& hiveFile)
    {
        const QString lockFile = hiveFile + QStringLiteral(".lock");
        QDir().mkpath(QFileInfo(hiveFile).absolutePath());
        fd_ = ::open(QFile::encodeName(lockFile).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            throw ERegistryException(
                QStringLiteral("レジストリファイル「%1」をロックできません。%2")
                    .arg(lockFile, SystemReason(errno)));
        }
        const QDeadlineTimer deadline(LockTimeoutMs);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error != EWOULDBLOCK && error != EINTR) {
                ::close(fd_);
                throw ERegistryException(
                    QStringLiteral("レジストリファイル「%1」をロックできません。%2")
                        .arg(lockFile, SystemReason(error)));
            }
            if (deadline.hasExpired()) {
                ::close(fd_);
                throw ERegistryException(
                    QStringLiteral("レジストリファイル「%1」は他のプログラムが使用中です。")
                        .arg(hiveFile));
            }
            QThread::msleep(1);
        }
    }
    ~HiveLock()
    {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

private:
    int fd_ = -1;
};
} // namespace

const Value* Key::FindValue(const QString& name) const
{
    for (const Value& value : values) {
        if (SameName(value.name, name))
            return &value;
    }
    return nullptr;
}

Value* Key::FindValue(const QString& name)
{
    return const_cast<Value*>(std::as_const(*this).FindValue(name));
}

void Key::SetValue(const QString& name, const QString& type, const QJsonValue& data)
{
    if (Value* existing = FindValue(name)) {
        existing->type = type;
        existing->data = data;
        return;
    }
    values.push_back(Value{name, type, data});
}

bool Key::RemoveValue(const QString& name)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (SameName(it->name, name)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<QStringList> SplitPath(const QString& path)
{
    QString trimmed = path;
    if (trimmed.endsWith(u'\\'))
        trimmed.chop(1);
    if (trimmed.isEmpty())
        return QStringList();
    QStringList parts = trimmed.split(u'\\');
    for (const QString& part : parts) {
        if (part.isEmpty())
            return std::nullopt;
    }
    return parts;
}

QString FoldPath(const QString& path)
{
    return path.toCaseFolded();
}

Hive::Hive()
{
    keys_.emplace(QString(), Key{});
}

const Key* Hive::Find(const QString& path) const
{
    const auto it = keys_.find(FoldPath(path));
    return it == keys_.end() ? nullptr : &it->second;
}

Key* Hive::Find(const QString& path)
{
    const auto it = keys_.find(FoldPath(path));
    return it == keys_.end() ? nullptr : &it->second;
}

Key& Hive::Create(const QString& path)
{
    const std::optional<QStringList> parts = SplitPath(path);
    Key* key = &keys_.at(QString());
    if (!parts)
        return *key;
    QString current;
    for (const QString& part : *parts) {
        const QString candidate = current.isEmpty() ? part : current + u'\\' + part;
        auto [it, inserted] = keys_.try_emplace(FoldPath(candidate));
        if (inserted)
            it->second.path = candidate;
        current = it->second.path;
        key = &it->second;
    }
    return *key;
}

bool Hive::Remove(const QString& path)
{
    const QString folded = FoldPath(path);
    if (folded.isEmpty() || keys_.erase(folded) == 0)
        return false;
    // Subkeys sort together, but not always right after their parent ("a b" < "a\\b").
    const QString prefix = folded + u'\\';
    auto it = keys_.lower_bound(prefix);
    while (it != keys_.end() && it->first.startsWith(prefix))
        it = keys_.erase(it);
    return true;
}

QStringList Hive::Children(const QString& path) const
{
    const QString folded = FoldPath(path);
    const QString prefix = folded.isEmpty() ? QString() : folded + u'\\';
    QStringList names;
    for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.startsWith(prefix);
         ++it) {
        if (it->first.isEmpty())
            continue;
        const QString rest = it->first.mid(prefix.size());
        if (!rest.contains(u'\\'))
            names.append(it->second.path.section(u'\\', -1));
    }
    return names;
}

QByteArray Hive::Serialize(HKEY root) const
{
    QJsonArray keys;
    for (const auto& [folded, key] : keys_) {
        if (folded.isEmpty() && key.values.empty())
            continue;
        QJsonArray values;
        for (const Value& value : key.values) {
            values.append(QJsonObject{{QStringLiteral("name"), value.name},
                                      {QStringLiteral("type"), value.type},
                                      {QStringLiteral("data"), value.data}});
        }
        keys.append(
            QJsonObject{{QStringLiteral("path"), key.path}, {QStringLiteral("values"), values}});
    }
    const QJsonObject document{{QStringLiteral("format"), FormatName},
                               {QStringLiteral("version"), FormatVersion},
                               {QStringLiteral("root"), RootName(root)},
                               {QStringLiteral("keys"), keys}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

std::optional<Hive> Hive::Parse(const QByteArray& text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("format")).toString() != FormatName ||
        object.value(QStringLiteral("version")).toInt(-1) != FormatVersion ||
        !object.value(QStringLiteral("keys")).isArray()) {
        return std::nullopt;
    }
    Hive hive;
    for (const QJsonValue& keyValue : object.value(QStringLiteral("keys")).toArray()) {
        const QJsonObject keyObject = keyValue.toObject();
        const QJsonValue path = keyObject.value(QStringLiteral("path"));
        const QJsonValue values = keyObject.value(QStringLiteral("values"));
        if (!keyValue.isObject() || !path.isString() || !(values.isArray() || values.isUndefined()))
            return std::nullopt;
        if (!SplitPath(path.toString()))
            return std::nullopt;
        Key& key = hive.Create(path.toString());
        // A later value of the same name wins, as a later write would.
        QHash<QString, std::size_t> index;
        for (std::size_t i = 0; i < key.values.size(); ++i)
            index.insert(key.values[i].name.toCaseFolded(), i);
        for (const QJsonValue& item : values.toArray()) {
            const QJsonObject valueObject = item.toObject();
            const QJsonValue name = valueObject.value(QStringLiteral("name"));
            const QJsonValue type = valueObject.value(QStringLiteral("type"));
            const QJsonValue data = valueObject.value(QStringLiteral("data"));
            if (!item.isObject() || !name.isString() || !type.isString() ||
                !ValidData(type.toString(), data)) {
                return std::nullopt;
            }
            const QString folded = name.toString().toCaseFolded();
            if (const auto found = index.constFind(folded); found != index.constEnd()) {
                key.values[*found] = Value{name.toString(), type.toString(), data};
                continue;
            }
            index.insert(folded, key.values.size());
            key.values.push_back(Value{name.toString(), type.toString(), data});
        }
    }
    return hive;
}

Hive Load(HKEY root)
{
    const QString fileName = RegistryHiveFile(root);
    QFile file(fileName);
    if (!file.exists())
        return Hive();
    if (!file.open(QIODevice::ReadOnly)) {
        throw ERegistryException(QStringLiteral("レジストリファイル「%1」を読み込めません。%2")
                                     .arg(fileName, file.errorString()));
    }
    if (file.size() > MaxHiveSize) {
        throw ERegistryException(
            QStringLiteral("レジストリファイル「%1」が大きすぎます。").arg(fileName));
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw ERegistryException(QStringLiteral("レジストリファイル「%1」を読み込めません。%2")
                                     .arg(fileName, file.errorString()));
    }
    std::optional<Hive> hive = Hive::Parse(text);
    if (!hive) {
        throw ERegistryException(
            QStringLiteral("レジストリファイル「%1」が壊れています。").arg(fileName));
    }
    return std::move(*hive);
}

void Modify(HKEY root, const std::function<bool(Hive&)>& change)
{
    const QString fileName = RegistryHiveFile(root);
    const HiveLock lock(fileName);
    Hive hive = Load(root);
    if (!change(hive))
        return;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        throw ERegistryException(QStringLiteral("レジストリファイル「%1」に書き込めません。%2")
                                     .arg(fileName, file.errorString()));
    }
    const QByteArray text = hive.Serialize(root);
    if (file.write(text) != text.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw ERegistryException(
            QStringLiteral("レジストリファイル「%1」に書き込めません。%2").arg(fileName, reason));
    }
}

} // namespace Platform::RegistryHive
