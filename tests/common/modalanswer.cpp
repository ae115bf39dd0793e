#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

ModalAnswer::ModalAnswer(std::function<void(QWidget *)> answerWith)
    : answer(std::move(answerWith))
{
    QObject::connect(&timer, &QTimer::timeout, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer.stop();
        wasSeen = true;
        seenTitle = modal->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            seenText = box->text();
        answer(modal);
    });
    timer.start(20);
}

void ModalAnswer::accept(QWidget *modal)
{
    auto *box = qobject_cast<QMessageBox *>(modal);
    QAbstractButton *button = box && box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box ? box->defaultButton() : nullptr;
    if (button)
        button->click();
    else if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
}
