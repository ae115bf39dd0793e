#include "messageinbox.h"
#include "brokerlog.h"

#include <QDebug>

void MessageInbox::push(const QString &text)
{
    if (messages.size() >= capacity)
        qCDebug(lcBroker) << "descartada" << messages.dequeue();
    messages.enqueue(text);
}
