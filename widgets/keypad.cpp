#include "keypad.h"
#include "ui_keypad.h"

#include <QMessageBox>

Keypad::Keypad(float *target, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Keypad)
    , entered(*target)
    , target(target)
{
    ui->setupUi(this);
    setWindowFlags(Qt::WindowFlags());
    ShowNumber();
}

Keypad::~Keypad()
{
    delete ui;
}

bool Keypad::askAmount(float *value)
{
    float typed = *value;
    Keypad keypad(&typed);
    keypad.setModal(true);
    if (keypad.exec() != QDialog::Accepted)
        return false;
    if (typed < 0) {
        QMessageBox::warning(nullptr, QStringLiteral("Entrada de Valores"),
                             QStringLiteral("Valor negativo não é aceito. Nada foi gravado."), QMessageBox::Ok);
        return false;
    }
    *value = typed;
    return true;
}

void Keypad::ShowNumber()
{
    ui->lcdNumber->display(entered.text());
}

void Keypad::typeDigit(int digit)
{
    entered.digit(digit);
    ShowNumber();
}

void Keypad::on_pushButtonKey0_clicked() { typeDigit(0); }
void Keypad::on_pushButtonKey1_clicked() { typeDigit(1); }
void Keypad::on_pushButtonKey2_clicked() { typeDigit(2); }
void Keypad::on_pushButtonKey3_clicked() { typeDigit(3); }
void Keypad::on_pushButtonKey4_clicked() { typeDigit(4); }
void Keypad::on_pushButtonKey5_clicked() { typeDigit(5); }
void Keypad::on_pushButtonKey6_clicked() { typeDigit(6); }
void Keypad::on_pushButtonKey7_clicked() { typeDigit(7); }
void Keypad::on_pushButtonKey8_clicked() { typeDigit(8); }
void Keypad::on_pushButtonKey9_clicked() { typeDigit(9); }

void Keypad::on_pushButtonKeyAC_clicked()
{
    entered.clear();
    ShowNumber();
}

void Keypad::on_pushButtonKeyBack_clicked()
{
    entered.back();
    ShowNumber();
}

// The point shows up with the next key that refreshes the display.
void Keypad::on_pushButtonKeyDot_clicked()
{
    entered.point();
}

void Keypad::on_pushButtonKeyComma_clicked()
{
    entered.point();
}

// A text that is not a number, such as "-", keeps the keypad open and the
// caller's value as it was.
void Keypad::on_pushButtonKeyEnter_clicked()
{
    if (entered.enter(target))
        accept();
}

// The "+/-" key, whose shortcut is the keyboard's Return: toggles the sign.
void Keypad::on_pushButtonKeyReturn_clicked()
{
    entered.toggleSign();
    ShowNumber();
}
