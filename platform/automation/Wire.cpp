#include "platform/automation/Wire.h"

#include <QtEndian>
#include <cstring>

namespace Automation::Wire {

Writer::Writer(Type type, std::uint32_t serial)
{
    payload_.reserve(64);
    u8(std::uint8_t(type));
    u32(serial);
}

void Writer::u8(std::uint8_t value)
{
    payload_.append(char(value));
}

void Writer::u16(std::uint16_t value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    payload_.append(bytes, 2);
}

void Writer::u32(std::uint32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    payload_.append(bytes, 4);
}

void Writer::u64(std::uint64_t value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    payload_.append(bytes, 8);
}

void Writer::f64(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    u64(bits);
}

void Writer::string(const QString& value)
{
    u32(std::uint32_t(value.size()));
    const qsizetype at = payload_.size();
    payload_.resize(at + 2 * value.size());
    qToLittleEndian<std::uint16_t>(value.utf16(), value.size(), payload_.data() + at);
}

void Writer::bytes(const char* data, std::size_t size)
{
    payload_.append(data, qsizetype(size));
}

bool Writer::variant(const Variant& value, const ExportObject& exportObject)
{
    switch (value.vt()) {
    case VT_EMPTY:
    case VT_NULL:
        u16(value.vt());
        return true;
    case VT_I2:
        u16(value.vt());
        u16(std::uint16_t(value.iVal()));
        return true;
    case VT_I4:
        u16(value.vt());
        i32(value.lVal());
        return true;
    case VT_R8:
        u16(value.vt());
        f64(value.dblVal());
        return true;
    case VT_BOOL:
        u16(value.vt());
        u16(std::uint16_t(value.boolVal()));
        return true;
    case VT_ERROR:
        u16(value.vt());
        i32(value.scode());
        return true;
    case VT_BSTR:
        u16(value.vt());
        string(value.bstrVal());
        return true;
    case VT_DISPATCH: {
        ObjectRef ref;
        if (value.pdispVal() && !exportObject(value.pdispVal(), ref))
            return false;
        u16(value.vt());
        u64(ref.id);
        u64(ref.namesTag);
        return true;
    }
    default:
        return false;
    }
}

QByteArray Writer::frame() const
{
    QByteArray frame;
    frame.reserve(4 + payload_.size());
    char length[4];
    qToLittleEndian(std::uint32_t(payload_.size()), length);
    frame.append(length, 4);
    frame.append(payload_);
    return frame;
}

const char* Reader::take(std::size_t size)
{
    if (!ok_ || size_ - position_ < size) {
        ok_ = false;
        return nullptr;
    }
    const char* at = data_ + position_;
    position_ += size;
    return at;
}

std::uint8_t Reader::u8()
{
    const char* at = take(1);
    return at ? std::uint8_t(*at) : 0;
}

std::uint16_t Reader::u16()
{
    const char* at = take(2);
    return at ? qFromLittleEndian<std::uint16_t>(at) : 0;
}

std::uint32_t Reader::u32()
{
    const char* at = take(4);
    return at ? qFromLittleEndian<std::uint32_t>(at) : 0;
}

std::uint64_t Reader::u64()
{
    const char* at = take(8);
    return at ? qFromLittleEndian<std::uint64_t>(at) : 0;
}

double Reader::f64()
{
    const std::uint64_t bits = u64();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QString Reader::string()
{
    const std::uint32_t length = u32();
    // Checked against what is left before anything is allocated.
    if (!ok_ || (size_ - position_) / 2 < length) {
        ok_ = false;
        return {};
    }
    QString value(qsizetype(length), Qt::Uninitialized);
    const char* at = take(std::size_t(length) * 2);
    qFromLittleEndian<std::uint16_t>(at, qsizetype(length), value.data());
    return value;
}

bool Reader::bytes(char* out, std::size_t size)
{
    const char* at = take(size);
    if (!at)
        return false;
    std::memcpy(out, at, size);
    return true;
}

HRESULT Reader::variant(Variant& out, const ImportObject& importObject)
{
    const std::uint16_t vt = u16();
    if (!ok_)
        return RPC_E_INVALID_DATA;
    switch (vt) {
    case VT_EMPTY:
        out = Variant();
        break;
    case VT_NULL:
        out = Variant::Null();
        break;
    case VT_I2:
        out = Variant::FromI2(std::int16_t(u16()));
        break;
    case VT_I4:
        out = Variant::FromI4(i32());
        break;
    case VT_R8:
        out = Variant::FromR8(f64());
        break;
    case VT_BOOL: {
        const auto value = std::int16_t(u16());
        if (value != VARIANT_TRUE && value != VARIANT_FALSE)
            return DISP_E_BADVARTYPE;
        out = Variant::FromBool(value != 0);
        break;
    }
    case VT_ERROR:
        out = Variant::FromError(i32());
        break;
    case VT_BSTR:
        out = Variant::FromBstr(string());
        break;
    case VT_DISPATCH: {
        ObjectRef ref;
        ref.id = u64();
        ref.namesTag = u64();
        if (!ok_)
            return RPC_E_INVALID_DATA;
        ComPtr<IDispatch> object;
        if (ref.id != 0) {
            const HRESULT hr = importObject(ref, object);
            if (FAILED(hr))
                return hr;
        }
        out = Variant::FromDispatch(std::move(object));
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    return ok_ ? S_OK : RPC_E_INVALID_DATA;
}

} // namespace Automation::Wire
