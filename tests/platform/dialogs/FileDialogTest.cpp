#include "platform/dialogs/FileDialog.h"

#include "platform/dialogs/Translations.h"
#include "tests/platform/dialogs/ModalHelper.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using Platform::FileDialogMode;
using Platform::FileDialogRequest;

const QString ProjectFilter =
    QStringLiteral("Tabrillファイル(*.TBR)|*.TBR|すべてのファイル(*.*)|*.*");

struct FilterCase
{
    const char* name;
    QString windows;
    QStringList qt;
    friend void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }
};

class FilterTest : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(FilterTest, BecomesQtNameFilters)
{
    EXPECT_EQ(Platform::ToQtNameFilters(GetParam().windows), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterTest,
    ::testing::Values(
        FilterCase{"project",
                   ProjectFilter,
                   {QStringLiteral("Tabrillファイル(*.TBR) (*.TBR)"),
                    QStringLiteral("すべてのファイル(*.*) (*)")}},
        FilterCase{"several_patterns",
                   QStringLiteral("Books|*.xlsx;*.xls"),
                   {QStringLiteral("Books (*.xlsx *.xls)")}},
        FilterCase{"empty", QString(), {}},
        FilterCase{"dangling_description", QStringLiteral("a|*.a|b"), {QStringLiteral("a (*.a)")}},
        FilterCase{"no_patterns", QStringLiteral("a||b|*.b"), {QStringLiteral("b (*.b)")}}),
    [](const auto& param) { return std::string(param.param.name); });

class FileDialogTest : public ::testing::Test
{
protected:
    void TearDown() override { Platform::SetFileDialogHandler({}); }
    QTemporaryDir dir;
};

TEST_F(FileDialogTest, QueuedNamesAnswerInOrderBeforeTheHandler)
{
    int handlerCalls = 0;
    Platform::SetFileDialogHandler([&](QWidget*, const FileDialogRequest&) {
        ++handlerCalls;
        return QStringLiteral("/from/handler");
    });
    Platform::SetNextFileName(QStringLiteral("/a.TBR"));
    Platform::SetNextFileName(QString());
    EXPECT_EQ(Platform::GetOpenFileName(nullptr, {}), QStringLiteral("/a.TBR"));
    EXPECT_EQ(Platform::GetSaveFileName(nullptr, {}), QString());
    EXPECT_EQ(handlerCalls, 0);
    EXPECT_EQ(Platform::GetOpenFileName(nullptr, {}), QStringLiteral("/from/handler"));
    EXPECT_EQ(handlerCalls, 1);
}

TEST_F(FileDialogTest, HandlerSeesTheModeAndTheRequest)
{
    std::vector<FileDialogRequest> seen;
    Platform::SetFileDialogHandler([&](QWidget*, const FileDialogRequest& request) {
        seen.push_back(request);
        return QString();
    });
    FileDialogRequest request;
    request.filter = ProjectFilter;
    request.defaultExtension = QStringLiteral(".TBR");
    request.fileName = QStringLiteral("/data/売上.TBR");
    // The mode comes from the call, not from the request.
    request.mode = FileDialogMode::Open;
    Platform::GetSaveFileName(nullptr, request);
    request.mode = FileDialogMode::Save;
    Platform::GetOpenFileName(nullptr, request);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].mode, FileDialogMode::Save);
    EXPECT_EQ(seen[1].mode, FileDialogMode::Open);
    EXPECT_EQ(seen[0].filter, ProjectFilter);
    EXPECT_EQ(seen[0].fileName, QStringLiteral("/data/売上.TBR"));
}

FileDialogRequest ProjectRequest(const QString& fileName)
{
    FileDialogRequest request;
    request.filter = ProjectFilter;
    request.defaultExtension = QStringLiteral(".TBR");
    request.fileName = fileName;
    return request;
}

TEST_F(FileDialogTest, SaveDialogStartsAtTheGivenNameAndAddsTheDefaultExtension)
{
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QStringList filters;
    QString directory;
    QString suffix;
    QString typed;
    ModalAnswer<QFileDialog> answer([&](QFileDialog* dialog) {
        mode = dialog->acceptMode();
        filters = dialog->nameFilters();
        directory = dialog->directory().absolutePath();
        suffix = dialog->defaultSuffix();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        typed = edit ? edit->text() : QString();
        dialog->selectFile(QStringLiteral("売上"));
        static_cast<QDialog*>(dialog)->accept();
    });
    const QString chosen = Platform::ShowWidgetFileDialog(nullptr, [&] {
        FileDialogRequest r = ProjectRequest(dir.path() + QStringLiteral("/前回.TBR"));
        r.mode = FileDialogMode::Save;
        return r;
    }());
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(mode, QFileDialog::AcceptSave);
    EXPECT_EQ(filters, Platform::ToQtNameFilters(ProjectFilter));
    EXPECT_EQ(directory, dir.path());
    EXPECT_EQ(suffix, QStringLiteral("TBR"));
    EXPECT_EQ(typed, QStringLiteral("前回.TBR"));
    EXPECT_EQ(chosen, dir.path() + QStringLiteral("/売上.TBR"));
}

TEST_F(FileDialogTest, SaveOntoAnExistingFileAsksFirst)
{
    const QString existing = dir.path() + QStringLiteral("/a.TBR");
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    bool asked = false;
    ModalAnswer<QFileDialog> answer([&](QFileDialog* dialog) {
        // The question comes up inside accept(); refuse it, then give up on the dialog.
        ModalAnswer<QMessageBox> question([&](QMessageBox* box) {
            asked = true;
            box->button(QMessageBox::No)->click();
        });
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept();
        EXPECT_TRUE(dialog->isVisible()) << "refusing to overwrite closed the dialog";
        dialog->reject();
    });
    FileDialogRequest request = ProjectRequest(QString());
    request.mode = FileDialogMode::Save;
    const QString chosen = Platform::ShowWidgetFileDialog(nullptr, request);
    ASSERT_TRUE(answer.Seen());
    EXPECT_TRUE(asked);
    EXPECT_EQ(chosen, QString());
}

TEST_F(FileDialogTest, OpenDialogCancelledGivesEmptyText)
{
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    ModalAnswer<QFileDialog> answer([&](QFileDialog* dialog) {
        fileMode = dialog->fileMode();
        dialog->reject();
    });
    FileDialogRequest request = ProjectRequest(QString());
    request.mode = FileDialogMode::Open;
    EXPECT_EQ(Platform::ShowWidgetFileDialog(nullptr, request), QString());
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(fileMode, QFileDialog::ExistingFile);
}

TEST(Translations, QtStandardTextsBecomeJapanese)
{
    ASSERT_TRUE(Platform::InstallJapaneseQtTranslations());
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

} // namespace
