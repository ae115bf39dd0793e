#include "messageinbox.h"

#include <QDebug>

void MessageInbox::push(const QString &text)
{
    if (messages.size() >= capacity)
        qDebug() << "descartada" << messages.dequeue();
    messages.enqueue(text);
}
