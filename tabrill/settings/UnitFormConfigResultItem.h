#pragma once

#include <QDialog>
#include <set>

class QListWidget;
class QPushButton;
class QWidget;

// Which of the eight result columns are shown.
class TFormConfigResultItem : public QDialog
{
    Q_OBJECT

public:
    static constexpr int HelpContext = 7;

    explicit TFormConfigResultItem(QWidget* owner);

    // Shows the dialog modally: 1 for OK, 2 for Cancel, Escape or the close button.
    int ShowModal();

    // Ticks item i exactly when the set holds i.
    void SetItems(std::set<int> items);
    // The indexes of the ticked items.
    std::set<int> GetItems() const;

    QListWidget* CheckListBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // cancel

public slots:
    void reject() override;
};
