#include "platform/Exception.h"

#include <utility>

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toUtf8())
{
}

const char* Exception::what() const noexcept
{
    return utf8_.constData();
}
