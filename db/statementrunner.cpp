#include "statementrunner.h"

#include "sqlsession.h"

#include <QPointer>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// What the two threads share, under a lock of the standard library (which the
// thread sanitizer sees): statements given and not started, answers not yet
// delivered, and whether the runner still lives to take them.
struct StatementRunner::Shared
{
    struct Job
    {
        DatabaseTarget target;
        Work work;
        Done done;   // none: the work reports by itself
    };
    struct Answer
    {
        Done done;
        SqlResult result;
    };

    std::mutex mutex;
    std::deque<Job> jobs;
    std::deque<Answer> answers;
    StatementRunner *runner = nullptr;   // null once gone
};

namespace {

std::mutex threadEnds;   // taken by each runner's thread as it ends

// Threads of runners destroyed while a statement still ran. Each ends by
// itself within the statement limits. The application waits for them as it
// is destroyed, before the MariaDB driver's own end (a routine of the
// application's end too, added when a first connection opened): a statement
// finishing after that would run in freed memory.
class DrainingThreads
{
public:
    static DrainingThreads &instance()
    {
        static DrainingThreads threads;
        return threads;
    }
    void keep(QThread *thread)
    {
        // Those done since go now: the list is as long as the statements still under way.
        threads.erase(std::remove_if(threads.begin(), threads.end(), [](const std::unique_ptr<QThread> &t) { return t->isFinished(); }),
                      threads.end());
        threads.emplace_back(thread);
        // The routines of the application's end run latest added first.
        qRemovePostRoutine(&DrainingThreads::waitForAll);
        qAddPostRoutine(&DrainingThreads::waitForAll);
    }
    ~DrainingThreads() { waitForAll(); }

private:
    static void waitForAll()
    {
        for (std::unique_ptr<QThread> &thread : instance().threads) {
            // One that outlives every limit is left to the end of the process, not destroyed running.
            if (!thread->wait(drainLimitMs))
                (void)thread.release();
            // What the thread did is the process's from here on (a lock the thread sanitizer sees, unlike QThread's).
            const std::lock_guard<std::mutex> ended(threadEnds);
        }
        instance().threads.clear();
    }

    static constexpr unsigned long drainLimitMs = 30000;
    std::vector<std::unique_ptr<QThread>> threads;   // the window's thread alone touches it
};

// Lives in the runner's thread and runs what was given, in order.
class RunnerWorker : public QObject
{
    Q_OBJECT

public:
    RunnerWorker(std::shared_ptr<StatementRunner::Shared> shared, SqlSession *session)
        : shared(std::move(shared))
        , session(session)
    {
    }

public slots:
    void drain()
    {
        for (;;) {
            StatementRunner::Shared::Job job;
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (shared->jobs.empty())
                    return;
                job = std::move(shared->jobs.front());
                shared->jobs.pop_front();
            }
            session->setTarget(job.target);
            SqlResult result = job.work(*session);
            if (!job.done)
                continue;
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->runner)
                continue;
            shared->answers.push_back({std::move(job.done), std::move(result)});
            // Under the lock: the runner cannot go meanwhile, and its end drops what is posted.
            QMetaObject::invokeMethod(shared->runner, "deliver", Qt::QueuedConnection);
        }
    }

private:
    std::shared_ptr<StatementRunner::Shared> shared;
    SqlSession *session;
};

} // namespace

StatementRunner::StatementRunner(QObject *parent)
    : StatementRunner(databaseStatementLimits, parent)
{
}

StatementRunner::StatementRunner(const QString &limits, QObject *parent)
    : QObject(parent)
    , limits(limits)
    , shared(std::make_shared<Shared>())
    , thread(new QThread)
{
    shared->runner = this;
    auto *session = new SqlSession(QStringLiteral("statementrunner-%1").arg(quintptr(this), 0, 16), limits);
    worker = new RunnerWorker(shared, session);
    worker->moveToThread(thread);
    // The connection belongs to the thread: it is closed there, as the thread ends.
    connect(thread, &QThread::finished, worker, [session] {
        delete session;
        const std::lock_guard<std::mutex> ended(threadEnds);   // seen by whoever waits for this thread
    }, Qt::DirectConnection);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
}

StatementRunner::~StatementRunner()
{
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->runner = nullptr;
        shared->jobs.clear();
        shared->answers.clear();
    }
    thread->quit();
    if (pending == 0) {
        thread->wait();
        delete thread;
        return;
    }
    // A statement may be waiting on a server that does not answer: its
    // thread ends by itself once answered or timed out.
    DrainingThreads::instance().keep(thread);
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
    ++pending;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        // The settings are read here, on the thread that writes them.
        shared->jobs.push_back({DatabaseTarget::current(), work, done ? done : Done([](const SqlResult &) {})});
    }
    QMetaObject::invokeMethod(worker, "drain", Qt::QueuedConnection);
}

void StatementRunner::deliver()
{
    for (;;) {
        Shared::Answer answer;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->answers.empty())
                return;
            answer = std::move(shared->answers.front());
            shared->answers.pop_front();
        }
        --pending;
        // An answer may close what owns this runner.
        const QPointer<StatementRunner> alive(this);
        answer.done(answer.result);
        if (!alive)
            return;
    }
}

SqlResult StatementRunner::runAndWait(const QString &statement, const QVariantMap &bindings)
{
    std::mutex mutex;
    std::condition_variable answered;
    bool finished = false;
    SqlResult result;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->jobs.push_back({DatabaseTarget::current(), [&](SqlSession &session) {
            SqlResult answer = session.exec(statement, bindings);
            std::lock_guard<std::mutex> done(mutex);
            result = answer;
            finished = true;
            answered.notify_one();
            return answer;
        }, Done()});
    }
    QMetaObject::invokeMethod(worker, "drain", Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [&] { return finished; });
    return result;
}

#include "statementrunner.moc"
