#include "platform/automation/AutomationError.h"
#include "platform/automation/Wire.h"
#include "tests/platform/automation/AutomationTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace Automation;

namespace {

struct IntegerCase
{
    const char* name;
    Variant value;
    HRESULT hr;
    std::int32_t expected;
};

void PrintTo(const IntegerCase& c, std::ostream* out)
{
    *out << c.name;
}

class VariantToInteger : public ::testing::TestWithParam<IntegerCase>
{
};

TEST_P(VariantToInteger, Converts)
{
    std::int32_t value = 12345;
    EXPECT_EQ(GetParam().value.toInt32(value), GetParam().hr);
    if (SUCCEEDED(GetParam().hr)) {
        EXPECT_EQ(value, GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Automation, VariantToInteger,
    ::testing::Values(
        IntegerCase{"I4", Variant::FromI4(-7), S_OK, -7},
        IntegerCase{"I2", Variant::FromI2(300), S_OK, 300},
        IntegerCase{"Empty", Variant(), S_OK, 0},
        IntegerCase{"BoolTrueIsMinusOne", Variant::FromBool(true), S_OK, -1},
        IntegerCase{"R8RoundsHalfToEven", Variant::FromR8(2.5), S_OK, 2},
        IntegerCase{"R8Rounds", Variant::FromR8(3.6), S_OK, 4},
        IntegerCase{"R8TooLarge", Variant::FromR8(3e9), DISP_E_OVERFLOW, 0},
        IntegerCase{"R8NaN", Variant::FromR8(std::nan("")), DISP_E_TYPEMISMATCH, 0},
        IntegerCase{"NumericText", Variant::FromBstr(QStringLiteral(" 42 ")), S_OK, 42},
        IntegerCase{"WordText", Variant::FromBstr(QStringLiteral("abc")), DISP_E_TYPEMISMATCH, 0},
        IntegerCase{"Null", Variant::Null(), DISP_E_TYPEMISMATCH, 0},
        IntegerCase{"Missing", Variant::Missing(), DISP_E_TYPEMISMATCH, 0},
        IntegerCase{"NullObject", Variant::FromDispatch(nullptr), DISP_E_TYPEMISMATCH, 0}),
    [](const ::testing::TestParamInfo<IntegerCase>& param) {
        return std::string(param.param.name);
    });

TEST(Variant, ToText)
{
    QString text;
    EXPECT_EQ(Variant::FromBstr(QStringLiteral("売上")).toText(text), S_OK);
    EXPECT_EQ(text, QStringLiteral("売上"));
    EXPECT_EQ(Variant::FromI4(-12).toText(text), S_OK);
    EXPECT_EQ(text, QStringLiteral("-12"));
    EXPECT_EQ(Variant::FromR8(0.5).toText(text), S_OK);
    EXPECT_EQ(text, QStringLiteral("0.5"));
    EXPECT_EQ(Variant().toText(text), S_OK);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(Variant::Null().toText(text), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Variant::FromDispatch(nullptr).toText(text), DISP_E_TYPEMISMATCH);
}

TEST(Variant, CopiesShareTheObjectAndReleaseIt)
{
    const int before = AutomationTest::RecordingDispatch::alive;
    {
        Variant original = Variant::FromDispatch(MakeDispatch<AutomationTest::RecordingDispatch>());
        EXPECT_EQ(AutomationTest::RecordingDispatch::alive, before + 1);
        Variant copy = original;
        EXPECT_EQ(copy.pdispVal(), original.pdispVal());
        original = Variant::FromI4(1);
        EXPECT_EQ(AutomationTest::RecordingDispatch::alive, before + 1);
        copy = copy; // self-assignment keeps the reference
        EXPECT_NE(copy.pdispVal(), nullptr);
    }
    EXPECT_EQ(AutomationTest::RecordingDispatch::alive, before);
}

TEST(Variant, MissingIsErrorParamNotFound)
{
    const Variant missing = Variant::Missing();
    EXPECT_EQ(missing.vt(), VT_ERROR);
    EXPECT_EQ(missing.scode(), DISP_E_PARAMNOTFOUND);
    EXPECT_TRUE(missing.isMissing());
    EXPECT_EQ(Variant::FromBool(true).boolVal(), VARIANT_TRUE);
    EXPECT_EQ(Variant::FromBool(false).boolVal(), VARIANT_FALSE);
}

Wire::ExportObject NoObjects()
{
    return [](IDispatch*, Wire::ObjectRef&) { return false; };
}

Wire::ImportObject RefuseObjects()
{
    return [](const Wire::ObjectRef&, ComPtr<IDispatch>&) { return RPC_E_DISCONNECTED; };
}

TEST(Wire, VariantsRoundTrip)
{
    const std::vector<Variant> values{Variant(),
                                      Variant::Null(),
                                      Variant::FromI2(-3),
                                      Variant::FromI4(std::numeric_limits<std::int32_t>::min()),
                                      Variant::FromR8(-1.25),
                                      Variant::FromBool(true),
                                      Variant::FromBool(false),
                                      Variant::FromError(DISP_E_PARAMNOTFOUND),
                                      Variant::FromBstr(QStringLiteral("ｶﾀｶﾅ\U00020BB7\n")),
                                      Variant::FromBstr(QString()),
                                      Variant::FromDispatch(nullptr)};
    Wire::Writer writer(Wire::Type::InvokeReply, 77);
    for (const Variant& value : values)
        ASSERT_TRUE(writer.variant(value, NoObjects()));
    const QByteArray frame = writer.frame();
    Wire::Reader reader(frame.constData() + 4, std::size_t(frame.size() - 4));
    EXPECT_EQ(reader.u8(), std::uint8_t(Wire::Type::InvokeReply));
    EXPECT_EQ(reader.u32(), 77u);
    for (const Variant& expected : values) {
        Variant read;
        ASSERT_EQ(reader.variant(read, RefuseObjects()), S_OK);
        EXPECT_TRUE(read == expected) << "vt " << expected.vt();
    }
    EXPECT_TRUE(reader.atEnd());
}

TEST(Wire, ReaderNeverReadsPastTheEnd)
{
    Wire::Writer writer(Wire::Type::InvokeReply, 1);
    writer.variant(Variant::FromBstr(QStringLiteral("abcdef")), NoObjects());
    const QByteArray frame = writer.frame();
    // Every truncation of a valid payload fails cleanly.
    for (qsizetype cut = 5; cut < frame.size() - 4; ++cut) {
        Wire::Reader reader(frame.constData() + 4, std::size_t(cut));
        reader.u8();
        reader.u32();
        Variant value;
        EXPECT_EQ(reader.variant(value, RefuseObjects()), RPC_E_INVALID_DATA) << cut;
    }
}

TEST(Wire, ReaderRejectsLiesAndUnknownTypes)
{
    {
        // A string that claims more characters than the payload holds.
        Wire::Writer writer(Wire::Type::InvokeReply, 1);
        writer.u16(VT_BSTR);
        writer.u32(0x7fffffff);
        const QByteArray frame = writer.frame();
        Wire::Reader reader(frame.constData() + 9, std::size_t(frame.size() - 9));
        Variant value;
        EXPECT_EQ(reader.variant(value, RefuseObjects()), RPC_E_INVALID_DATA);
    }
    const std::vector<std::pair<std::uint16_t, std::uint16_t>> bad{{0x4003 /* VT_BYREF|VT_I4 */, 0},
                                                                   {VT_BOOL, 5}};
    for (const auto& [vt, payload] : bad) {
        Wire::Writer writer(Wire::Type::InvokeReply, 1);
        writer.u16(vt);
        writer.u16(payload);
        const QByteArray frame = writer.frame();
        Wire::Reader reader(frame.constData() + 9, std::size_t(frame.size() - 9));
        Variant value;
        EXPECT_EQ(reader.variant(value, RefuseObjects()), DISP_E_BADVARTYPE) << vt;
    }
    // A dispatch reference the importer does not know.
    Wire::Writer writer(Wire::Type::InvokeReply, 1);
    writer.u16(VT_DISPATCH);
    writer.u64(99);
    writer.u64(0);
    const QByteArray frame = writer.frame();
    Wire::Reader reader(frame.constData() + 9, std::size_t(frame.size() - 9));
    Variant value;
    EXPECT_EQ(reader.variant(value, RefuseObjects()), RPC_E_DISCONNECTED);
}

TEST(AutomationError, CarriesTheServersDescriptionOrTheSystemText)
{
    EXCEPINFO info;
    info.scode = DISP_E_BADINDEX;
    info.bstrDescription = QStringLiteral("インデックスが有効範囲にありません。");
    try {
        CheckResult(DISP_E_EXCEPTION, &info);
        FAIL() << "no exception";
    } catch (const Exception& error) { // caught as the common base
        EXPECT_EQ(error.Message(), info.bstrDescription);
        EXPECT_EQ(dynamic_cast<const AutomationError&>(error).ErrorCode(), DISP_E_EXCEPTION);
    }
    info.bstrDescription.clear();
    EXPECT_THROW(
        {
            try {
                CheckResult(DISP_E_EXCEPTION, &info);
            } catch (const AutomationError& error) {
                EXPECT_EQ(error.Message(), SystemErrorText(DISP_E_BADINDEX));
                throw;
            }
        },
        AutomationError);
    EXPECT_NO_THROW(CheckResult(S_FALSE));
    EXPECT_EQ(SystemErrorText(Code(0x80001234)),
              QStringLiteral("オートメーション エラーです。(0x80001234)"));
}

} // namespace
