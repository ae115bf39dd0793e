#include "alarm.h"

#include "traynotifier.h"

#include <QDir>
#include <QIcon>
#include <QMediaPlayer>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {

QUrl alarmSound()
{
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("sound/fone.mp3")));
}

} // namespace

Alarm::Alarm(QObject *parent)
    : QObject(parent)
    , trayIcon(new QSystemTrayIcon(QIcon(QStringLiteral("images/tv_pq.png")), this))
    , notifier(new TrayNotifier(trayIcon, this))
{
    trayIcon->setVisible(true);
    renewPlayer();
}

void Alarm::notify(const QString &title, const QString &text)
{
    notifier->show(title, text);
}

void Alarm::ordersRead(bool orderWaiting)
{
    noNewOrder = !orderWaiting;
    if (orderWaiting)
        player->play();
}

void Alarm::step(const QDateTime &now)
{
    if (noNewOrder) {
        if (!testing)
            player->stop();
        return;
    }
    if (now.toString(QStringLiteral("mm")).toInt() % 10 != 0)
        notify(QStringLiteral("Novo Pedido"), QStringLiteral("Novo pedido recebido!!!"));
}

void Alarm::startTest()
{
    player->play();
    testing = true;
}

void Alarm::stopTest()
{
    player->stop();
    testing = false;
}

// The old player stops with its sound, so a running alarm test ends with it.
void Alarm::renewPlayer()
{
    QMediaPlayer *previous = player;
    player = new QMediaPlayer(this);
    player->setMedia(alarmSound());
    if (previous) {
        previous->stop();
        previous->deleteLater();
    }
}
