#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariantMap>
#include <QVector>

#include <functional>
#include <memory>

class StatementRunner;
class QObject;
class QSqlQueryModel;
struct SqlRows;

// The store's opening state for the main window: its row in `status`, the
// day's opening periods, the operating mode and the waiting time.
class StoreState
{
public:
    // clock gives the moments recorded with each change; the tick's statements
    // run on a thread of their own, a child of owner ("storeStatements").
    explicit StoreState(std::function<QDateTime()> clock = &QDateTime::currentDateTime, QObject *owner = nullptr);
    ~StoreState();

    // Start-up, in the background: the periods of the day of now choose the
    // mode, the status row is read; then runs once both were answered.
    void start(int idPizzaria, const QDateTime &now, const std::function<void()> &then);

    bool LerDiario(int id, int dia, QSqlQueryModel *model);
    bool LerStatus(int id, QSqlQueryModel *model);
    // Both return whether the statement ran.
    bool AtualizaStatus(int id, int status);
    bool AtualizaEspera(int id, int tempo);

    // The tick's schedule check at now. Its status write, the reads that
    // follow it and a new day's periods run in the background; a statement
    // still under way is waited for by the next check, never by the window.
    void VerificaPeriodoAbertura(int idPizzaria, const QDateTime &now);
    // A statement of the checks is still under way.
    bool isBusy() const;
    // Takes the status and waiting time from the last status row read.
    void takeStatusRow();

    enum class Toggle { Automatic, Written, Refused };
    // In manual mode flips the status and writes it behind the row's other
    // statements; done tells the outcome (at once when in automatic mode), so
    // that only a written status is announced. A refused write leaves the
    // status as it was. A press before the last one's answer flips that one.
    void toggleStatus(int idPizzaria, const std::function<void(Toggle)> &done);
    // The keypad's value truncated and written behind the row's other
    // statements; done(false) when nothing was written.
    void setEspera(int idPizzaria, float typed, const std::function<void(bool written)> &done);
    // The last word: the store closed, written after every statement given
    // before; nothing of the schedule is written after it. done(false) when
    // it was refused: the store may still be open for online sales.
    void close(int idPizzaria, const std::function<void(bool written)> &done);
    // The same, for the program's very end: waits for the answer.
    bool closeNow(int idPizzaria);
    // Reads the status row again behind its other statements, for the next
    // takeStatusRow; then runs once it was read or failed.
    void refreshRow(int idPizzaria, const std::function<void()> &then);
    // A console of the store set the status by hand (announced, or -1 when the
    // message does not say): this one follows the operator, not the schedule.
    void statusSetByHand(int idPizzaria, int announced);
    void setMode(int mode) { this->mode = mode; }
    // While the database watch finds the server down, the checks' writes and
    // reads wait for it, and are tried again once it answers.
    void setDatabaseUp(bool up) { databaseUp = up; }

    int currentMode() const { return mode; }
    int currentStatus() const { return status; }
    int currentEspera() const { return espera; }
    QString currentModeText() const { return modeText; }
    bool hasPeriods() const;

private:
    struct StatusRow
    {
        int status = 0;
        int espera = 0;
    };

    struct PeriodTexts
    {
        QString opening, closing;   // as the row holds them
    };

    void keepPeriods(const SqlRows &rows);
    void readScheduleInBackground(int idPizzaria, const QDate &day);
    void followRow(int idPizzaria);
    void writeStatus(int idPizzaria, int written);
    void readRowInBackground(int idPizzaria, const std::function<void(bool read)> &then);
    QVariantMap statusBindings(int idPizzaria, int written) const;
    // Anything the operator changed makes every row read begun before it stale.
    void operatorChanged() { ++changesByHand; }
    void keepRow(const SqlRows &rows);

    std::function<QDateTime()> clock;
    int status = 0;
    int lastWrittenStatus = -1;
    bool writeFailed = false;
    bool rowToFollow = false;   // set by hand elsewhere, and the row not read yet
    bool writing = false;       // a status write under way: the row read before would undo it
    int changesByHand = 0;      // a read or schedule write started before one of these is stale
    int writesByHand = 0;       // status presses not answered yet
    int pressedStatus = 0;      // what the last of them writes
    bool databaseUp = true;
    bool closed = false;        // the closing is given: the schedule writes no more
    int mode = 0;
    int espera = 0;
    QString modeText;
    QDate scheduleDay;
    StatusRow lastRow;          // as last read, or as written since
    QVector<PeriodTexts> periods;   // of scheduleDay
    std::unique_ptr<StatementRunner> statements;   // last: gone first, with its callbacks
};
