#pragma once

#include <QQueue>
#include <QString>

// Messages delivered between two ticks, oldest first. The tick empties it every
// second; the cap only guards against a runaway publisher while the tick is held up.
class MessageInbox
{
public:
    static constexpr int capacity = 100000;

    void push(const QString &text);
    bool isEmpty() const { return messages.isEmpty(); }
    int size() const { return messages.size(); }
    QString takeFirst() { return messages.dequeue(); }

private:
    QQueue<QString> messages;
};
