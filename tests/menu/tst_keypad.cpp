#include "keypad.h"
#include "keypadtext.h"

#include <QLCDNumber>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {

// Keys: digits, "." and "," as themselves, 'c' AC, '<' Back, '~' +/-, '=' Enter.
// typed: run again through the dialog's shortcuts, as an operator types them.
const struct Case { const char *name; float start; const char *keys, *text; float target; bool closed, typed; } cases[] = {
    {"opening on 0 is blank", 0, "", "", 0, false, false},
    {"no leading zero", 0, "05", "5", 0, false, false},
    {"opening on 7.5 appends", 7.5f, "1", "7.501", 7.5f, false, false},
    {"AC then a new value", 7.5f, "c3=", "3", 3, true, true},
    {"back on one character", 0, "5<", "5", 0, false, false},
    {"point first, back drops it", 0, ".5<", "0", 0, false, false},
    {"back to a bare sign empties", 0, "5~<", "", 0, false, false},
    {"sign on, off and on", 0, "5~~~=", "-5", -5, true, true},
    {"comma is a point, second ignored", 0, "1,2.3", "1.23", 0, false, true},
    {"enter on a bare sign keeps the value", 7.5f, "c~=", "-", 7.5f, false, false},
    {"enter on an overflow keeps the value", 7.5f, "c10000000000000000000000000000000000000000=",
     "10000000000000000000000000000000000000000", 7.5f, false, true},
    {"enter on empty stores 0", 7.5f, "c=", "0", 0, true, false},
    {"waiting time", 0, "12.9=", "12.9", 12.9f, true, false},
    {"longer than the display", 0, "123456789012=", "123456789012", 123456789012.0f, true, false},
};

} // namespace

class TestKeypad : public QObject
{
    Q_OBJECT

private slots:
    void editing_data();
    void editing();
};

void TestKeypad::editing_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < int(std::size(cases)); ++row)
        QTest::newRow(cases[row].name) << row;
}

void TestKeypad::editing()
{
    QFETCH(int, row);
    const Case &c = cases[row];
    const QString keys = QLatin1String(c.keys);
    KeypadText entered(c.start);
    float value = c.start;
    bool accepted = false;
    const QHash<QChar, void (KeypadText::*)()> edit{{'.', &KeypadText::point}, {',', &KeypadText::point},
        {'c', &KeypadText::clear}, {'<', &KeypadText::back}, {'~', &KeypadText::toggleSign}};
    for (const QChar key : keys) {
        if (key.isDigit())
            entered.digit(key.digitValue());
        else if (key == QLatin1Char('='))
            accepted = entered.enter(&value);
        else
            (entered.*edit.value(key))();
    }
    QCOMPARE(entered.text(), QLatin1String(c.text));
    QCOMPARE(value, c.target);
    QCOMPARE(accepted, c.closed);
    if (!c.typed)
        return;

    const QHash<QChar, Qt::Key> shortcut{{'.', Qt::Key_Period}, {',', Qt::Key_Comma}, {'c', Qt::Key_C},
        {'<', Qt::Key_Backspace}, {'~', Qt::Key_Return}, {'=', Qt::Key_Enter}};
    value = c.start;
    Keypad keypad(&value);
    keypad.show();
    QVERIFY(QTest::qWaitForWindowActive(&keypad));   // shortcuts go to the active window only
    const QList<QPushButton *> buttons = keypad.findChildren<QPushButton *>();
    for (const QChar key : keys) {
        QTest::keyClick(&keypad, key.isDigit() ? Qt::Key(Qt::Key_0 + key.digitValue()) : shortcut.value(key));
        // A shortcut clicks its button a moment later.
        QVERIFY(QTest::qWaitFor([&] { return std::none_of(buttons.begin(), buttons.end(), std::mem_fn(&QPushButton::isDown)); }));
    }
    QCOMPARE(keypad.findChild<QLCDNumber *>()->value(), QLocale::c().toDouble(QLatin1String(c.text)));   // "." and Enter do not refresh it
    QCOMPARE(value, c.target);
    QCOMPARE(!keypad.isVisible(), c.closed);
}

QTEST_MAIN(TestKeypad)
#include "tst_keypad.moc"
