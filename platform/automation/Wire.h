#pragma once

#include "platform/automation/Automation.h"

#include <QByteArray>
#include <cstdint>
#include <functional>

// The frames between automation clients and a server: a 32-bit little-endian length, then the
// payload: a type byte, a 32-bit serial that the reply repeats, and the fields of the type.
namespace Automation::Wire {

inline constexpr std::uint32_t MaxFrame = 16 * 1024 * 1024;
inline constexpr std::uint16_t Version = 1;
inline constexpr char Magic[4] = {'T', 'B', 'R', 'A'};
inline constexpr std::uint32_t MaxArguments = 64;
inline constexpr std::uint32_t MaxNames = 16;
inline constexpr std::uint32_t NoArgErr = 0xffffffffu;

enum class Type : std::uint8_t
{
    Hello = 1,         // magic, version
    GetIDsOfNames = 2, // object, lcid, count, names
    Invoke = 3, // object id, dispid, lcid, flags, argument count, arguments, named count, named ids
    Release = 4,        // count, object ids (one reference each); no reply
    HelloReply = 0x81,  // version, root object id, its names tag
    NamesReply = 0x82,  // count, dispids
    InvokeReply = 0x83, // result
    ErrorReply = 0xff,  // hr, argErr, has exception info, wCode, scode, source, description
};

// Object ids are the server's, per connection; 0 is the null reference. An object reference
// travels with the names tag of its object (0: none), see StableMemberNames.
using ObjectId = std::uint64_t;
struct ObjectRef
{
    ObjectId id = 0;
    std::uint64_t namesTag = 0;
};
using ExportObject = std::function<bool(IDispatch*, ObjectRef&)>;
using ImportObject = std::function<HRESULT(const ObjectRef&, ComPtr<IDispatch>&)>;

class Writer
{
public:
    Writer(Type type, std::uint32_t serial);

    void u8(std::uint8_t value);
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void i32(std::int32_t value) { u32(std::uint32_t(value)); }
    void u64(std::uint64_t value);
    void f64(double value);
    void string(const QString& value);
    void bytes(const char* data, std::size_t size);
    // False when a dispatch reference cannot be sent (exportObject refused it).
    bool variant(const Variant& value, const ExportObject& exportObject);

    // The length prefix followed by the payload.
    QByteArray frame() const;

private:
    QByteArray payload_;
};

// Reads a payload without ever reading past its end; the first short read makes ok() false.
class Reader
{
public:
    Reader(const char* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return position_ == size_; }

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int32_t i32() { return std::int32_t(u32()); }
    std::uint64_t u64();
    double f64();
    QString string();
    bool bytes(char* out, std::size_t size);
    // DISP_E_BADVARTYPE for an unknown type, RPC_E_INVALID_DATA for a short payload, or what
    // importObject answers for a dispatch reference.
    HRESULT variant(Variant& out, const ImportObject& importObject);

private:
    const char* take(std::size_t size);

    const char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

} // namespace Automation::Wire
