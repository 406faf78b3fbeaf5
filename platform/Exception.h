#pragma once

#include <QString>

#include <exception>

// The general failure of the programs: a message the user can read.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override;

private:
    QString message_;
    QByteArray utf8_;
};
