#pragma once

#include <QDialog>

class QCheckBox;
class QCommandLinkButton;
class QFrame;
class QPushButton;
class QTabWidget;
class QWidget;
class TConfig;

// The general settings: what to restore at start-up, the .TBR association, the tray.
class TFormConfigGeneral : public QDialog
{
    Q_OBJECT

public:
    static constexpr int HelpContext = 6;

    // Opens on the first page.
    explicit TFormConfigGeneral(QWidget* owner);

    // Shows the dialog modally: 1 for OK, 2 for Cancel, Escape or the close button.
    int ShowModal();

    // The three options from the configuration into the check boxes, and back.
    void SetConfig(const TConfig& config);
    void GetConfig(TConfig& config) const;

    // Register or remove the .TBR association through Extbinder; the dialog stays open.
    void ButtonLinkSetClick(QObject* Sender = nullptr);
    void ButtonLinkUnSetClick(QObject* Sender = nullptr);

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QCheckBox* CheckBoxProjectFileRestore = nullptr;
    QCheckBox* CheckBoxWindowPositionRestore = nullptr;
    QWidget* TabSheet2 = nullptr;
    QCommandLinkButton* ButtonLinkSet = nullptr;
    QCommandLinkButton* ButtonLinkUnSet = nullptr;
    QWidget* TabSheet3 = nullptr;
    QCheckBox* CheckBoxInTaskTray = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* BitBtn3 = nullptr; // help
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // cancel

public slots:
    void reject() override;
};
