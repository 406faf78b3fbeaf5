#include "sheethost/server/AutomationServer.h"

#include "sheethost/server/ObjectModel.h"

namespace SheetHost {

AutomationServer::AutomationServer(Application& application, QObject* parent)
    : QObject(parent), application_(application)
{
}

AutomationServer::~AutomationServer() = default;

bool AutomationServer::registerActiveObject()
{
    Automation::CLSID clsid;
    if (Automation::FAILED(
            Automation::CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid)))
        return false;
    return host_.registerObject(clsid, CreateApplicationObject(application_));
}

bool AutomationServer::isRegistered() const
{
    return host_.isRegistered();
}

QString AutomationServer::errorString() const
{
    return host_.errorString();
}

} // namespace SheetHost
