#pragma once

#include <QObject>
#include <QTimer>

class StatementRunner;

// Tells, without ever waiting on the GUI thread, whether the database
// answers: a thread of its own connects and runs a trivial statement with
// short limits, every few seconds, and every second while it does not
// answer; a server refused over TLS is tried again after a pause that grows.
// A line that drops packets holds only that thread; while it does not
// answer, connections are refused at once (connectionSettings).
class DatabaseWatch : public QObject
{
    Q_OBJECT

public:
    explicit DatabaseWatch(QObject *parent = nullptr);
    ~DatabaseWatch() override;   // waits for a check under way (a few seconds at most)

    void start();
    bool answers() const { return answering; }

signals:
    void answersChanged(bool answers);

private:
    void check();
    void checked(bool ok, const QString &why);

    StatementRunner *probe;
    QTimer timer;
    bool inFlight = false;
    bool answering = true;
    int refusedPauseMs = 0;
    QString downReason;
};
