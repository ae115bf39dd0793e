#pragma once

#include "pedido.h"
#include "runningconsole.h"
#include "statementrunner.h"

#include <QtWidgets>

// What an operator does with the console's order windows, for the tests.

// Runs act while answering the modal windows it opens, in order: "Sim", "Não" and
// "OK" press that button, "" (or no answer left) closes the window, "Enter" presses
// Return, again 0.15 s later and then holds it where the focus is, other text is
// typed as the reason. Before each answer, antes sees the window. Returns
// "title|text" of each window. An order dialog is left alone.
inline QStringList respondendo(QStringList fila, const std::function<void()> &act,
                               const std::function<void(QWidget *)> &antes = {})
{
    QStringList vistas;
    QPointer<QWidget> ultimo;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == ultimo || qobject_cast<Pedido *>(modal))
            return;
        ultimo = modal;
        auto *box = qobject_cast<QMessageBox *>(modal);
        vistas << modal->windowTitle() + '|' + (box ? box->text() : QString());
        if (antes)
            antes(modal);
        const QString texto = fila.isEmpty() ? QString() : fila.takeFirst();
        if (texto.isEmpty())
            return (void)modal->close();
        if (texto == "Enter") {
            QTest::keyClick(modal, Qt::Key_Return);
            return QTimer::singleShot(150, [] {
                // Back in the order window, as the box leaves it on a desktop.
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (qobject_cast<Pedido *>(w) && w->isVisible())
                        QApplication::setActiveWindow(w);
                QWidget *focus = QApplication::focusWidget();
                QVERIFY(focus);
                QTest::keyClick(focus, Qt::Key_Return);
                for (int repeat = 0; repeat < 5 && focus; ++repeat) {
                    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
                    QApplication::sendEvent(focus, &held);
                }
            });
        }
        if (auto *reason = modal->findChild<QLineEdit *>(QStringLiteral("lineEdit_frase"))) {
            reason->setText(texto);
            return modal->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
        }
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
            if (b->text().remove('&') == texto)
                return b->click();
        QFAIL(qPrintable(QStringLiteral("no button %1 on %2").arg(texto, modal->windowTitle())));
    });
    timer.start(20);
    act();
    return vistas;
}

// Until an order window has the answers to its statements (its rows, its write's outcome): before and after a click.
inline void respondido(QWidget *w)
{
    auto *pedido = qobject_cast<Pedido *>(w);
    QVERIFY2(!pedido || QTest::qWaitFor([pedido] { return !pedido->isBusy(); }, 20000), "no answer to the order window");
}

inline void clica(QWidget *w, const QString &name)
{
    respondido(w);
    QTest::mouseClick(w->findChild<QPushButton *>(name), Qt::LeftButton);
    respondido(w);
}

// Opens the order by a double-click on its row of the main window's list.
inline void doubleClick(RunningConsole &c, int order)
{
    auto *view = c.window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    const int row = c.listedOrders().indexOf(order);
    QVERIFY(row >= 0);
    const QPoint cell = view->visualRect(view->model()->index(row, 2)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
}
