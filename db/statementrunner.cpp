#include "statementrunner.h"

#include "sqlsession.h"

#include <QMutex>
#include <QThread>

// The thread may finish a statement after this object is gone: it answers
// through this, under the lock that the destructor takes to say it is gone.
struct StatementRunner::Answers
{
    QMutex mutex;
    StatementRunner *runner;
};

StatementRunner::StatementRunner(QObject *parent)
    : StatementRunner(databaseStatementLimits, parent)
{
}

StatementRunner::StatementRunner(const QString &limits, QObject *parent)
    : QObject(parent)
    , limits(limits)
    , answers(std::make_shared<Answers>())
    , thread(new QThread)
    , worker(new QObject)
    , session(new SqlSession(QStringLiteral("statementrunner-%1").arg(quintptr(this), 0, 16), limits))
{
    answers->runner = this;
    worker->moveToThread(thread);
    // The connection belongs to the thread: it is closed there, as the thread ends.
    SqlSession *owned = session;
    connect(thread, &QThread::finished, worker, [owned] { delete owned; }, Qt::DirectConnection);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
}

StatementRunner::~StatementRunner()
{
    {
        QMutexLocker gone(&answers->mutex);
        answers->runner = nullptr;
    }
    thread->quit();
    if (pending == 0) {
        thread->wait();
        delete thread;
        return;
    }
    // A statement may be waiting on a server that does not answer: its
    // thread ends by itself once answered or timed out, and then goes.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
}

void StatementRunner::run(const QString &statement, const QVariantMap &bindings, const Done &done)
{
    post([statement, bindings](SqlSession &session) { return session.exec(statement, bindings); }, done);
}

void StatementRunner::run(const Work &work, const Done &done)
{
    post(work, done);
}

void StatementRunner::post(const Work &work, const Done &done)
{
    // The settings are read here, on the thread that writes them.
    const DatabaseTarget target = DatabaseTarget::current();
    ++pending;
    SqlSession *session = this->session;
    const std::shared_ptr<Answers> answers = this->answers;
    QMetaObject::invokeMethod(worker, [answers, session, target, work, done] {
        session->setTarget(target);
        const SqlResult result = work(*session);
        QMutexLocker alive(&answers->mutex);
        StatementRunner *runner = answers->runner;
        if (!runner)
            return;
        // Posted while the object lives; its end drops what is still posted.
        QMetaObject::invokeMethod(runner, [runner, done, result] {
            --runner->pending;
            done(result);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

SqlResult StatementRunner::runAndWait(const QString &statement, const QVariantMap &bindings)
{
    const DatabaseTarget target = DatabaseTarget::current();
    SqlResult result;
    SqlSession *session = this->session;
    QMetaObject::invokeMethod(worker, [&] {
        session->setTarget(target);
        result = session->exec(statement, bindings);
    }, Qt::BlockingQueuedConnection);
    return result;
}
