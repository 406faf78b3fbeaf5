#include "platform/Exception.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

std::vector<std::string> CorpusFiles()
{
    const QDir folder(TestEnvironment::Fixture(u"corpus/xlsx"_s));
    std::vector<std::string> names;
    for (const QString& name : folder.entryList({u"*.xlsx"_s}, QDir::Files, QDir::Name))
        names.push_back(name.toStdString());
    return names;
}

QString CorpusPath(const std::string& name)
{
    return TestEnvironment::Fixture(u"corpus/xlsx/"_s + QString::fromStdString(name));
}

class CorpusWorkbook : public testing::TestWithParam<std::string>
{
};

TEST_P(CorpusWorkbook, OpensWithoutAnError)
{
    try {
        const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(CorpusPath(GetParam()));
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(book->name(), QString::fromStdString(GetParam()));
        if (qEnvironmentVariableIsSet("SHEETHOST_DUMP")) {
            for (int s = 0; s < book->worksheetCount(); ++s) {
                const Worksheet& sheet = book->worksheet(s);
                const CellRange used = sheet.usedRange();
                std::printf("## %s [%d] %s used %d,%d-%d,%d cells %zu\n", GetParam().c_str(), s,
                            sheet.name().toUtf8().constData(), used.first.row, used.first.column,
                            used.last.row, used.last.column, sheet.cellCount());
            }
        }
    } catch (const Exception& error) {
        FAIL() << error.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusWorkbook, testing::ValuesIn(CorpusFiles()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(0, param.param.size() - 5);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             }
                             return name;
                         });

} // namespace
