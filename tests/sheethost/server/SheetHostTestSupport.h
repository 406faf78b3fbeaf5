#pragma once

// A SheetHost automation server on a thread of its own, with workbooks built in code, and a
// late-bound call helper for the client side.

#include "sheethost/server/AutomationServer.h"
#include "tests/platform/automation/AutomationTestSupport.h"

#include <memory>
#include <vector>

namespace SheetHostTest {

// Builds a workbook from rows of {address, formula, text, comment}; an empty formula and text
// with a comment makes a note on an empty cell.
struct CellSpec
{
    SheetHost::CellAddress at;
    const char16_t* formula;
    const char16_t* text;
    const char16_t* comment = nullptr;
};

inline void Fill(SheetHost::Worksheet& sheet, const std::vector<CellSpec>& cells)
{
    for (const CellSpec& cell : cells) {
        const QString formula = QString::fromUtf16(cell.formula);
        const QString text = QString::fromUtf16(cell.text);
        if (!formula.isEmpty() || !text.isEmpty())
            sheet.setCell(cell.at, formula, text);
        if (cell.comment)
            sheet.setComment(cell.at, QString::fromUtf16(cell.comment));
    }
}

class HostedSheetHost
{
public:
    // build fills the application on the server thread before the server registers.
    bool start(std::function<void(SheetHost::Application&)> build)
    {
        bool registered = false;
        thread_.run([&] {
            application_ = std::make_unique<SheetHost::Application>();
            build(*application_);
            server_ = std::make_unique<SheetHost::AutomationServer>(*application_);
            registered = server_->registerActiveObject();
        });
        return registered;
    }
    // Runs f with the application on the server thread.
    void with(std::function<void(SheetHost::Application&)> f)
    {
        thread_.run([&] { f(*application_); });
    }
    void stop()
    {
        thread_.run([&] {
            server_.reset();
            application_.reset();
        });
    }
    ~HostedSheetHost() { stop(); }

private:
    AutomationTest::ServerThread thread_;
    std::unique_ptr<SheetHost::Application> application_;
    std::unique_ptr<SheetHost::AutomationServer> server_;
};

} // namespace SheetHostTest
