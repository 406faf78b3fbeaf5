#pragma once

#include <QString>
#include <functional>

class QWidget;

// Help for the application, as Windows' HTML Help gives it: a help file beside the program, its
// table of contents, and topics reached by context number.
//
// A help file is a Qt binary resource file (made with `rcc --binary`) under any name, Tabrill.CHM
// for Tabrill. At its root it holds:
//   index.html     the table of contents, the page the viewer opens first
//   contexts.txt   one line per topic, "<context number>=<page>", e.g. "6=config-general.html"
//   further pages and images, linked relatively
// Every request goes through one replaceable function, so tests can watch what is asked.
namespace Platform {

enum class HelpCommand
{
    DisplayContents, // the table of contents
    DisplayContext,  // the topic with a context number
};

struct HelpRequest
{
    QString helpFile;
    HelpCommand command = HelpCommand::DisplayContents;
    int context = 0;
};

// The file that ShowHelpContents and ShowHelpContext open (the application's help file).
void SetApplicationHelpFile(const QString& helpFile);
QString ApplicationHelpFile();

// caller is the window asking; the viewer stays usable above it, also above a modal dialog,
// and closes with it. A file that cannot be opened, or a context it does not know, is reported
// in a message box and nothing else happens.
void ShowHelp(QWidget* caller, const HelpRequest& request);
void ShowHelpContents(QWidget* caller);
void ShowHelpContext(QWidget* caller, int context);

// F1 on the window (or any of its controls) opens the topic of that context number.
void SetHelpContext(QWidget* window, int context);

// Replaces the viewer for every request; returns the previous handler. An empty handler
// restores the viewer.
using HelpHandler = std::function<void(QWidget* caller, const HelpRequest& request)>;
HelpHandler SetHelpHandler(HelpHandler handler);

// The viewer itself, bypassing any handler.
void ShowInHelpViewer(QWidget* caller, const HelpRequest& request);

} // namespace Platform
