#pragma once

#include <QDateTime>
#include <QObject>

class QMediaPlayer;
class QSystemTrayIcon;
class TrayNotifier;

// The new-order alarm: the sound played while an order waits for approval,
// its test from the window's buttons, and the tray notifications.
class Alarm : public QObject
{
    Q_OBJECT

public:
    explicit Alarm(QObject *parent = nullptr);

    void notify(const QString &title, const QString &text);
    // After each read of the list: rings while an order waits.
    void ordersRead(bool orderWaiting);
    // An order was approved or cancelled: quiet until the next read says otherwise.
    void orderAnswered() { noNewOrder = true; }
    // Set by an order dialog that changed its order.
    bool *answeredFlag() { return &noNewOrder; }
    // The tick's step: stops a ring no order calls for, or tells of the waiting order.
    void step(const QDateTime &now);

    void startTest();
    void stopTest();
    bool isTesting() const { return testing; }
    // A fresh player picks up a sound file replaced while the console ran.
    void renewPlayer();

private:
    QMediaPlayer *player = nullptr;
    QSystemTrayIcon *trayIcon;
    TrayNotifier *notifier;
    bool noNewOrder = true;
    bool testing = false;
};
