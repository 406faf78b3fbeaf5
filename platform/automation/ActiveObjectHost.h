#pragma once

#include "platform/automation/Automation.h"

#include <QObject>
#include <QString>
#include <map>
#include <memory>

class QSocketNotifier;

namespace Automation {

// Serves one object as the running instance of a class: listens on the class's socket in the
// running-object table and answers clients on the event loop of the thread it lives in. Every
// frame is checked; a bad one gets an error reply and the other clients are served on.
class ActiveObjectHost : public QObject
{
    Q_OBJECT
public:
    explicit ActiveObjectHost(QObject* parent = nullptr);
    ~ActiveObjectHost() override;

    // False when a live server already holds the class's entry, or when the socket cannot be
    // made (errorString() says why). An entry left by a server that ended is taken over.
    bool registerObject(const CLSID& clsid, ComPtr<IDispatch> root);
    // Removes the entry (only if it is still this host's) and disconnects every client.
    void revoke();

    bool isRegistered() const { return listenFd_ >= 0; }
    QString errorString() const { return error_; }
    int clientCount() const { return int(clients_.size()); }

    // Longest a frame may be; larger ones close the client's connection.
    static constexpr std::uint32_t MaxFrame = 16 * 1024 * 1024;
    // Most objects one client may hold at once, and most clients at once.
    static constexpr std::size_t MaxExportsPerClient = 1 << 20;
    static constexpr std::size_t MaxClients = 128;

private:
    struct Client;
    void acceptClients();
    void readFrom(Client& client);
    void writeTo(Client& client);
    void handleFrame(Client& client, const char* data, std::size_t size);
    void send(Client& client, const QByteArray& frame);
    void dropClient(int fd);

    ComPtr<IDispatch> root_;
    int listenFd_ = -1;
    QString path_;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    QSocketNotifier* listenNotifier_ = nullptr;
    std::map<int, std::unique_ptr<Client>> clients_;
    QString error_;
};

} // namespace Automation
