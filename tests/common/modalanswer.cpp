#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

ModalAnswer::ModalAnswer(std::function<void(QWidget *)> answerWith)
    : answer(answerWith ? std::move(answerWith) : &ModalAnswer::accept)
{
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
    timer.start();
}

void ModalAnswer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    timer.stop();
    wasSeen = true;
    seenTitle = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        seenText = box->text();
    answer(modal);
}

void ModalAnswer::accept(QWidget *modal)
{
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        QAbstractButton *button = box->button(QMessageBox::Ok);
        if (!button)
            button = box->defaultButton();
        if (button) {
            button->click();
            return;
        }
    }
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
}
