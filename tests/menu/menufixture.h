#pragma once

#include "dbfixture.h"

#include <QStringList>

#include <memory>

class Gerenciar;
class QComboBox;
class QTableView;
class QWidget;

// Two stores with the same menu, item names and sizes; only the codes differ
// ("B-" in front for the other store). Every entry: mask 3, weekdays 62,
// info 5. Codes MUS-G, CAL-G (Pizzas Salgadas, Tradicional, Grande) and GUA-L
// on sale, COL-L paused (Bebidas, Refrigerante, Lata). Size Broto is unused.
class MenuFixture : public DbFixture
{
public:
    static constexpr int loja = 7;
    static constexpr int outraLoja = 8;

    // Empties the tables, writes both stores and points the console's settings here.
    bool build();
    // How many rows of the store each table holds, then every entry of a store (of items
    // named like nome) with its three rows.
    QString snapshot(int store, const QString &nome = QStringLiteral("%"));

private:
    int add(const QString &statement, const QVariantMap &bindings);
};

// Operator steps on the dialogs.
namespace MenuUi {
// Builds both stores and shows the browser of the first; null when the servers are not there.
std::unique_ptr<Gerenciar> openGerenciar(MenuFixture *fixture);
void choose(QComboBox *box, const QString &text);
QStringList codes(const QTableView *view);      // the "ID" column, sorted
void clickRow(QTableView *view, const QString &code, bool twice = false);
// Presses the keypad's keys ("AC", "+/-", ".", "Enter", digits) and closes it if still open.
void pressKeys(QWidget *keypad, const QStringList &keys);
}
