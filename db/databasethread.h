#pragma once

#include <QObject>
#include <QThread>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

#include <functional>

class QSqlQuery;

// The rows of an executed statement, each value read once.
struct SqlRows
{
    int columns = 0;
    QVector<QVector<QVariant>> values;
};

SqlRows fetchRows(QSqlQuery &query);

// Runs statements one after the other on a thread and a connection of its
// own, made with the settings of the moment (connectionSettings): a server
// that does not answer holds that thread up to the statement's limits, never
// the window.
class DatabaseThread : public QObject
{
    Q_OBJECT

public:
    // error is empty when the statement executed.
    using Done = std::function<void(const QString &error, const SqlRows &rows)>;

    // limits: MYSQL_OPT_* connect options, the console's statement limits by default.
    explicit DatabaseThread(const QString &limits, QObject *parent = nullptr);
    explicit DatabaseThread(QObject *parent = nullptr);
    ~DatabaseThread() override;   // waits for a statement under way (its limits at most)

    // done runs on this object's thread; never once this object is gone.
    void select(const QString &statement, const QVariantMap &bindings, const Done &done);
    // Runs after every statement given before and waits for it: for the
    // program's end, when no event loop will deliver an answer. The error, or empty.
    QString selectAndWait(const QString &statement, const QVariantMap &bindings);
    // Statements given and not done yet.
    bool isBusy() const { return pending > 0; }

private:
    QString connectionName() const;   // the one this object's thread uses

    QString limits;
    int pending = 0;
    QThread thread;
    QObject *worker = nullptr;   // lives in thread
};
