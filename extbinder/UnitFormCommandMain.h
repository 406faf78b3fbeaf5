#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The application title, also the window's caption.
inline QString ExtbinderTitle()
{
    return QStringLiteral("Extbinder  関連づけ設定ソフト");
}

// Extbinder's one window: the extension of a task file, the association the registry holds for it
// now, the one the task asks for, and the button that registers the new one or removes the
// current one.
class TFormCommandMain : public QMainWindow
{
    Q_OBJECT

public:
    // arguments: the command line without the program; the first is the task file.
    explicit TFormCommandMain(QStringList arguments, QWidget* parent = nullptr);

    // The value of TASK/CLOSE once the task file has been read.
    int TaskClose = 0;

    QFrame* PanelExt = nullptr;
    QLabel* LabelExt = nullptr;
    QLabel* StaticTextExt = nullptr;
    QGroupBox* GroupBoxOld = nullptr;
    QFrame* PanelOld = nullptr;
    QFrame* PanelNone = nullptr;
    QLineEdit* EditOldCommand = nullptr;
    QLineEdit* EditOldFileType = nullptr;
    QLabel* ImageOldIcon = nullptr;
    QLineEdit* EditOldIconFile = nullptr;
    QLineEdit* EditOldIconIndex = nullptr;
    QGroupBox* GroupBoxNew = nullptr;
    QLineEdit* EditNewCommand = nullptr;
    QLineEdit* EditNewFileType = nullptr;
    QLabel* ImageNewIcon = nullptr;
    QLineEdit* EditNewIconFile = nullptr;
    QLineEdit* EditNewIconIndex = nullptr;
    QFrame* PanelButton = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnClose = nullptr;
    QObject* ActionManager1 = nullptr;
    QAction* ActionExtLink = nullptr;
    QAction* ActionExtUnlink = nullptr;

    // The action BtnOk runs now.
    QAction* BtnOkAction() const { return btnOkAction_; }

public slots:
    // The start-up work: reads the task file and the registry. Runs once, at the first idle
    // moment after the window has been shown.
    void ApplicationIdle();
    void ActionExtLinkExecute();
    void ActionExtUnlinkExecute();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static QString NormalizeExt(const QString& ext);
    static void ShowIcon(QLabel* image, const QString& iconFile, int iconIndex);
    void CloseIfRequested();
    void SetBtnOkAction(QAction* action);

    QStringList arguments_;
    bool idleHooked_ = false;
    bool idleDone_ = false;
    QAction* btnOkAction_ = nullptr;
};
