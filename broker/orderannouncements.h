#pragma once

#include <QObject>

// Every order number the broker announces (a message of more than three
// fields), one signal each, so that an open order dialog sees its own echo
// even when later messages of the same tick overwrite lastAnnouncedOrder.
class OrderAnnouncements : public QObject
{
    Q_OBJECT

public:
    static OrderAnnouncements *instance();

signals:
    void announced(int order);

private:
    OrderAnnouncements() = default;
};
