#include "confirmar.h"

#include <QMessageBox>
#include <QPushButton>

bool Confirmar(QString title, QString text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Sim"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Não"));
    box.setWindowFlags(Qt::WindowFlags());
    box.setModal(true);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}
