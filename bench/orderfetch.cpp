#include "orderfetch.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <mysql.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int maxColumns = 32;
constexpr unsigned long cellSize = 512;

// libmariadb binds by position: each ":name" becomes "?", its value taken in that order.
bool fetchAll(MYSQL *db, const QString &statement, const QVariantMap &ints, int *rows, QString *error)
{
    static const QRegularExpression placeholder(QStringLiteral(":\\w+"));
    std::vector<long long> values;
    for (auto it = placeholder.globalMatch(statement); it.hasNext();)
        values.push_back(ints.value(it.next().captured()).toLongLong());
    const QByteArray text = QString(statement).replace(placeholder, QStringLiteral("?")).toUtf8();

    MYSQL_STMT *stmt = mysql_stmt_init(db);
    std::vector<MYSQL_BIND> params(values.size());
    MYSQL_BIND results[maxColumns] = {};
    static char cells[maxColumns][cellSize];
    unsigned long lengths[maxColumns];
    my_bool nulls[maxColumns];
    bool ok = false;
    if (stmt && !mysql_stmt_prepare(stmt, text.constData(), static_cast<unsigned long>(text.size()))) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            params[i] = {};
            params[i].buffer_type = MYSQL_TYPE_LONGLONG;
            params[i].buffer = &values[i];
        }
        const unsigned columns = mysql_stmt_field_count(stmt);
        for (unsigned i = 0; i < columns && i < maxColumns; ++i) {
            results[i].buffer_type = MYSQL_TYPE_STRING;
            results[i].buffer = cells[i];
            results[i].buffer_length = cellSize;
            results[i].length = &lengths[i];
            results[i].is_null = &nulls[i];
        }
        if (columns <= maxColumns && !mysql_stmt_bind_param(stmt, params.data()) && !mysql_stmt_execute(stmt)
            && !mysql_stmt_bind_result(stmt, results) && !mysql_stmt_store_result(stmt)) {
            int status;
            while ((status = mysql_stmt_fetch(stmt)) == 0 || status == MYSQL_DATA_TRUNCATED)
                ++*rows;
            ok = status == MYSQL_NO_DATA;
        }
    }
    if (!ok)
        *error = QString::fromUtf8(stmt ? mysql_stmt_error(stmt) : mysql_error(db));
    if (stmt)
        mysql_stmt_close(stmt);
    return ok;
}

MYSQL *connectTo(const FetchTarget &target, QString *error)
{
    MYSQL *db = mysql_init(nullptr);
    if (db && mysql_real_connect(db, target.host.toUtf8().constData(), target.user.toUtf8().constData(),
                                 target.password.toUtf8().constData(), target.database.toUtf8().constData(),
                                 target.port, nullptr, 0))
        return db;
    *error = db ? QString::fromUtf8(mysql_error(db)) : QStringLiteral("out of memory");
    mysql_close(db);
    return nullptr;
}

bool fetchEach(MYSQL *db, const QStringList &statements, const QVariantMap &ints, int *rows, QString *error)
{
    *rows = 0;
    for (const QString &statement : statements)
        if (!fetchAll(db, statement, ints, rows, error))
            return false;
    return true;
}

} // namespace

FetchClient::FetchClient(const FetchTarget &target)
    : db(connectTo(target, &connectError))
{
}

FetchClient::~FetchClient()
{
    mysql_close(db);
}

double FetchClient::runMs(const QStringList &statements, const QVariantMap &ints, int *rows, QString *error)
{
    if (!db) {
        *error = connectError;
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    return fetchEach(db, statements, ints, rows, error) ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

double fetchMedianMs(const FetchTarget &target, const QStringList &statements, const QVariantMap &ints, int runs,
                     int *rows, QString *error)
{
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        MYSQL *db = connectTo(target, error);
        if (!db)
            return -1;
        const bool fetched = fetchEach(db, statements, ints, rows, error);
        mysql_close(db);
        if (!fetched)
            return -1;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (ms.empty())
        return -1;
    std::nth_element(ms.begin(), ms.begin() + long(ms.size() / 2), ms.end());
    return ms[ms.size() / 2];
}
