#pragma once

// Tools for driving the automation server of a real SheetHost from a test: a client that speaks
// the protocol by hand (so it can misbehave), the server process's open descriptors and
// resident memory, and the workbook every suite here serves.

#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
#include "tests/e2e/E2eSupport.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace ServerProbe {

using namespace std::chrono_literals;
using Automation::HRESULT;
using Automation::Wire::ObjectId;

// The book SheetHost opens: one sheet "Data" with the word "needle" at C4 among a few other
// cells, and a long text at A1 that makes replies large.
inline constexpr int LongTextLength = 20000;
QString WriteServedBook();
// "$C$4": where Find("needle") lands.
QString NeedleAddress();

// The server's socket, worked out once while the socket folder is private.
QString SocketPath();

// A call argument: a value, or an object of this connection.
struct Argument
{
    Automation::Variant value;
    ObjectId object = 0;
};

// One decoded reply.
struct Reply
{
    Automation::Wire::Type type{};
    std::uint32_t serial = 0;
    HRESULT hr = Automation::S_OK;       // the error reply's code, S_OK otherwise
    QString description;                 // of an error reply with exception info
    Automation::Variant value;           // of an invoke reply (objects come as EMPTY, see object)
    ObjectId object = 0;                 // the object an invoke reply names
    std::vector<Automation::DISPID> ids; // of a names reply
};
std::optional<Reply> Decode(const QByteArray& payload);

// Whole request frames (length prefix included).
QByteArray HelloFrame(std::uint32_t serial, const char (&magic)[4] = Automation::Wire::Magic,
                      std::uint16_t version = Automation::Wire::Version);
QByteArray NamesFrame(std::uint32_t serial, ObjectId object, const std::vector<QString>& names);
QByteArray InvokeFrame(std::uint32_t serial, ObjectId object, Automation::DISPID id,
                       Automation::WORD flags, const std::vector<Argument>& arguments);
QByteArray ReleaseFrame(std::uint32_t serial, const std::vector<ObjectId>& objects);

// A connection driven by hand. Every wait is bounded; nothing here blocks a test for long.
class RawSession
{
public:
    // Connects to the server's socket.
    RawSession();
    ~RawSession();
    RawSession(const RawSession&) = delete;
    RawSession& operator=(const RawSession&) = delete;

    bool connected() const { return fd_ >= 0; }
    std::uint32_t nextSerial() { return ++serial_; }

    // False when the bytes could not all be written within the timeout.
    bool send(const QByteArray& bytes, std::chrono::milliseconds timeout = 5s);
    // The next reply's payload; nullopt when the server closed the connection or said nothing
    // in time (closedByServer() tells which).
    std::optional<QByteArray> receivePayload(std::chrono::milliseconds timeout = 5s);
    std::optional<Reply> receive(std::chrono::milliseconds timeout = 5s);
    bool closedByServer() const { return closed_; }

    // The root object's id, 0 when the greeting failed.
    ObjectId hello();
    // Resolves member (once per object of this connection) and invokes it; arguments in
    // Excel's order. A failure to get any reply comes back as RPC_S_CALL_FAILED.
    Reply call(ObjectId object, const QString& member, Automation::WORD flags,
               const std::vector<Argument>& arguments = {});
    std::optional<Automation::DISPID> dispId(ObjectId object, const QString& member);

    // True when nothing arrives and the connection stays open for the whole wait.
    bool staysQuiet(std::chrono::milliseconds wait);
    // Reads and discards count bytes as fast as they come; how many arrived in time.
    std::size_t discard(std::size_t count, std::chrono::milliseconds timeout = 10s);
    // Reads and discards until the server closes; true when it did within the timeout.
    bool drainUntilClosed(std::chrono::milliseconds timeout = 5s);
    // Tells the server nothing more will come, and keeps reading.
    void shutDownSending();
    // Ends the connection: close() at once, or shut the sending side and wait (true) for the
    // server to close its side.
    void closeAbruptly();
    bool closePolitely(std::chrono::milliseconds timeout = 5s);

private:
    bool fill(std::size_t bytes, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::uint32_t serial_ = 0;
    bool closed_ = false;
    QByteArray inbox_;
    std::map<std::pair<ObjectId, QString>, Automation::DISPID> names_;
};

// What the kernel says about a process.
int OpenDescriptors(qint64 pid);
qint64 ResidentKilobytes(qint64 pid);
// The count once it has stopped changing (a client that has just gone may still be counted).
int SettledDescriptors(qint64 pid);
// Waits until the process has at most `count` descriptors open; the last count seen.
int WaitForDescriptorsAtMost(qint64 pid, int count, std::chrono::milliseconds timeout = 10s);

// One SheetHost serving the book, with its own small quarantine under the address sanitizer so
// that its resident memory follows what it holds rather than what it freed lately.
class ServedSheetHost
{
public:
    // Starts it and waits until it serves the book.
    bool Start(QString* error);
    // Asks it to end as a user closing its window would; empty when it ended cleanly (see
    // E2e::SheetHostProcess::StopCleanly), else what went wrong.
    QString Stop() { return process_.StopCleanly(); }
    qint64 Pid() const { return process_.ProcessId(); }
    bool IsRunning() const { return process_.IsRunning(); }

private:
    E2e::SheetHostProcess process_;
};

} // namespace ServerProbe
