#include "keypadtext.h"

#include <QLocale>

KeypadText::KeypadText(float value)
{
    if (value != 0.0f)
        entered = QString::number(double(value), 'f', 2);
}

void KeypadText::digit(int digit)
{
    if (digit == 0 && entered.isEmpty())
        return;
    entered.append(QChar(QLatin1Char('0' + digit)));
}

void KeypadText::point()
{
    if (entered.contains(QLatin1Char('.')))
        return;
    if (entered.isEmpty())
        entered = QStringLiteral("0.");
    else
        entered.append(QLatin1Char('.'));
}

void KeypadText::clear()
{
    entered.clear();
}

void KeypadText::back()
{
    if (entered.size() < 2)
        return;
    entered.chop(1);
    if (entered.endsWith(QLatin1Char('.')))
        entered.chop(1);
    if (entered == QLatin1String("-"))
        entered.clear();
}

void KeypadText::toggleSign()
{
    if (entered.startsWith(QLatin1Char('-')))
        entered.remove(0, 1);
    else
        entered.prepend(QLatin1Char('-'));
}

bool KeypadText::enter(float *value)
{
    if (entered.isEmpty())
        entered = QStringLiteral("0");
    bool ok = false;
    const float number = QLocale::c().toFloat(entered, &ok);
    if (ok)
        *value = number;
    return ok;
}
