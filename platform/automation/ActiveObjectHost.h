#pragma once

#include "platform/automation/Automation.h"

#include <QObject>
#include <QString>
#include <map>
#include <memory>

class QSocketNotifier;

namespace Automation {

// Serves one object as the running instance of a class: listens on the class's socket in the
// running-object table and answers clients on the event loop of the thread it lives in. Each
// connection's protocol is a ServerSession; a bad frame gets an error reply and the other
// clients are served on.
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

    // Most clients at once; the limits of one connection are ServerSession's.
    static constexpr std::size_t MaxClients = 128;

private:
    struct Client;
    void acceptClients();
    void readFrom(Client& client);
    void writeTo(Client& client);
    void flush(Client& client);
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
