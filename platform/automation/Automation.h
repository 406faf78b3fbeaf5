#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <utility>

// Our stand-in for COM automation with late binding: result codes, variants, an IDispatch-shaped
// interface, per-thread initialisation and the running-object lookup. Remote objects are reached
// through proxies that speak to the serving process over a per-user Unix-domain socket.
namespace Automation {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using WORD = std::uint16_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

constexpr HRESULT Code(std::uint32_t value)
{
    return HRESULT(value);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = Code(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = Code(0x80004002);
inline constexpr HRESULT E_POINTER = Code(0x80004003);
inline constexpr HRESULT E_FAIL = Code(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = Code(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = Code(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = Code(0x80070057);
inline constexpr HRESULT CO_E_NOTINITIALIZED = Code(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = Code(0x800401F3);
inline constexpr HRESULT MK_E_UNAVAILABLE = Code(0x800401E3);
inline constexpr HRESULT RPC_E_DISCONNECTED = Code(0x80010108);
inline constexpr HRESULT RPC_E_SERVERFAULT = Code(0x80010105);
inline constexpr HRESULT RPC_E_TIMEOUT = Code(0x8001011F);
inline constexpr HRESULT RPC_E_INVALID_DATA = Code(0x8001000F);
inline constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = Code(0x800706BA);
inline constexpr HRESULT RPC_S_CALL_FAILED = Code(0x800706BE);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = Code(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = Code(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = Code(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = Code(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = Code(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = Code(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = Code(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = Code(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = Code(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = Code(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = Code(0x8002000E);

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
};

struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in upper case.
QString StringFromGUID(const GUID& guid);

inline constexpr IID IID_NULL{};
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IUnknown
{
public:
    virtual ~IUnknown() = default;
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

// Holds one reference; copies add one, destruction releases one.
template <typename T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference of its own.
    explicit ComPtr(T* object) : object_(object)
    {
        if (object_)
            object_->AddRef();
    }
    // Adopts a reference that the caller already holds.
    static ComPtr Adopt(T* object)
    {
        ComPtr result;
        result.object_ = object;
        return result;
    }
    ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <typename U> ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComPtr()
    {
        if (object_)
            object_->Release();
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    T* detach() { return std::exchange(object_, nullptr); }
    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.object_ == b.object_; }

private:
    T* object_ = nullptr;
};

class Variant;
struct DISPPARAMS;
struct EXCEPINFO;

class IDispatch : public IUnknown
{
public:
    virtual HRESULT GetIDsOfNames(const IID& iid, const QString* names, UINT count, LCID lcid,
                                  DISPID* dispIds) = 0;
    // Fills excepInfo when it answers DISP_E_EXCEPTION; argErr names the offending rgvarg
    // index with DISP_E_TYPEMISMATCH and DISP_E_PARAMNOTFOUND.
    virtual HRESULT Invoke(DISPID dispId, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params,
                           Variant* result, EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

// A tagged value: EMPTY, NULL, I2, I4, R8, BSTR (UTF-16), DISPATCH, ERROR, BOOL (-1 / 0).
class Variant
{
public:
    Variant() = default;
    static Variant Null();
    static Variant FromI4(std::int32_t value);
    static Variant FromI2(std::int16_t value);
    static Variant FromR8(double value);
    static Variant FromBool(bool value);
    static Variant FromBstr(QString value);
    static Variant FromError(HRESULT scode);
    static Variant FromDispatch(ComPtr<IDispatch> dispatch);
    // An omitted optional argument: VT_ERROR carrying DISP_E_PARAMNOTFOUND.
    static Variant Missing();

    VARTYPE vt() const { return vt_; }
    std::int32_t lVal() const { return vt_ == VT_I4 ? number_.i4 : 0; }
    std::int16_t iVal() const { return vt_ == VT_I2 ? number_.i2 : 0; }
    double dblVal() const { return vt_ == VT_R8 ? number_.r8 : 0.0; }
    VARIANT_BOOL boolVal() const { return vt_ == VT_BOOL ? number_.b : VARIANT_FALSE; }
    HRESULT scode() const { return vt_ == VT_ERROR ? number_.scode : S_OK; }
    const QString& bstrVal() const { return bstr_; }
    IDispatch* pdispVal() const { return dispatch_.get(); }
    const ComPtr<IDispatch>& dispatch() const { return dispatch_; }

    bool isMissing() const { return vt_ == VT_ERROR && number_.scode == DISP_E_PARAMNOTFOUND; }

    // Conversions as automation clients make them; DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW when
    // the value cannot be expressed.
    HRESULT toInt32(std::int32_t& out) const;
    HRESULT toText(QString& out) const;

    friend bool operator==(const Variant& a, const Variant& b);

private:
    VARTYPE vt_ = VT_EMPTY;
    union {
        std::int32_t i4;
        std::int16_t i2;
        double r8;
        VARIANT_BOOL b;
        HRESULT scode;
    } number_{0};
    QString bstr_;
    ComPtr<IDispatch> dispatch_;
};

// The arguments of one Invoke. As in COM, rgvarg holds the positional arguments in reverse
// order: the first argument is the last element.
struct DISPPARAMS
{
    Variant* rgvarg = nullptr;
    DISPID* rgdispidNamedArgs = nullptr;
    UINT cArgs = 0;
    UINT cNamedArgs = 0;
};

struct EXCEPINFO
{
    WORD wCode = 0;
    QString bstrSource;
    QString bstrDescription;
    QString bstrHelpFile;
    std::uint32_t dwHelpContext = 0;
    HRESULT scode = S_OK;
};

// Counts the calling thread's initialisations: S_OK for the first, S_FALSE after that.
// The application's main thread is initialised when the Qt application object is created.
HRESULT CoInitialize(void* reserved = nullptr);
void CoUninitialize();
bool IsInitialized();

// "Excel.Application" (without regard to case) names the class that SheetHost serves.
HRESULT CLSIDFromProgID(const QString& progId, CLSID* clsid);

// The running instance of the class, through the running-object table: MK_E_UNAVAILABLE
// when nothing serves it, CO_E_NOTINITIALIZED on a thread that has not initialised.
HRESULT GetActiveObject(const CLSID& clsid, void* reserved, IUnknown** object);

// How long a client waits for a live server's answer to one call before it gives up with
// RPC_E_TIMEOUT. A server that ends is noticed at once, whatever this is.
void SetCallTimeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds CallTimeout();

// The system's text for a result code, in Japanese as the user interface is.
QString SystemErrorText(HRESULT hr);

} // namespace Automation
