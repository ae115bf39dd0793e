#pragma once

#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

// Answers the next modal window the way an operator would: waits until one
// is active, records its title and text (message boxes), then runs answer on
// it (by default: presses the box's OK button, or closes the dialog).
// Stops watching once it answered or when destroyed.
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(QWidget *)> answer = &ModalAnswer::accept);

    bool seen() const { return wasSeen; }
    QString title() const { return seenTitle; }
    QString text() const { return seenText; }

    static void accept(QWidget *modal);

private:
    std::function<void(QWidget *)> answer;
    QTimer timer;
    bool wasSeen = false;
    QString seenTitle;
    QString seenText;
};
