// The main window's commands and lifecycle: construction, start-up, tray, closing, and the
// file, view, settings and help commands.
#include "tabrill/app/UnitMain.h"

// Not built yet: every handler below does nothing.

void TFormMain::FormCreate() {}

void TFormMain::StartupIdle() {}

void TFormMain::StoreColumnWidths() {}

void TFormMain::FormShow(QObject*) {}

void TFormMain::FormClose(QObject*) {}

void TFormMain::ApplicationEvents1Minimize(QObject*) {}

void TFormMain::TrayIcon1Click(QObject*) {}

void TFormMain::ActionFileNewExecute(QObject*) {}

void TFormMain::ActionFileOpenExecute(QObject*) {}

void TFormMain::ActionFileSaveExecute(QObject*) {}

void TFormMain::ActionFileSaveAsExecute(QObject*) {}

void TFormMain::ActionFileCloseExecute(QObject*) {}

void TFormMain::ActionViewSearchExecute(QObject*) {}

void TFormMain::ActionViewResultColExecute(QObject*) {}

void TFormMain::ActionViewStayOnTopExecute(QObject*) {}

void TFormMain::ActionConfigGeneralExecute(QObject*) {}

void TFormMain::ActionHelpHelpExecute(QObject*) {}

void TFormMain::ActionHelpVersionExecute(QObject*) {}

void TFormMain::MenuFileClick(QObject*) {}

void TFormMain::MenuFileReOpenItemClick(QObject*) {}

void TFormMain::OpenProjectFile(const QString&) {}

void TFormMain::ProjectToControls(const TProject&) {}

void TFormMain::ControlsToProject() {}

void TFormMain::UpdateTitle(const QString&) {}

void TFormMain::ApplyColumnWidths() {}
