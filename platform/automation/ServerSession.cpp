#include "platform/automation/ServerSession.h"

#include "platform/automation/DispatchObject.h"

#include <QtEndian>
#include <algorithm>
#include <exception>
#include <vector>

namespace Automation {

ServerSession::ServerSession(ComPtr<IDispatch> root) : root_(std::move(root)) {}

ServerSession::~ServerSession() = default;

void ServerSession::receive(const char* data, std::size_t size)
{
    if (closing_ || size == 0)
        return;
    in_.append(data, qsizetype(size));
    qsizetype offset = 0;
    while (!closing_ && in_.size() - offset >= 4) {
        const auto length = qFromLittleEndian<std::uint32_t>(in_.constData() + offset);
        if (length < 5 || length > MaxFrame) {
            // The stream cannot be followed any further.
            sendError(0, RPC_E_INVALID_DATA);
            closing_ = true;
            break;
        }
        if (in_.size() - offset - 4 < qsizetype(length))
            break;
        handleFrame(in_.constData() + offset + 4, length);
        offset += 4 + qsizetype(length);
    }
    in_.remove(0, offset);
}

QByteArray ServerSession::takeOutput()
{
    QByteArray out;
    out.swap(out_);
    return out;
}

void ServerSession::send(const QByteArray& frame)
{
    if (std::size_t(out_.size()) + std::size_t(frame.size()) > MaxPendingOutput) {
        closing_ = true;
        return;
    }
    out_.append(frame);
    if (outputReady_)
        outputReady_();
}

void ServerSession::sendError(std::uint32_t serial, HRESULT hr, const EXCEPINFO* info,
                              std::uint32_t argErr)
{
    Wire::Writer reply(Wire::Type::ErrorReply, serial);
    reply.i32(hr);
    reply.u32(argErr);
    reply.u8(info ? 1 : 0);
    reply.u16(info ? info->wCode : 0);
    reply.i32(info ? info->scode : S_OK);
    reply.string(info ? info->bstrSource : QString());
    reply.string(info ? info->bstrDescription : QString());
    send(reply.frame());
}

bool ServerSession::exportObject(IDispatch* object, Wire::ObjectRef& ref)
{
    const auto* stable = dynamic_cast<const StableMemberNames*>(object);
    ref.namesTag = stable ? stable->namesTag() : 0;
    const auto known = ids_.find(object);
    if (known != ids_.end()) {
        ref.id = known->second;
        ++exports_[ref.id].references;
        return true;
    }
    if (exports_.size() >= MaxExportsPerClient)
        return false;
    ref.id = nextId_++;
    exports_.emplace(ref.id, Export{ComPtr<IDispatch>(object), 1});
    ids_.emplace(object, ref.id);
    return true;
}

HRESULT ServerSession::importObject(Wire::ObjectId id, ComPtr<IDispatch>& object) const
{
    const auto it = exports_.find(id);
    if (it == exports_.end())
        return RPC_E_DISCONNECTED;
    object = it->second.object;
    return S_OK;
}

bool ServerSession::release(Wire::ObjectId id)
{
    const auto it = exports_.find(id);
    if (it == exports_.end())
        return false;
    if (--it->second.references == 0) {
        ids_.erase(it->second.object.get());
        exports_.erase(it);
    }
    return true;
}

void ServerSession::handleFrame(const char* data, std::size_t size)
{
    Wire::Reader reader(data, size);
    const auto type = Wire::Type(reader.u8());
    const std::uint32_t serial = reader.u32();

    if (type == Wire::Type::Hello) {
        handleHello(reader, serial);
        return;
    }
    if (!greeted_) {
        sendError(serial, RPC_E_INVALID_DATA);
        closing_ = true;
        return;
    }
    switch (type) {
    case Wire::Type::Release:
        handleRelease(reader, serial, size);
        return;
    case Wire::Type::GetIDsOfNames:
        handleNames(reader, serial);
        return;
    case Wire::Type::Invoke:
        handleInvoke(reader, serial);
        return;
    default:
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
}

void ServerSession::handleHello(Wire::Reader& reader, std::uint32_t serial)
{
    char magic[sizeof Wire::Magic];
    const bool known = reader.bytes(magic, sizeof magic) &&
                       std::equal(magic, magic + sizeof magic, Wire::Magic) &&
                       reader.u16() == Wire::Version && reader.atEnd();
    Wire::ObjectRef root;
    if (!known || greeted_ || !root_ || !exportObject(root_.get(), root)) {
        sendError(serial, RPC_E_INVALID_DATA);
        // A second greeting is only refused; a broken first one ends the connection.
        closing_ = closing_ || !greeted_;
        return;
    }
    greeted_ = true;
    Wire::Writer reply(Wire::Type::HelloReply, serial);
    reply.u16(Wire::Version);
    reply.u64(root.id);
    reply.u64(root.namesTag);
    send(reply.frame());
}

void ServerSession::handleRelease(Wire::Reader& reader, std::uint32_t serial, std::size_t size)
{
    const std::uint32_t count = reader.u32();
    if (!reader.ok() || count > (size - 9) / 8) {
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
    bool allKnown = true;
    for (std::uint32_t i = 0; i < count; ++i)
        allKnown = release(reader.u64()) && allKnown;
    if (!allKnown)
        sendError(serial, RPC_E_DISCONNECTED);
}

void ServerSession::handleNames(Wire::Reader& reader, std::uint32_t serial)
{
    const Wire::ObjectId id = reader.u64();
    const LCID lcid = reader.u32();
    const std::uint32_t count = reader.u32();
    if (!reader.ok() || count == 0 || count > Wire::MaxNames) {
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
    QString names[Wire::MaxNames];
    for (std::uint32_t i = 0; i < count; ++i)
        names[i] = reader.string();
    if (!reader.ok() || !reader.atEnd()) {
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
    ComPtr<IDispatch> object;
    HRESULT hr = importObject(id, object);
    DISPID ids[Wire::MaxNames];
    if (SUCCEEDED(hr)) {
        try {
            hr = object->GetIDsOfNames(IID_NULL, names, count, lcid, ids);
        } catch (const std::exception&) {
            hr = RPC_E_SERVERFAULT;
        }
    }
    if (FAILED(hr)) {
        sendError(serial, hr);
        return;
    }
    Wire::Writer reply(Wire::Type::NamesReply, serial);
    reply.u32(count);
    for (std::uint32_t i = 0; i < count; ++i)
        reply.i32(ids[i]);
    send(reply.frame());
}

void ServerSession::handleInvoke(Wire::Reader& reader, std::uint32_t serial)
{
    const Wire::ObjectId id = reader.u64();
    const DISPID dispId = reader.i32();
    const LCID lcid = reader.u32();
    const WORD flags = reader.u16();
    const std::uint32_t argumentCount = reader.u32();
    if (!reader.ok() || argumentCount > Wire::MaxArguments) {
        sendError(serial, reader.ok() ? DISP_E_BADPARAMCOUNT : RPC_E_INVALID_DATA);
        return;
    }
    std::vector<Variant> arguments(argumentCount);
    for (std::uint32_t i = 0; i < argumentCount; ++i) {
        const HRESULT hr =
            reader.variant(arguments[i], [&](const Wire::ObjectRef& object, ComPtr<IDispatch>& out) {
                return importObject(object.id, out);
            });
        if (FAILED(hr)) {
            sendError(serial, hr, nullptr, hr == RPC_E_INVALID_DATA ? Wire::NoArgErr : i);
            return;
        }
    }
    const std::uint32_t namedCount = reader.u32();
    if (!reader.ok() || namedCount > argumentCount) {
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
    std::vector<DISPID> named(namedCount);
    for (std::uint32_t i = 0; i < namedCount; ++i)
        named[i] = reader.i32();
    if (!reader.ok() || !reader.atEnd()) {
        sendError(serial, RPC_E_INVALID_DATA);
        return;
    }
    ComPtr<IDispatch> object;
    HRESULT hr = importObject(id, object);
    if (FAILED(hr)) {
        sendError(serial, hr);
        return;
    }
    DISPPARAMS params{arguments.data(), named.data(), argumentCount, namedCount};
    Variant result;
    EXCEPINFO info;
    UINT argErr = Wire::NoArgErr;
    try {
        hr = object->Invoke(dispId, IID_NULL, lcid, flags, &params, &result, &info, &argErr);
    } catch (const std::exception&) {
        hr = RPC_E_SERVERFAULT;
    }
    if (FAILED(hr)) {
        const bool argumentError = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND;
        sendError(serial, hr, hr == DISP_E_EXCEPTION ? &info : nullptr,
                  argumentError && argErr < argumentCount ? argErr : Wire::NoArgErr);
        return;
    }
    Wire::Writer reply(Wire::Type::InvokeReply, serial);
    if (!reply.variant(result, [&](IDispatch* out, Wire::ObjectRef& ref) {
            return exportObject(out, ref);
        })) {
        sendError(serial, result.vt() == VT_DISPATCH ? E_OUTOFMEMORY : DISP_E_BADVARTYPE);
        return;
    }
    send(reply.frame());
}

} // namespace Automation
