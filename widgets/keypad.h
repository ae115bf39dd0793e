#pragma once

#include "keypadtext.h"

#include <QDialog>

namespace Ui {
class Keypad;
}

// Modal on-screen keypad "Entrada de Valores": edits the caller's float, which
// changes only when "Enter" accepts a number; only then is the dialog accepted.
class Keypad : public QDialog
{
    Q_OBJECT

public:
    explicit Keypad(float *target, QWidget *parent = nullptr);
    ~Keypad() override;

    // Runs a keypad on a copy of value. True, with value replaced, only when
    // "Enter" accepted a number that is not negative: the keyboard's Return is
    // the sign key, so a negative price or waiting time is a slip, refused with a box.
    static bool askAmount(float *value);

private slots:
    void on_pushButtonKey0_clicked();
    void on_pushButtonKey1_clicked();
    void ShowNumber();
    void on_pushButtonKey2_clicked();
    void on_pushButtonKey3_clicked();
    void on_pushButtonKey4_clicked();
    void on_pushButtonKey5_clicked();
    void on_pushButtonKey6_clicked();
    void on_pushButtonKey7_clicked();
    void on_pushButtonKey8_clicked();
    void on_pushButtonKey9_clicked();
    void on_pushButtonKeyAC_clicked();
    void on_pushButtonKeyBack_clicked();
    void on_pushButtonKeyDot_clicked();
    void on_pushButtonKeyComma_clicked();
    void on_pushButtonKeyEnter_clicked();
    void on_pushButtonKeyReturn_clicked();

private:
    void typeDigit(int digit);

    Ui::Keypad *ui;
    KeypadText entered;
    float *target;
};
