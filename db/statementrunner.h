#pragma once

#include "connection.h"
#include "sqlresult.h"

#include <QObject>
#include <QVariantMap>

#include <functional>
#include <memory>

class QThread;
class SqlSession;

// The console's one way to the database: statements run one after the other,
// in the order given, on a thread and a connection of their own; a server
// that does not answer holds that thread up to the statement's limits, never
// the window. The settings are those of the moment each statement is given.
class StatementRunner : public QObject
{
    Q_OBJECT

public:
    struct Shared;
    using Done = std::function<void(const SqlResult &result)>;
    // Runs on the runner's thread with its connection; captures values only.
    using Work = std::function<SqlResult(SqlSession &session)>;

    // limits: MYSQL_OPT_* connect options, the console's statement limits by default.
    explicit StatementRunner(const QString &limits, QObject *parent = nullptr);
    explicit StatementRunner(QObject *parent = nullptr);
    // Never waits for a server: a statement under way ends on its thread,
    // which then goes; statements not started are dropped.
    ~StatementRunner() override;

    // done runs on this object's thread, never once this object is gone.
    void run(const QString &statement, const QVariantMap &bindings, const Done &done);
    void run(const Work &work, const Done &done);
    // Runs after every statement given before and waits for it: for the
    // program's very end, when no event loop will deliver an answer.
    SqlResult runAndWait(const QString &statement, const QVariantMap &bindings);
    // Statements given and not answered yet.
    bool isBusy() const { return pending > 0; }

private slots:
    void deliver();   // the answers the thread has given, in order

private:
    void post(const Work &work, const Done &done);

    QString limits;
    int pending = 0;
    std::shared_ptr<Shared> shared;
    QThread *thread;
    QObject *worker;         // lives in thread, with the connection
};
