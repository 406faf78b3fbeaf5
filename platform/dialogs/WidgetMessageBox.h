#pragma once

#include "platform/dialogs/MessageBox.h"

// The real message box on screen: a modal QMessageBox captioned with the application's title and
// with Japanese button texts.
namespace Platform {

// Makes ShowMessageBox use ShowWidgetMessageBox; the program entry calls it once.
void InstallWidgetMessageBox();

MessageAnswer ShowWidgetMessageBox(const MessageRequest& request);

} // namespace Platform
