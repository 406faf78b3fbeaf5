#pragma once

#include "sheethost/xlsx/XlsxLimits.h"

#include <QString>
#include <exception>
#include <string>
#include <string_view>

class QIODevice;

// A streaming XML parser over expat: element names come without their prefix, so "x:c" and
// "c" are the same element; text comes as UTF-8, whatever the part's encoding.
namespace SheetHost {

class XmlHandler
{
public:
    virtual ~XmlHandler() = default;
    // attributes: null-terminated pairs of name and value, names as written ("r", "r:id").
    virtual void startElement(std::string_view name, const char** attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void characters(std::string_view text) = 0;
};

// Value of an attribute without a namespace; empty when absent.
std::string_view XmlAttribute(const char** attributes, const char* name);
// Value of a prefixed attribute by its local name (r:id), whatever the prefix.
std::string_view XmlNamespacedAttribute(const char** attributes, const char* localName);

inline QString XmlText(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Feeds the whole device to the handler. A handler stops the parse by throwing; the exception
// comes out of ParseXml once the parser has been left. Malformed XML, a document type (DTD) and
// elements nested deeper than `maxDepth` throw XlsxError naming `partName`.
void ParseXml(QIODevice& device, const QString& partName, XmlHandler& handler,
              int maxDepth = XlsxLimits().maxXmlDepth);

} // namespace SheetHost
