#pragma once

#include "platform/Exception.h"

// Failures to read or write a whole file. Each message names the file and gives the system's
// reason.
class EFOpenError : public Exception
{
public:
    // "ファイル "<path>" を開けません。<reason>"
    EFOpenError(const QString& fileName, const QString& reason);

    const QString& FileName() const noexcept { return fileName_; }

private:
    QString fileName_;
};

class EFCreateError : public Exception
{
public:
    // "ファイル "<path>" を作成できません。<reason>"
    EFCreateError(const QString& fileName, const QString& reason);

    const QString& FileName() const noexcept { return fileName_; }

private:
    QString fileName_;
};

namespace Platform {

// The system's reason for an errno value, as one Japanese sentence ending in "。".
QString SystemErrorText(int errorNumber);

} // namespace Platform
