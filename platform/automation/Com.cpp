#include "platform/automation/Automation.h"

#include <QCoreApplication>

namespace Automation {

namespace {

thread_local int initializations = 0;

// {00024500-0000-0000-C000-000000000046}
constexpr CLSID CLSID_ExcelApplication{0x00024500, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

} // namespace

HRESULT CoInitialize(void*)
{
    return initializations++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (initializations > 0)
        --initializations;
}

bool IsInitialized()
{
    return initializations > 0;
}

HRESULT CLSIDFromProgID(const QString& progId, CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    if (progId.compare(QStringLiteral("Excel.Application"), Qt::CaseInsensitive) == 0) {
        *clsid = CLSID_ExcelApplication;
        return S_OK;
    }
    *clsid = CLSID{};
    return CO_E_CLASSSTRING;
}

QString StringFromGUID(const GUID& guid)
{
    QString text = QStringLiteral("{%1-%2-%3-")
                       .arg(guid.Data1, 8, 16, QLatin1Char('0'))
                       .arg(guid.Data2, 4, 16, QLatin1Char('0'))
                       .arg(guid.Data3, 4, 16, QLatin1Char('0'));
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            text += QLatin1Char('-');
        text += QStringLiteral("%1").arg(guid.Data4[i], 2, 16, QLatin1Char('0'));
    }
    text += QLatin1Char('}');
    return text.toUpper();
}

QString SystemErrorText(HRESULT hr)
{
    switch (hr) {
    case E_NOTIMPL:
        return QStringLiteral("実装されていません。");
    case E_NOINTERFACE:
        return QStringLiteral("インターフェイスがサポートされていません。");
    case E_POINTER:
        return QStringLiteral("無効なポインターです。");
    case E_FAIL:
        return QStringLiteral("エラーを特定できません。");
    case E_UNEXPECTED:
        return QStringLiteral("致命的なエラーです。");
    case E_OUTOFMEMORY:
        return QStringLiteral("この操作を完了するのに十分な記憶域がありません。");
    case E_INVALIDARG:
        return QStringLiteral("パラメーターが間違っています。");
    case CO_E_NOTINITIALIZED:
        return QStringLiteral("CoInitialize は呼び出されていません。");
    case CO_E_CLASSSTRING:
        return QStringLiteral("クラス文字列が無効です。");
    case MK_E_UNAVAILABLE:
        return QStringLiteral("操作は利用できません。");
    case RPC_E_DISCONNECTED:
        return QStringLiteral("起動されたオブジェクトはクライアントから切断されました。");
    case RPC_E_SERVERFAULT:
        return QStringLiteral("サーバーで例外が発生しました。");
    case RPC_E_TIMEOUT:
        return QStringLiteral("この操作はタイムアウトになりました。");
    case RPC_E_INVALID_DATA:
        return QStringLiteral("受信したデータは無効です。");
    case RPC_S_SERVER_UNAVAILABLE:
        return QStringLiteral("RPC サーバーを利用できません。");
    case RPC_S_CALL_FAILED:
        return QStringLiteral("リモート プロシージャ コールに失敗しました。");
    case DISP_E_UNKNOWNINTERFACE:
        return QStringLiteral("インターフェイスが不明です。");
    case DISP_E_MEMBERNOTFOUND:
        return QStringLiteral("メンバーが見つかりません。");
    case DISP_E_PARAMNOTFOUND:
        return QStringLiteral("パラメーターが見つかりません。");
    case DISP_E_TYPEMISMATCH:
        return QStringLiteral("型が一致しません。");
    case DISP_E_UNKNOWNNAME:
        return QStringLiteral("名前が不明です。");
    case DISP_E_NONAMEDARGS:
        return QStringLiteral("名前付き引数はサポートされていません。");
    case DISP_E_BADVARTYPE:
        return QStringLiteral("変数の型が正しくありません。");
    case DISP_E_EXCEPTION:
        return QStringLiteral("例外が発生しました。");
    case DISP_E_OVERFLOW:
        return QStringLiteral("オーバーフローしました。");
    case DISP_E_BADINDEX:
        return QStringLiteral("インデックスが無効です。");
    case DISP_E_BADPARAMCOUNT:
        return QStringLiteral("引数の数が無効です。");
    default:
        return QStringLiteral("オートメーション エラーです。(0x%1)")
            .arg(QString::number(std::uint32_t(hr), 16).toUpper().rightJustified(8, u'0'));
    }
}

} // namespace Automation

// The program's main thread counts as initialised from the start of the application, as a
// Windows program's user-interface thread is.
static void InitializeAutomationOnMainThread()
{
    Automation::CoInitialize();
}
Q_COREAPP_STARTUP_FUNCTION(InitializeAutomationOnMainThread)
