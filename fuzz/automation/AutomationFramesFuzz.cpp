// Bytes as the stream a client sends to SheetHost's automation server, fed in pieces to one
// connection's session whose root is SheetHost's Application over a few books in memory. The
// replies must be whole, well-formed frames answering frames that were sent.

#include "fuzz/automation/FrameCheck.h"
#include "fuzz/automation/FuzzWorkbook.h"
#include "platform/automation/ServerSession.h"
#include "sheethost/server/ObjectModel.h"

#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

SheetHost::Application* g_application = nullptr;

[[noreturn]] void Fail(const char* what, std::uint32_t detail = 0)
{
    std::fprintf(stderr, "automation_frames: %s (%u)\n", what, unsigned(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Lives for the whole process, like SheetHost's own application.
    g_application = new SheetHost::Application;
    FuzzAutomation::AddBooks(*g_application);
    return 0;
}

// The first byte chooses how the stream is cut into reads: 0 whole, up to 16 pieces of that
// many bytes, above that pieces of four times its value, so that frames arrive split at every
// kind of place.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Automation;
    if (!g_application)
        LLVMFuzzerInitialize(nullptr, nullptr);
    if (size == 0)
        return 0;
    const std::size_t piece =
        data[0] == 0 ? size : data[0] <= 16 ? std::size_t(data[0]) : std::size_t(data[0]) * 4;
    const char* stream = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    QByteArray output;
    std::size_t consumed = 0; // bytes of whole frames the session answered
    bool closing = false;
    {
        ServerSession session(SheetHost::CreateApplicationObject(*g_application));
        std::size_t fed = 0;
        for (std::size_t at = 0; at < length && !session.closing(); at += piece) {
            const std::size_t n = std::min(piece, length - at);
            session.receive(stream + at, n);
            fed += n;
            output += session.takeOutput();
            if (session.bufferedInput() > fed)
                Fail("the session holds more input than it was given");
        }
        consumed = fed - session.bufferedInput();
        closing = session.closing();
        output += session.takeOutput();
    }

    // The frames the session went through: each gets one reply, but a release only when it
    // fails; a stream that cannot be followed gets one more, with serial 0.
    const std::vector<FuzzAutomation::Request> requests =
        FuzzAutomation::Requests(QByteArray::fromRawData(stream, qsizetype(consumed)));
    std::size_t releases = 0;
    for (const auto& request : requests)
        releases += request.type == Wire::Type::Release ? 1 : 0;
    // A session that closes because its replies pile up leaves the last frame unanswered.
    const std::size_t atLeast = requests.size() - releases - (closing && requests.size() > releases);
    const std::size_t atMost = requests.size() + (closing ? 1 : 0);
    std::size_t replies = 0;
    qsizetype at = 0;
    while (at < output.size()) {
        if (output.size() - at < 4)
            Fail("a reply is cut in its length");
        const auto frameLength = qFromLittleEndian<std::uint32_t>(output.constData() + at);
        if (frameLength < 5 || qsizetype(frameLength) > output.size() - at - 4)
            Fail("a reply's length does not match its bytes", frameLength);
        Wire::Reader reader(output.constData() + at + 4, frameLength);
        const auto type = Wire::Type(reader.u8());
        const std::uint32_t serial = reader.u32();
        if (!FuzzAutomation::WellFormedReply(type, reader))
            Fail("a reply is not well formed", std::uint32_t(type));
        // Serial 0 answers a stream that cannot be followed.
        if (serial != 0 &&
            std::none_of(requests.begin(), requests.end(),
                         [&](const FuzzAutomation::Request& r) { return r.serial == serial; }))
            Fail("a reply answers no frame that was sent", serial);
        ++replies;
        at += 4 + qsizetype(frameLength);
    }
    // At most one reply per frame, and one more for a broken stream.
    if (replies < atLeast)
        Fail("a frame got no reply", std::uint32_t(replies));
    if (replies > atMost)
        Fail("more replies than frames", std::uint32_t(replies));
    return 0;
}
