#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Answers the next modal window the way an operator would: waits until one
// other than skip is active, records its title and text (message boxes), then runs answer on
// it (by default: presses the box's OK button, or closes the dialog).
// Stops watching once it answered or when destroyed.
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(QWidget *)> answerWith = &ModalAnswer::accept, const QWidget *skip = nullptr)
        : answer(std::move(answerWith))
    {
        QObject::connect(&timer, &QTimer::timeout, [this, skip] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == skip)
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

    bool seen() const { return wasSeen; }
    QString title() const { return seenTitle; }
    QString text() const { return seenText; }

    static void accept(QWidget *modal)
    {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QAbstractButton *button = box && box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok) : box ? box->defaultButton() : nullptr;
        if (button)
            button->click();
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    }

private:
    std::function<void(QWidget *)> answer;
    QTimer timer;
    bool wasSeen = false;
    QString seenTitle;
    QString seenText;
};
