#pragma once

#include <QObject>

// Every status change of an order that the broker announces, one signal each,
// so that an open order dialog hears of its own even when later messages of
// the same tick follow it.
class OrderAnnouncements : public QObject
{
    Q_OBJECT

public:
    static OrderAnnouncements *instance();

signals:
    void orderChanged(int store, int order);

private:
    OrderAnnouncements() = default;
};
