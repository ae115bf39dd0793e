/* The order dialog's two statements on libmariadb alone, the yardstick of
 * orderbench: each run opens a new connection, prepares and runs both
 * statements for one order and fetches every row as text.
 *
 *   orderfetch <host> <port> <user> <password> <database> <store> <order> <runs>
 *
 * Prints the median of the runs in milliseconds, or why it failed. */
#define _POSIX_C_SOURCE 200809L  // NOLINT(bugprone-reserved-identifier): feature-test macro

#include <mysql.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char *customer =
    "select nome_user, usuarios.fone, nome_endereco, rua, numero, apto_num, bairro, complemento, cidade, "
    "referencia, valor, taxa_entrega, modo_pag, cartao, troco_txt, pedido.status, pedido.info_final, "
    "descricao, cpf,endereco.fone, pedido.desconto from pedido left join usuarios on "
    "pedido.id_user=usuarios.id_user left join endereco on pedido.id_endereco=endereco.id_endereco left "
    "join bandeirascartao on pedido.codcartao=bandeirascartao.codigo where pedido.id_pizzaria=? and "
    "pedido.id_pedido=?";
static const char *lines =
    "select qty, item_menu, tamanho.nome, nome_item, max_item, info, pedido_detalhe.tipo, pedido.status, "
    "pedido_detalhe.time, pedido.data from pedido left join pedido_detalhe on "
    "pedido.id_pedido=pedido_detalhe.id_pedido left join cardapio on "
    "pedido_detalhe.id_cardapio=cardapio.id_cardapio left join menu on cardapio.id_menu=menu.id_menu left "
    "join precoitem on cardapio.id_precoitem=precoitem.id_precoitem left join item_cardapio on "
    "precoitem.id_itemcardapio=item_cardapio.id_itemcardapio left join tamanho on "
    "precoitem.id_tamanho=tamanho.id_tamanho where pedido.id_pizzaria=? and pedido.id_pedido=? "
    "order by time asc, id_detalhe asc";

enum { MaxColumns = 32, CellSize = 512 };

static int fetchAll(MYSQL *db, const char *statement, int store, int order, int *rows)
{
    MYSQL_STMT *stmt = mysql_stmt_init(db);
    MYSQL_BIND params[2], results[MaxColumns];
    static char cells[MaxColumns][CellSize];
    unsigned long lengths[MaxColumns];
    my_bool nulls[MaxColumns];
    int ok = 0;
    if (!stmt || mysql_stmt_prepare(stmt, statement, (unsigned long)strlen(statement)))
        goto done;
    memset(params, 0, sizeof params);
    params[0].buffer_type = MYSQL_TYPE_LONG;
    params[0].buffer = &store;
    params[1].buffer_type = MYSQL_TYPE_LONG;
    params[1].buffer = &order;
    if (mysql_stmt_bind_param(stmt, params) || mysql_stmt_execute(stmt))
        goto done;
    unsigned columns = mysql_stmt_field_count(stmt);
    if (columns > MaxColumns)
        goto done;
    memset(results, 0, sizeof results);
    for (unsigned i = 0; i < columns; ++i) {
        results[i].buffer_type = MYSQL_TYPE_STRING;
        results[i].buffer = cells[i];
        results[i].buffer_length = CellSize;
        results[i].length = &lengths[i];
        results[i].is_null = &nulls[i];
    }
    if (mysql_stmt_bind_result(stmt, results) || mysql_stmt_store_result(stmt))
        goto done;
    int status;
    while ((status = mysql_stmt_fetch(stmt)) == 0 || status == MYSQL_DATA_TRUNCATED)
        ++*rows;
    ok = status == MYSQL_NO_DATA;
done:
    if (!ok)
        fprintf(stderr, "orderfetch: %s\n", stmt ? mysql_stmt_error(stmt) : mysql_error(db));
    if (stmt)
        mysql_stmt_close(stmt);
    return ok;
}

static int compare(const void *a, const void *b)
{
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv)
{
    if (argc != 9) {
        fprintf(stderr, "usage: orderfetch host port user password database store order runs\n");
        return 2;
    }
    const int store = atoi(argv[6]), order = atoi(argv[7]), runs = atoi(argv[8]);
    // A negative count would reach qsort as a huge one.
    if (runs < 1) {
        fprintf(stderr, "orderfetch: runs must be a positive number\n");
        return 2;
    }
    double *ms = calloc((size_t)runs, sizeof *ms);
    if (!ms)
        return 1;
    for (int run = 0; run < runs; ++run) {
        struct timespec start, end;
        clock_gettime(CLOCK_MONOTONIC, &start);
        MYSQL *db = mysql_init(NULL);
        int rows = 0;
        if (!db || !mysql_real_connect(db, argv[1], argv[3], argv[4], argv[5], (unsigned)atoi(argv[2]), NULL, 0)) {
            fprintf(stderr, "orderfetch: %s\n", db ? mysql_error(db) : "out of memory");
            mysql_close(db);
            free(ms);
            return 1;
        }
        const int fetched = fetchAll(db, customer, store, order, &rows) && fetchAll(db, lines, store, order, &rows);
        mysql_close(db);
        if (!fetched) {
            free(ms);
            return 1;
        }
        clock_gettime(CLOCK_MONOTONIC, &end);
        ms[run] = (double)(end.tv_sec - start.tv_sec) * 1e3 + (double)(end.tv_nsec - start.tv_nsec) / 1e6;
        if (run == 0)
            fprintf(stderr, "orderfetch: %d rows per run\n", rows);
    }
    qsort(ms, (size_t)runs, sizeof *ms, compare);
    printf("%.3f\n", ms[runs / 2]);
    free(ms);
    return 0;
}
