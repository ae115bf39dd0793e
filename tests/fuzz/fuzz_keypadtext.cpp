#include "fuzz.h"
#include "keypadtext.h"

// Any start value and keys: the text keeps its shape, Enter reads it or changes nothing.
void fuzzOne(const QByteArray &, FuzzedDataProvider &in)
{
    float value = in.ConsumeFloatingPoint<float>();
    KeypadText keypad(value);
    void (KeypadText::*const keys[])() = {&KeypadText::point, &KeypadText::clear, &KeypadText::back, &KeypadText::toggleSign};
    static const QRegularExpression shape(QStringLiteral("^-?[0-9]*\\.?[0-9]*$"));
    while (in.remaining_bytes() > 0) {
        const int key = in.ConsumeIntegralInRange(0, 14);
        const float before = value;
        if (key == 14)
            FUZZ_CHECK(keypad.enter(&value) ? value == keypad.text().toFloat() : value == before);
        else
            key < 10 ? keypad.digit(key) : (keypad.*keys[key - 10])();
        FUZZ_CHECK(shape.match(keypad.text()).hasMatch());
    }
}
