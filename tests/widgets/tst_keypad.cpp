#include "keypadtext.h"
#include "rowtable.h"

namespace {

// Keys: digits and "." as themselves, 'c' AC, '<' Back, '~' +/-, '=' Enter.
const struct Case { const char *name; float start; const char *keys, *text; float target; bool accepted; } cases[] = {
    {"no leading zero", 0, "05", "5", 0, false},
    {"opening on 7.5 appends", 7.5f, "1", "7.501", 7.5f, false},
    {"AC then a new value", 7.5f, "c3=", "3", 3, true},
    {"back on one character", 0, "5<", "5", 0, false},
    {"point first, back drops it", 0, ".5<", "0", 0, false},
    {"back to a bare sign empties", 0, "5~<", "", 0, false},
    {"sign on, off and on", 0, "5~~~=", "-5", -5, true},
    {"second point ignored", 0, "1.2.3", "1.23", 0, false},
    {"enter on a bare sign keeps the value", 7.5f, "c~=", "-", 7.5f, false},
    {"enter on an overflow keeps the value", 7.5f, "c10000000000000000000000000000000000000000=",
     "10000000000000000000000000000000000000000", 7.5f, false},
    {"enter on empty stores 0", 7.5f, "c=", "0", 0, true},
};

} // namespace

class TestKeypad : public QObject
{
    Q_OBJECT

private slots:
    void editing_data() { addRows(cases); }
    void editing()
    {
        QFETCH(int, row);
        const Case &c = cases[row];
        KeypadText entered(c.start);
        float value = c.start;
        bool accepted = false;
        const QHash<QChar, void (KeypadText::*)()> edit{
            {'.', &KeypadText::point}, {'c', &KeypadText::clear}, {'<', &KeypadText::back}, {'~', &KeypadText::toggleSign}};
        for (const QChar key : QString::fromLatin1(c.keys)) {
            if (key.isDigit())
                entered.digit(key.digitValue());
            else if (key == QLatin1Char('='))
                accepted = entered.enter(&value);
            else
                (entered.*edit.value(key))();
        }
        QCOMPARE(entered.text(), QLatin1String(c.text));
        QCOMPARE(value, c.target);
        QCOMPARE(accepted, c.accepted);
    }
};

QTEST_APPLESS_MAIN(TestKeypad)
#include "tst_keypad.moc"
