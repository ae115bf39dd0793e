// The menu dialogs' database work against the same statements in a small
// libmariadb program, on the private servers of scripts/servers:
//
//   eval "$(bash scripts/servers env)"
//   menubench
//
// Makes stores 9101 (3,000 items, one in four paused) and 9102 (a few items),
// and deletes their rows afterwards; nothing else in the database is touched.
#include "connectionsettings.h"
#include "dbfixture.h"
#include "editaritem.h"
#include "gerenciar.h"
#include "menudata.h"
#include "statementrunner.h"
#include "testenv.h"

#include "benchfigures.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int store = 9101;
constexpr int otherStore = 9102;
constexpr int items = 3000;
const int reloadRuns = benchRuns(20, 3);
const int saveRuns = benchRuns(100, 5);
constexpr double reloadAimRatio = 1.5;
constexpr double saveAimRatio = 1.5;

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

bool removeStores(DbFixture &db)
{
    const QString stores = QStringLiteral("(%1, %2)").arg(store).arg(otherStore);
    return db.exec("delete p from precoitem p join item_cardapio i on i.id_itemcardapio=p.id_itemcardapio "
                   "where i.id_pizzaria in " + stores)
        && db.exec("delete from cardapio where id_pizzaria in " + stores)
        && db.exec("delete from item_cardapio where id_pizzaria in " + stores)
        && db.exec("delete from menu where id_pizzaria in " + stores)
        && db.exec("delete from tipocardapio where id_pizzaria in " + stores)
        && db.exec("delete from tamanho where id_pizzaria in " + stores);
}

// Three menus, categories and sizes per store; item n has category, size and
// menu n % 3, and every fourth entry is paused.
bool makeStores(DbFixture &db)
{
    for (const auto &[id, count] : {std::pair<int, int>{store, items}, {otherStore, 30}}) {
        const QVariantMap s{{":s", id}, {":n", count}};
        if (!db.exec("insert into menu (id_pizzaria, item_menu) select :s, concat('Menu ', seq) from seq_0_to_2", s)
            || !db.exec("insert into tipocardapio (id_pizzaria, tipocardapio) select :s, concat('Tipo ', seq) from seq_0_to_2", s)
            || !db.exec("insert into tamanho (id_pizzaria, nome) select :s, concat('Tamanho ', seq) from seq_0_to_2", s)
            || !db.exec("insert into item_cardapio (id_pizzaria, nome_item, descricao_item, id_tipocardapio) "
                        "select :s, concat('Item ', seq), concat('Descrição do item ', seq), (select id_tipocardapio "
                        "from tipocardapio where id_pizzaria=:s and tipocardapio=concat('Tipo ', seq % 3)) "
                        "from seq_1_to_3000 where seq <= :n", s)
            || !db.exec("insert into precoitem (id_itemcardapio, id_tamanho, preco, id) select i.id_itemcardapio, "
                        "t.id_tamanho, 10 + i.id_itemcardapio % 90, concat('SKU-', :s, '-', i.id_itemcardapio) "
                        "from item_cardapio i join tamanho t on t.id_pizzaria=:s "
                        "and t.nome=concat('Tamanho ', i.id_itemcardapio % 3) where i.id_pizzaria=:s", s)
            || !db.exec("insert into cardapio (id_pizzaria, id_menu, id_precoitem, id_tamanho, ativo) "
                        "select :s, m.id_menu, p.id_precoitem, p.id_tamanho, p.id_precoitem % 4 <> 0 from precoitem p "
                        "join item_cardapio i on i.id_itemcardapio=p.id_itemcardapio join menu m on m.id_pizzaria=:s "
                        "and m.item_menu=concat('Menu ', p.id_precoitem % 3) where i.id_pizzaria=:s", s))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- the libmariadb side

MYSQL *connectClient()
{
    MYSQL *client = mysql_init(nullptr);
    if (!mysql_real_connect(client, qPrintable(TestEnv::dbHost()), qPrintable(TestEnv::dbUser()),
                            qPrintable(TestEnv::dbPassword()), qPrintable(TestEnv::dbName()),
                            unsigned(TestEnv::dbPort()), nullptr, 0)) {
        std::printf("  libmariadb cannot connect: %s\n", mysql_error(client));
        mysql_close(client);
        return nullptr;
    }
    return client;
}

// One parameter of a prepared statement: an int, a float or a text.
struct Param
{
    enum_field_types type;
    int i = 0;
    float f = 0;
    std::string s;
};

Param intParam(int v) { return {MYSQL_TYPE_LONG, v, 0, {}}; }
Param floatParam(float v) { return {MYSQL_TYPE_FLOAT, 0, v, {}}; }
Param textParam(const std::string &v) { return {MYSQL_TYPE_STRING, 0, 0, v}; }

// Prepares, binds and runs one statement; fetches every row of a result into
// text buffers. Returns the rows fetched, or -1; *insertId gets the new row's id.
long runStatement(MYSQL *client, const QString &statement, std::vector<Param> params, unsigned long long *insertId = nullptr)
{
    const QByteArray sql = QString(statement).replace(QRegularExpression(QStringLiteral(":\\w+")), QStringLiteral("?")).toUtf8();
    MYSQL_STMT *stmt = mysql_stmt_init(client);
    std::vector<MYSQL_BIND> binds(params.size());
    std::vector<unsigned long> lengths(params.size());
    for (size_t n = 0; n < params.size(); ++n) {
        std::memset(&binds[n], 0, sizeof(MYSQL_BIND));
        binds[n].buffer_type = params[n].type;
        binds[n].buffer = params[n].type == MYSQL_TYPE_LONG ? static_cast<void *>(&params[n].i)
                          : params[n].type == MYSQL_TYPE_FLOAT ? static_cast<void *>(&params[n].f)
                                                              : params[n].s.data();
        lengths[n] = params[n].s.size();
        binds[n].buffer_length = lengths[n];
        binds[n].length = &lengths[n];
    }
    long rows = -1;
    if (mysql_stmt_prepare(stmt, sql.constData(), sql.size()) == 0 && mysql_stmt_bind_param(stmt, binds.data()) == 0
        && mysql_stmt_execute(stmt) == 0) {
        rows = 0;
        if (const unsigned columns = mysql_stmt_field_count(stmt)) {
            std::vector<MYSQL_BIND> out(columns);
            std::vector<std::vector<char>> buffers(columns, std::vector<char>(512));
            std::vector<unsigned long> outLengths(columns);
            std::vector<my_bool> nulls(columns);
            for (unsigned c = 0; c < columns; ++c) {
                std::memset(&out[c], 0, sizeof(MYSQL_BIND));
                out[c].buffer_type = MYSQL_TYPE_STRING;
                out[c].buffer = buffers[c].data();
                out[c].buffer_length = buffers[c].size();
                out[c].length = &outLengths[c];
                out[c].is_null = &nulls[c];
            }
            mysql_stmt_bind_result(stmt, out.data());
            mysql_stmt_store_result(stmt);
            int fetched;
            while ((fetched = mysql_stmt_fetch(stmt)) == 0 || fetched == MYSQL_DATA_TRUNCATED)
                ++rows;
        }
        if (insertId)
            *insertId = mysql_stmt_insert_id(stmt);
    } else {
        std::printf("  libmariadb: %s\n", mysql_stmt_error(stmt));
    }
    mysql_stmt_close(stmt);
    return rows;
}

// The items statement for both tables on a new connection; the rows fetched, or -1.
long readItemsInC()
{
    MYSQL *client = connectClient();
    if (!client)
        return -1;
    long rows = 0;
    for (int ativo : {1, 0}) {
        const long read = runStatement(client, itensStatement, {intParam(store), intParam(ativo), textParam("%%"),
                                                                textParam("%%"), textParam("%%"), textParam("%%")});
        rows = read < 0 || rows < 0 ? -1 : rows + read;
    }
    mysql_close(client);
    return rows;
}

bool saveItemInC(MYSQL *client, int n, int menu, int tipo, int tamanho)
{
    unsigned long long item = 0, preco = 0;
    const std::string nome = "C " + std::to_string(n);
    bool ok = mysql_query(client, "START TRANSACTION") == 0
        && runStatement(client, insereItemStatement,
                        {intParam(store), textParam(nome), textParam(nome), intParam(tipo), intParam(0)}, &item) == 0
        && runStatement(client, inserePrecoStatement,
                        {intParam(int(item)), intParam(tamanho), floatParam(12.5f), intParam(0), textParam("")}, &preco) == 0
        && runStatement(client, insereCardapioStatement,
                        {intParam(store), intParam(menu), intParam(int(preco)), intParam(tamanho), intParam(0)}) == 0;
    return mysql_query(client, ok ? "COMMIT" : "ROLLBACK") == 0 && ok;
}

// ---------------------------------------------------------------- the measurements

// Until every statement given to runner has been answered.
void waitForAnswers(const StatementRunner *runner)
{
    while (runner->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool reload(DbFixture &db)
{
    std::printf("\n[reload] both tables of Gerenciar Itens with %d items vs. the items statement twice in libmariadb\n", items);
    Gerenciar dialog;
    dialog.Inicializa(store);
    dialog.show();
    auto *filtro = dialog.findChild<QPushButton *>(QStringLiteral("pushButton_filtro"));
    auto *ativos = dialog.findChild<QTableView *>(QStringLiteral("tableView_ativos"));
    const auto *statements = dialog.findChild<StatementRunner *>();
    waitForAnswers(statements);
    std::vector<double> dialogMs, clientMs;
    for (int run = -2; run < reloadRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        filtro->click();
        waitForAnswers(statements);
        const double reloaded = msSince(timer);
        timer.restart();
        const long rows = readItemsInC();
        const double client = msSince(timer);
        if (rows != items) {
            std::printf("  libmariadb read %ld rows, not %d\n", rows, items);
            return false;
        }
        if (run >= 0) {
            dialogMs.push_back(reloaded);
            clientMs.push_back(client);
        }
        QCoreApplication::processEvents();
    }
    const int shown = db.scalar(QStringLiteral("select count(*) from cardapio where id_pizzaria=:s and ativo=1"),
                                {{":s", store}}).toInt();
    if (ativos->model()->rowCount() == 0 || shown == 0) {
        std::printf("  the dialog shows no items\n");
        return false;
    }
    const double ratio = median(dialogMs) / median(clientMs);
    std::printf("  runs      %d of each, after 2 unmeasured\n", reloadRuns);
    std::printf("  dialog    median %.2f ms (filtro to both tables filled: statements, models, the shown tab's columns)\n", median(dialogMs));
    std::printf("  libmariadb median %.2f ms (new connection, both statements, %d rows fetched)\n", median(clientMs), items);
    std::printf("  ratio     %.2f    aim: <= %.1f  -> %s\n", ratio, reloadAimRatio, metText(ratio <= reloadAimRatio));
    return true;
}

bool save(DbFixture &db)
{
    std::printf("\n[save] a new item (three inserts in one transaction): the editor's Ok vs. libmariadb\n");
    const auto idOf = [&db](const char *statement, const char *name) {
        return db.scalar(QString::fromLatin1(statement), {{":s", store}, {":n", QString::fromUtf8(name)}}).toInt();
    };
    const int menu = idOf("select id_menu from menu where id_pizzaria=:s and item_menu=:n", "Menu 0");
    const int tipo = idOf("select id_tipocardapio from tipocardapio where id_pizzaria=:s and tipocardapio=:n", "Tipo 0");
    const int tamanho = idOf("select id_tamanho from tamanho where id_pizzaria=:s and nome=:n", "Tamanho 0");
    StatementRunner statements;
    MYSQL *client = connectClient();
    if (!client) {
        std::printf("  cannot connect\n");
        return false;
    }
    std::vector<double> editorMs, clientMs;
    for (int run = 0; run < saveRuns; ++run) {
        EditarItem editor;
        editor.IniciaEdicao(store, 0, menu, QStringLiteral("Menu 0"), 0, &statements);
        editor.PreencheItem(QString(), QStringLiteral("Qt %1").arg(run), QString(), QStringLiteral("Tipo 0"),
                            QStringLiteral("Tamanho 0"), 12.5f, 0, 0);
        waitForAnswers(&statements);
        // Each goes first every other run: the one after the other would
        // otherwise always meet the server just after the other's commit.
        for (const bool editorsTurn : {run % 2 == 0, run % 2 != 0}) {
            QElapsedTimer timer;
            timer.start();
            if (editorsTurn) {
                editor.findChild<QPushButton *>(QStringLiteral("pushButton_ok"))->click();
                waitForAnswers(&statements);
                editorMs.push_back(msSince(timer));
            } else if (saveItemInC(client, run, menu, tipo, tamanho)) {
                clientMs.push_back(msSince(timer));
            } else {
                std::printf("  libmariadb failed: %s\n", mysql_error(client));
                return false;
            }
        }
    }
    mysql_close(client);
    const QString saved = db.scalar(QStringLiteral(
        "select concat(sum(i.nome_item like 'Qt %'), '/', sum(i.nome_item like 'C %')) from item_cardapio i "
        "join precoitem p on p.id_itemcardapio=i.id_itemcardapio join cardapio c on c.id_precoitem=p.id_precoitem "
        "where i.id_pizzaria=:s"), {{":s", store}}).toString();
    if (saved != QStringLiteral("%1/%1").arg(saveRuns)) {
        std::printf("  items saved whole (editor/libmariadb): %s, not %d of each\n", qPrintable(saved), saveRuns);
        return false;
    }
    std::printf("  runs      %d of each, alternating, each first every other run\n", saveRuns);
    std::printf("  editor    median %.2f ms, min %.2f (Ok to its answer: checks, gravarItem, close)\n", median(editorMs),
                percentile(editorMs, 0));
    std::printf("  libmariadb median %.2f ms, min %.2f (same three statements prepared, one transaction)\n",
                median(clientMs), percentile(clientMs, 0));
    const double ratio = median(editorMs) / median(clientMs);
    std::printf("  ratio     %.2f    aim: <= %.1f  -> %s\n", ratio, saveAimRatio, metText(ratio <= saveAimRatio));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(quietDebug);
    lineBufferedOutput();
    if (!TestEnv::haveServers()) {
        std::fprintf(stderr, "menubench: the servers' variables are not set; run it through scripts/bench\n");
        return 2;
    }
    connectionSettings.host = TestEnv::dbHost();
    connectionSettings.dbPort = QString::number(TestEnv::dbPort());
    connectionSettings.dbName = TestEnv::dbName();
    connectionSettings.dbUser = TestEnv::dbUser();
    connectionSettings.dbPassword = TestEnv::dbPassword();
    DbFixture db;
    if (!db.isOpen() || !removeStores(db) || !makeStores(db)) {
        std::fprintf(stderr, "menubench: cannot make the stores: %s\n", qPrintable(db.lastError()));
        removeStores(db);
        return 1;
    }
    const bool ok = reload(db) & save(db);
    removeStores(db);
    return ok ? 0 : 1;
}
