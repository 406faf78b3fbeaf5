#pragma once

#include "platform/automation/ActiveObjectHost.h"
#include "sheethost/model/Workbook.h"

#include <QObject>

namespace SheetHost {

// Serves the application as "Excel.Application" in the running-object table, answering clients
// on the event loop of the thread it lives in (SheetHost's GUI thread). The entry is removed
// when the server is destroyed.
class AutomationServer : public QObject
{
    Q_OBJECT
public:
    explicit AutomationServer(Application& application, QObject* parent = nullptr);
    ~AutomationServer() override;

    // False when another live SheetHost holds the entry (this one then runs unregistered, as a
    // second Excel does) or the entry cannot be made; an entry left by one that crashed is
    // taken over.
    bool registerActiveObject();
    bool isRegistered() const;
    QString errorString() const;

private:
    Application& application_;
    Automation::ActiveObjectHost host_;
};

} // namespace SheetHost
