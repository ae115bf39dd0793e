#include "keypad.h"
#include "keypadtext.h"

#include <QLCDNumber>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <functional>

// Keys as typed in the tables: digits, "." and "," as themselves,
// 'c' AC, '<' Back, '~' +/-, '=' Enter.
class TestKeypad : public QObject
{
    Q_OBJECT

private slots:
    void editing_data();
    void editing();
};

void TestKeypad::editing_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("target");
    QTest::addColumn<bool>("closed");

    QTest::newRow("opening on 0 is blank") << 0.0f << "" << "" << 0.0f << false;
    QTest::newRow("no leading zero") << 0.0f << "05" << "5" << 0.0f << false;
    QTest::newRow("opening on 7.5 appends") << 7.5f << "1" << "7.501" << 7.5f << false;
    QTest::newRow("negative start") << -3.0f << "" << "-3.00" << -3.0f << false;
    QTest::newRow("AC then a new value") << 7.5f << "c3=" << "3" << 3.0f << true;
    QTest::newRow("back on one character") << 0.0f << "5<" << "5" << 0.0f << false;
    QTest::newRow("point first, back drops it") << 0.0f << ".5<" << "0" << 0.0f << false;
    QTest::newRow("back to a bare sign empties") << 0.0f << "5~<" << "" << 0.0f << false;
    QTest::newRow("sign on, off and on") << 0.0f << "5~~~=" << "-5" << -5.0f << true;
    QTest::newRow("comma is a point, second ignored") << 0.0f << "1,2.3" << "1.23" << 0.0f << false;
    QTest::newRow("enter on a bare sign keeps the value") << 7.5f << "c~=" << "-" << 7.5f << false;
    const QString overflow = QLatin1Char('1') + QString(40, QLatin1Char('0'));
    QTest::newRow("enter on an overflow keeps the value") << 7.5f << "c" + overflow + "=" << overflow << 7.5f << false;
    QTest::newRow("enter on empty stores 0") << 7.5f << "c=" << "0" << 0.0f << true;
    QTest::newRow("waiting time") << 0.0f << "12.9=" << "12.9" << 12.9f << true;
    QTest::newRow("trailing point") << 0.0f << "12.=" << "12." << 12.0f << true;
    QTest::newRow("longer than the display") << 0.0f << "123456789012=" << "123456789012" << 123456789012.0f << true;
}

void TestKeypad::editing()
{
    QFETCH(float, start);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(float, target);
    QFETCH(bool, closed);

    KeypadText entered(start);
    float value = start;
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
    QCOMPARE(entered.text(), text);
    QCOMPARE(value, target);
    QCOMPARE(accepted, closed);

    // A few again through the dialog's shortcuts, as an operator types them.
    const QStringList typed{"AC then a new value", "comma is a point, second ignored", "sign on, off and on",
                            "enter on an overflow keeps the value"};
    if (!typed.contains(QLatin1String(QTest::currentDataTag())))
        return;
    const QHash<QChar, Qt::Key> shortcut{{'.', Qt::Key_Period}, {',', Qt::Key_Comma}, {'c', Qt::Key_C},
        {'<', Qt::Key_Backspace}, {'~', Qt::Key_Return}, {'=', Qt::Key_Enter}};
    value = start;
    Keypad keypad(&value);
    QCOMPARE(keypad.windowTitle(), QStringLiteral("Entrada de Valores"));
    keypad.show();
    QVERIFY(QTest::qWaitForWindowActive(&keypad));   // shortcuts go to the active window only
    const QList<QPushButton *> buttons = keypad.findChildren<QPushButton *>();
    for (const QChar key : keys) {
        QTest::keyClick(&keypad, key.isDigit() ? Qt::Key(Qt::Key_0 + key.digitValue()) : shortcut.value(key));
        // A shortcut clicks its button a moment later.
        QVERIFY(QTest::qWaitFor([&] { return std::none_of(buttons.begin(), buttons.end(), std::mem_fn(&QPushButton::isDown)); }));
    }
    QCOMPARE(keypad.findChild<QLCDNumber *>()->value(), QLocale::c().toDouble(text));   // "." and Enter do not refresh it
    QCOMPARE(value, target);
    QCOMPARE(!keypad.isVisible(), closed);
}

QTEST_MAIN(TestKeypad)
#include "tst_keypad.moc"
