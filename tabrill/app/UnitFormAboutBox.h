#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box: the application title, the version, the copyright and the comment of the
// program file's version block, beside the program's icon.
class TFormAboutBox : public QDialog
{
    Q_OBJECT

public:
    // Raises Exception("バージョン情報を取得できません") when the program file carries no version
    // block; no box is left behind then.
    explicit TFormAboutBox(QWidget* owner);
    // The same, reading another program file.
    TFormAboutBox(QWidget* owner, const QString& programFile);

    // Shows the box modally: 1 for OK, 2 when it was closed otherwise.
    int ShowModal();

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void reject() override;

private:
    void CreateComponents(const QString& programFile);
};
