#pragma once

#include "platform/dialogs/FileDialog.h"
#include "platform/help/HtmlHelp.h"
#include "tabrill/app/UnitMain.h"
#include "tabrill/settings/Tconfig.h"
#include "tabrill/settings/Tproject.h"
#include "tests/support/MessageRecorder.h"
#include "tests/tabrill/dialogs/ModalDialogHelper.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// What the book list says when no spreadsheet program runs: every New and Open ends with it.
inline QString NotConnectedText()
{
    return QStringLiteral("Excelに接続できませんでした。");
}

// The real main window, started and closed as the program does, over a configuration folder
// of its own that each test begins without.
class CommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        ASSERT_TRUE(work.isValid());
        QDir(ConfigFolder()).removeRecursively();
        previousDialog_ = Platform::SetFileDialogHandler(
            [this](QWidget*, const Platform::FileDialogRequest& request) {
                fileRequests.push_back(request);
                if (fileAnswers.empty())
                    return QString();
                QString answer = fileAnswers.front();
                fileAnswers.erase(fileAnswers.begin());
                return answer;
            });
        previousHelp_ =
            Platform::SetHelpHandler([this](QWidget*, const Platform::HelpRequest& request) {
                helpRequests.push_back(request);
            });
    }

    void TearDown() override
    {
        form.reset();
        Platform::SetFileDialogHandler(std::move(previousDialog_));
        Platform::SetHelpHandler(std::move(previousHelp_));
        EXPECT_TRUE(fileAnswers.empty()) << "a file dialog answer was never asked for";
    }

    static QString ConfigFolder() { return QFileInfo(GetConfigFileName()).absolutePath(); }

    // Builds the window, shows it and waits for its first idle moment.
    void Start(const QString& commandLineProject = QString())
    {
        form = std::make_unique<TFormMain>();
        form->CommandLineProjectFile = commandLineProject;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return !form->StartupPending(); }, 5000))
            << "the start-up work never ran";
    }

    // Closes the window the way the user does, then drops it as the program's end would.
    void Close()
    {
        form->close();
        form.reset();
    }

    void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    void WriteConfig(const QByteArray& text) { WriteFile(GetConfigFileName(), text); }

    QByteArray ReadConfig() const
    {
        QFile file(GetConfigFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A project file in the work folder with that word.
    QString WriteProject(const QString& name, const QString& word, bool matchCase = false)
    {
        TProject project;
        project.Word = word;
        project.MatchCase = matchCase;
        project.SetSearchOrder(1);
        project.SetFindLookIn(2);
        const QString path = work.filePath(name);
        project.SaveToFile(path);
        return path;
    }

    // The messages other than the book list's expected complaint.
    std::vector<Platform::MessageRequest> OtherMessages() const
    {
        std::vector<Platform::MessageRequest> others;
        for (const auto& request : messages.requests) {
            if (request.text != NotConnectedText())
                others.push_back(request);
        }
        return others;
    }

    QTemporaryDir work;
    MessageRecorder messages;
    std::unique_ptr<TFormMain> form;
    std::vector<Platform::FileDialogRequest> fileRequests;
    std::vector<QString> fileAnswers;
    std::vector<Platform::HelpRequest> helpRequests;

private:
    Platform::FileDialogHandler previousDialog_;
    Platform::HelpHandler previousHelp_;
};
