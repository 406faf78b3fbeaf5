#include "platform/automation/Automation.h"

#include <cmath>
#include <limits>

namespace Automation {

Variant Variant::Null()
{
    Variant v;
    v.vt_ = VT_NULL;
    return v;
}

Variant Variant::FromI4(std::int32_t value)
{
    Variant v;
    v.vt_ = VT_I4;
    v.number_.i4 = value;
    return v;
}

Variant Variant::FromI2(std::int16_t value)
{
    Variant v;
    v.vt_ = VT_I2;
    v.number_.i2 = value;
    return v;
}

Variant Variant::FromR8(double value)
{
    Variant v;
    v.vt_ = VT_R8;
    v.number_.r8 = value;
    return v;
}

Variant Variant::FromBool(bool value)
{
    Variant v;
    v.vt_ = VT_BOOL;
    v.number_.b = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::FromBstr(QString value)
{
    Variant v;
    v.vt_ = VT_BSTR;
    v.bstr_ = std::move(value);
    return v;
}

Variant Variant::FromError(HRESULT scode)
{
    Variant v;
    v.vt_ = VT_ERROR;
    v.number_.scode = scode;
    return v;
}

Variant Variant::FromDispatch(ComPtr<IDispatch> dispatch)
{
    Variant v;
    v.vt_ = VT_DISPATCH;
    v.dispatch_ = std::move(dispatch);
    return v;
}

Variant Variant::Missing()
{
    return FromError(DISP_E_PARAMNOTFOUND);
}

namespace {

HRESULT fromDouble(double value, std::int32_t& out)
{
    if (std::isnan(value))
        return DISP_E_TYPEMISMATCH;
    // Automation rounds half to even.
    const double rounded = std::nearbyint(value);
    if (rounded < double(std::numeric_limits<std::int32_t>::min()) ||
        rounded > double(std::numeric_limits<std::int32_t>::max()))
        return DISP_E_OVERFLOW;
    out = std::int32_t(rounded);
    return S_OK;
}

} // namespace

HRESULT Variant::toInt32(std::int32_t& out) const
{
    switch (vt_) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I4:
        out = number_.i4;
        return S_OK;
    case VT_I2:
        out = number_.i2;
        return S_OK;
    case VT_BOOL:
        out = number_.b;
        return S_OK;
    case VT_R8:
        return fromDouble(number_.r8, out);
    case VT_BSTR: {
        bool ok = false;
        const double value = bstr_.trimmed().toDouble(&ok);
        if (!ok)
            return DISP_E_TYPEMISMATCH;
        return fromDouble(value, out);
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT Variant::toText(QString& out) const
{
    switch (vt_) {
    case VT_EMPTY:
        out.clear();
        return S_OK;
    case VT_BSTR:
        out = bstr_;
        return S_OK;
    case VT_I4:
        out = QString::number(number_.i4);
        return S_OK;
    case VT_I2:
        out = QString::number(number_.i2);
        return S_OK;
    case VT_R8:
        out = QString::number(number_.r8, 'g', 15).toUpper();
        return S_OK;
    case VT_BOOL:
        out = number_.b ? QStringLiteral("True") : QStringLiteral("False");
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

bool operator==(const Variant& a, const Variant& b)
{
    if (a.vt_ != b.vt_)
        return false;
    switch (a.vt_) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_I4:
        return a.number_.i4 == b.number_.i4;
    case VT_I2:
        return a.number_.i2 == b.number_.i2;
    case VT_R8:
        return a.number_.r8 == b.number_.r8;
    case VT_BOOL:
        return a.number_.b == b.number_.b;
    case VT_ERROR:
        return a.number_.scode == b.number_.scode;
    case VT_BSTR:
        return a.bstr_ == b.bstr_;
    case VT_DISPATCH:
        return a.dispatch_ == b.dispatch_;
    default:
        return false;
    }
}

} // namespace Automation
