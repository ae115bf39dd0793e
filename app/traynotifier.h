#pragma once

#include <QObject>
#include <QString>

class QSystemTrayIcon;

// Shows the console's tray notifications: information icon, ten seconds.
class TrayNotifier : public QObject
{
    Q_OBJECT

public:
    explicit TrayNotifier(QSystemTrayIcon *trayIcon, QObject *parent = nullptr);

    void show(const QString &title, const QString &text);

signals:
    void shown(const QString &title, const QString &text);

private:
    QSystemTrayIcon *trayIcon;
};
