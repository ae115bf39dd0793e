#pragma once

#include "consoledir.h"
#include "localprobepage.h"
#include "mainwindow.h"
#include "servicepublisher.h"

#include <QSignalSpy>
#include <QStringList>

#include <memory>

class QLabel;
class QMediaPlayer;
class QSqlQueryModel;
class TrayNotifier;

// A logged-in console on the private servers, its Internet probe answered by a
// local page, ready to receive the service's messages.
class RunningConsole
{
public:
    // brokerPort 0: the private broker itself.
    RunningConsole(const QString &login, const QString &password, quint16 brokerPort = 0);
    ~RunningConsole();

    MainWindow *window() const { return console.get(); }
    LocalProbePage &probe() { return probePage; }

    QString label(const char *name) const;
    QList<int> listedOrders() const;
    bool lists(int order) const { return listedOrders().contains(order); }

    // Notifications shown since the last clear, as "title|text".
    QStringList notifications() const;
    void clearNotifications() { notifierSpy->clear(); }
    // The alarm went into playing since the last clear; is playing now.
    bool alarmStarted() const;
    bool alarmPlaying() const;
    void clearAlarm() { playerSpy->clear(); }

    // Runs one tick right now, as the timer would.
    void tick();

    static BrokerAccount broker();
    static QString publish(const QList<QByteArray> &messages) { return publishOnLogs(broker(), messages); }

private:
    LocalProbePage probePage;
    std::unique_ptr<ConsoleDir> dir;
    std::unique_ptr<MainWindow> console;
    std::unique_ptr<QSignalSpy> notifierSpy;
    std::unique_ptr<QSignalSpy> playerSpy;
};
