// A headless SheetHost for tests that need one in another process: builds its workbooks from a
// JSON file, registers as "Excel.Application" and says on stdout whether it got the entry.
//   sheethost_test_server books.json
// {"books": [{"name": "a.xlsx", "sheets": [{"name": "Sheet1",
//   "cells": [["B2", "formula", "text", "optional note"]], "touch": ["XFD1048576"]}]}]}

#include "sheethost/server/AutomationServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

namespace {

SheetHost::CellAddress parseAddress(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([A-Z]+)([0-9]+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    int column = 0;
    for (const QChar c : match.captured(1))
        column = column * 26 + (c.unicode() - u'A' + 1);
    return {match.captured(2).toInt(), column};
}

void load(SheetHost::Application& app, const QJsonDocument& document)
{
    for (const QJsonValue bookValue : document.object().value(QStringLiteral("books")).toArray()) {
        const QJsonObject book = bookValue.toObject();
        auto workbook = std::make_unique<SheetHost::Workbook>(
            book.value(QStringLiteral("name")).toString(), QString());
        for (const QJsonValue sheetValue : book.value(QStringLiteral("sheets")).toArray()) {
            const QJsonObject sheet = sheetValue.toObject();
            SheetHost::Worksheet& worksheet =
                workbook->addWorksheet(sheet.value(QStringLiteral("name")).toString());
            for (const QJsonValue cellValue : sheet.value(QStringLiteral("cells")).toArray()) {
                const QJsonArray cell = cellValue.toArray();
                const SheetHost::CellAddress at = parseAddress(cell.at(0).toString());
                if (!cell.at(1).toString().isEmpty() || !cell.at(2).toString().isEmpty())
                    worksheet.setCell(at, cell.at(1).toString(), cell.at(2).toString());
                if (cell.size() > 3)
                    worksheet.setComment(at, cell.at(3).toString());
            }
            for (const QJsonValue touched : sheet.value(QStringLiteral("touch")).toArray())
                worksheet.touchCell(parseAddress(touched.toString()));
        }
        app.openWorkbook(std::move(workbook));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SheetHost::Application application;
    if (argc > 1) {
        QFile file(QFile::decodeName(argv[1]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[1]);
            return 2;
        }
        load(application, QJsonDocument::fromJson(file.readAll()));
    }
    SheetHost::AutomationServer server(application);
    const bool registered = server.registerActiveObject();
    std::printf(registered ? "registered\n" : "refused\n");
    std::fflush(stdout);
    // A second SheetHost keeps running without the entry, as a second Excel does.
    return app.exec();
}
