#include "traynotifier.h"

#include <QSystemTrayIcon>

TrayNotifier::TrayNotifier(QSystemTrayIcon *trayIcon, QObject *parent)
    : QObject(parent)
    , trayIcon(trayIcon)
{
}

void TrayNotifier::show(const QString &title, const QString &text)
{
    trayIcon->showMessage(title, text, QSystemTrayIcon::Information, 10000);
    emit shown(title, text);
}
