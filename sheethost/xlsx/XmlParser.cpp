#include "sheethost/xlsx/XmlParser.h"

#include "sheethost/xlsx/ZipArchive.h"

#include <QIODevice>
#include <cstring>
#include <expat.h>
#include <memory>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

constexpr int ChunkSize = 256 * 1024;

// Namespaces are not resolved: part names are few and fixed, and a prefix is all that differs
// between writers ("x:c" and "c"), so the local name is enough and much cheaper.
std::string_view LocalName(const char* name)
{
    std::string_view result(name);
    const std::size_t colon = result.rfind(':');
    return colon == std::string_view::npos ? result : result.substr(colon + 1);
}

struct Context
{
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    const QString* partName = nullptr;
    int depth = 0;
    int maxDepth = 0;
    std::exception_ptr error;
};

// Exceptions must not cross expat's C frames: keep the first and stop the parser.
template <typename Call> void Guard(Context* context, Call&& call)
{
    if (context->error)
        return;
    try {
        call();
    } catch (...) {
        context->error = std::current_exception();
        XML_StopParser(context->parser, XML_FALSE);
    }
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    auto* context = static_cast<Context*>(data);
    Guard(context, [&] {
        if (++context->depth > context->maxDepth) {
            throw XlsxError(u"%1 は XML の入れ子が深すぎます（%2 段を超えます）。"_s.arg(
                *context->partName, QString::number(context->maxDepth)));
        }
        context->handler->startElement(LocalName(name), attributes);
    });
}

void XMLCALL OnEnd(void* data, const XML_Char* name)
{
    auto* context = static_cast<Context*>(data);
    Guard(context, [&] {
        --context->depth;
        context->handler->endElement(LocalName(name));
    });
}

// The parts of a workbook never carry a document type. Refusing one outright leaves no room for
// entity expansion ("billion laughs") or external entities.
void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
{
    auto* context = static_cast<Context*>(data);
    Guard(context, [&] {
        throw XlsxError(
            u"%1 に DOCTYPE 宣言があります。ブックの部品には使われないため、安全のため読み込みません。"_s
                .arg(*context->partName));
    });
}

void XMLCALL OnEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*)
{
    OnDoctype(data, nullptr, nullptr, nullptr, 0);
}

void XMLCALL OnText(void* data, const XML_Char* text, int length)
{
    auto* context = static_cast<Context*>(data);
    Guard(context,
          [&] { context->handler->characters(std::string_view(text, std::size_t(length))); });
}

struct ParserDeleter
{
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

} // namespace

std::string_view XmlAttribute(const char** attributes, const char* name)
{
    for (const char** a = attributes; a && *a; a += 2) {
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    }
    return {};
}

std::string_view XmlNamespacedAttribute(const char** attributes, const char* localName)
{
    for (const char** a = attributes; a && *a; a += 2) {
        const char* colon = std::strchr(a[0], ':');
        if (colon && std::strncmp(a[0], "xmlns:", 6) != 0 && std::strcmp(colon + 1, localName) == 0)
            return a[1];
    }
    return {};
}

void ParseXml(QIODevice& device, const QString& partName, XmlHandler& handler, int maxDepth)
{
    const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser)
        throw std::bad_alloc();
    Context context;
    context.parser = parser.get();
    context.handler = &handler;
    context.partName = &partName;
    context.maxDepth = maxDepth;
    XML_SetUserData(parser.get(), &context);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnText);
    XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
    XML_SetEntityDeclHandler(parser.get(), OnEntityDeclaration);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    for (;;) {
        void* buffer = XML_GetBuffer(parser.get(), ChunkSize);
        if (!buffer)
            throw std::bad_alloc();
        const qint64 read = device.read(static_cast<char*>(buffer), ChunkSize);
        if (read < 0) {
            if (const auto* entry = dynamic_cast<const ZipEntryDevice*>(&device);
                entry && !entry->failure().isEmpty())
                throw XlsxError(entry->failure());
            throw XlsxError(u"ファイルが壊れています（%1）。"_s.arg(
                device.errorString().isEmpty() ? partName : device.errorString()));
        }
        const XML_Status status = XML_ParseBuffer(parser.get(), int(read), read == 0);
        if (context.error)
            std::rethrow_exception(context.error);
        if (status != XML_STATUS_OK) {
            throw XlsxError(
                u"ファイルが壊れています（%1 の %2 行目で XML の形式が正しくありません: %3）。"_s
                    .arg(partName, QString::number(XML_GetCurrentLineNumber(parser.get())),
                         QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser.get())))));
        }
        if (read == 0)
            return;
    }
}

} // namespace SheetHost
