#pragma once

// Checks of a server's output shared by the fuzz target and make_seeds.

#include "platform/automation/Wire.h"

#include <QByteArray>
#include <QtEndian>
#include <cstdint>
#include <vector>

namespace FuzzAutomation {

struct Request
{
    Automation::Wire::Type type{};
    std::uint32_t serial = 0;
};

// The whole frames of a client's stream, as far as the stream can be followed.
inline std::vector<Request> Requests(const QByteArray& stream)
{
    std::vector<Request> requests;
    qsizetype at = 0;
    while (stream.size() - at >= 4) {
        const auto length = qFromLittleEndian<std::uint32_t>(stream.constData() + at);
        if (length < 5 || qsizetype(length) > stream.size() - at - 4)
            break;
        requests.push_back(Request{Automation::Wire::Type(std::uint8_t(stream[at + 4])),
                                   qFromLittleEndian<std::uint32_t>(stream.constData() + at + 5)});
        at += 4 + qsizetype(length);
    }
    return requests;
}

// Reads one reply payload (after its type and serial) completely; false when it is not a
// well-formed reply of its type.
inline bool WellFormedReply(Automation::Wire::Type type, Automation::Wire::Reader& reader)
{
    using namespace Automation;
    switch (type) {
    case Wire::Type::HelloReply:
        reader.u16();
        return reader.u64() != 0 && (reader.u64(), reader.ok() && reader.atEnd());
    case Wire::Type::NamesReply: {
        const std::uint32_t count = reader.u32();
        if (count == 0 || count > Wire::MaxNames)
            return false;
        for (std::uint32_t i = 0; i < count; ++i)
            reader.i32();
        return reader.ok() && reader.atEnd();
    }
    case Wire::Type::InvokeReply: {
        Variant value;
        const HRESULT hr =
            reader.variant(value, [](const Wire::ObjectRef&, ComPtr<IDispatch>&) { return S_OK; });
        return SUCCEEDED(hr) && reader.atEnd();
    }
    case Wire::Type::ErrorReply: {
        const HRESULT hr = reader.i32();
        reader.u32();
        const std::uint8_t hasInfo = reader.u8();
        reader.u16();
        reader.i32();
        reader.string();
        reader.string();
        return FAILED(hr) && hasInfo <= 1 && reader.ok() && reader.atEnd();
    }
    default:
        return false;
    }
}

} // namespace FuzzAutomation
