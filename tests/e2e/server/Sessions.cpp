#include "tests/e2e/server/Sessions.h"

namespace ServerProbe {

using namespace Automation;

namespace {

constexpr WORD Get = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

QString describe(const QString& step, const Reply& reply)
{
    return QStringLiteral("%1: type %2, hr 0x%3 %4")
        .arg(step)
        .arg(int(reply.type))
        .arg(std::uint32_t(reply.hr), 8, 16, QLatin1Char('0'))
        .arg(reply.description);
}

// The walk with the platform's client; every proxy is simply dropped at the end, so the
// connection closes with its releases still unsent.
QString runRealClient()
{
    CLSID clsid;
    CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    IUnknown* unknown = nullptr;
    HRESULT hr = GetActiveObject(clsid, nullptr, &unknown);
    if (FAILED(hr))
        return QStringLiteral("attach: 0x%1").arg(std::uint32_t(hr), 8, 16);
    const auto holder = ComPtr<IUnknown>::Adopt(unknown);
    void* raw = nullptr;
    if (FAILED(holder->QueryInterface(IID_IDispatch, &raw)))
        return QStringLiteral("no IDispatch");
    ComPtr<IDispatch> object = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(raw));

    struct Step
    {
        const char* member;
        std::vector<Variant> arguments; // Excel's order
    };
    const std::vector<Step> walk{
        {"Workbooks", {}},  {"Item", {Variant::FromI4(1)}},
        {"Worksheets", {}}, {"Item", {Variant::FromI4(1)}},
        {"UsedRange", {}},  {"Find", {Variant::FromBstr(QStringLiteral("needle"))}},
        {"Address", {}}};
    Variant result;
    for (const Step& step : walk) {
        const QString member = QString::fromLatin1(step.member);
        DISPID id = DISPID_UNKNOWN;
        hr = object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &id);
        std::vector<Variant> reversed(step.arguments.rbegin(), step.arguments.rend());
        DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
        EXCEPINFO info;
        UINT argErr = 0;
        result = Variant();
        if (SUCCEEDED(hr))
            hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, Get, &params, &result, &info,
                                &argErr);
        if (FAILED(hr))
            return QStringLiteral("%1: 0x%2").arg(member).arg(std::uint32_t(hr), 8, 16);
        if (result.vt() == VT_DISPATCH) {
            if (!result.pdispVal())
                return member + QStringLiteral(": nothing");
            object = result.dispatch();
        }
    }
    if (result.bstrVal() != NeedleAddress())
        return QStringLiteral("found at ") + result.bstrVal();
    return {};
}

} // namespace

QString RunSession(SessionEnd end, int salt)
{
    if (end == SessionEnd::RealClient)
        return runRealClient();

    RawSession session;
    if (!session.connected())
        return QStringLiteral("cannot connect");
    std::vector<ObjectId> held;
    const ObjectId root = session.hello();
    if (root == 0)
        return QStringLiteral("no greeting");
    held.push_back(root);

    ObjectId object = root;
    const std::vector<std::pair<QString, std::vector<Argument>>> walk{
        {QStringLiteral("Workbooks"), {}},
        {QStringLiteral("Item"), {{Variant::FromI4(1)}}},
        {QStringLiteral("Worksheets"), {}},
        {QStringLiteral("Item"), {{Variant::FromBstr(QStringLiteral("Data"))}}},
    };
    for (const auto& [member, arguments] : walk) {
        const Reply reply = session.call(object, member, Get, arguments);
        if (reply.type != Wire::Type::InvokeReply || reply.object == 0)
            return describe(member, reply);
        object = reply.object;
        held.push_back(object);
    }
    const ObjectId sheet = object;
    const Reply used = session.call(sheet, QStringLiteral("UsedRange"), Get);
    if (used.object == 0)
        return describe(QStringLiteral("UsedRange"), used);
    held.push_back(used.object);
    const Reply found = session.call(used.object, QStringLiteral("Find"), Get,
                                     {{Variant::FromBstr(QStringLiteral("needle"))}});
    if (found.object == 0)
        return describe(QStringLiteral("Find"), found);
    held.push_back(found.object);
    const Reply address = session.call(found.object, QStringLiteral("Address"), Get);
    if (address.value.bstrVal() != NeedleAddress())
        return describe(QStringLiteral("Address ") + address.value.bstrVal(), address);

    // A batch of distinct cells, all requests written before any reply is read.
    const std::optional<DISPID> cells = session.dispId(sheet, QStringLiteral("Cells"));
    if (!cells)
        return QStringLiteral("Cells unresolved");
    QByteArray batch;
    const std::uint32_t first = session.nextSerial();
    for (int i = 0; i < ExtraCellsPerSession; ++i) {
        const int row = 1 + (salt * 7 + i) % 5000;
        const int column = 1 + (salt + i * 3) % 200;
        batch += InvokeFrame(i == 0 ? first : session.nextSerial(), sheet, *cells, Get,
                             {{Variant::FromI4(row)}, {Variant::FromI4(column)}});
    }
    if (!session.send(batch))
        return QStringLiteral("batch not sent");
    for (int i = 0; i < ExtraCellsPerSession; ++i) {
        const std::optional<Reply> reply = session.receive();
        if (!reply || reply->serial != first + std::uint32_t(i) || reply->object == 0)
            return reply ? describe(QStringLiteral("Cells"), *reply) : QStringLiteral("Cells lost");
        held.push_back(reply->object);
    }

    switch (end) {
    case SessionEnd::ReleaseAndShutDown:
        if (!session.send(ReleaseFrame(session.nextSerial(), held)))
            return QStringLiteral("release not sent");
        // A release that succeeds has no reply; the server must simply close after us.
        if (!session.closePolitely())
            return QStringLiteral("the server did not close after the client");
        break;
    case SessionEnd::CloseHoldingAll:
        session.closeAbruptly();
        break;
    case SessionEnd::CloseWithReplyUnread:
        session.send(InvokeFrame(session.nextSerial(), sheet, *cells, Get,
                                 {{Variant::FromI4(1)}, {Variant::FromI4(1)}}));
        session.closeAbruptly();
        break;
    case SessionEnd::ReleaseHalfAndClose:
        held.resize(held.size() / 2);
        session.send(ReleaseFrame(session.nextSerial(), held));
        session.closeAbruptly();
        break;
    case SessionEnd::RealClient:
        break;
    }
    return {};
}

} // namespace ServerProbe
