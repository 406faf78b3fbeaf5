#pragma once

#include "extbinder/Tlinkextentionbase.h"

#include <memory>

// The back-end for the running Windows version: TLinkExtentionWinVista from 6.0 on,
// TLinkExtentionWinXp before.
std::unique_ptr<TLinkExtentionBase> CreateLinkExtention();

// The entry points of the tool window: each makes a back-end, runs one operation, and lets the
// back-end go, also when the operation fails.
namespace TLinkExtention {

void Link(const QString& ext, const QString& command, const QString& iconFile, int iconIndex,
          const QString& fileType);
void Unlink(const QString& ext);
QString GetCommand(const QString& ext);
QString GetFileType(const QString& ext);
TIconInfo GetIconInfo(const QString& ext);

} // namespace TLinkExtention
