#include "fuzz.h"
#include "keypadtext.h"

#include <QLocale>
#include <QRegularExpression>

// Any start value and key sequence: the text keeps its shape, Enter reads it or refuses.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const float start = in.ConsumeFloatingPoint<float>();
    KeypadText keypad(start);
    float value = start;
    static const QRegularExpression shape(QStringLiteral("^-?[0-9]*\\.?[0-9]*$"));
    void (KeypadText::*const edits[])() = {&KeypadText::point, &KeypadText::clear, &KeypadText::back, &KeypadText::toggleSign};
    while (in.remaining_bytes() > 0) {
        const int key = in.ConsumeIntegralInRange(0, 14);
        const float before = value;
        bool ok = false;
        if (key < 10)
            keypad.digit(key);
        else if (key < 14)
            (keypad.*edits[key - 10])();
        else
            FUZZ_CHECK(keypad.enter(&value) ? value == QLocale::c().toFloat(keypad.text(), &ok) && ok : value == before);
        FUZZ_CHECK(shape.match(keypad.text()).hasMatch());
    }
    return 0;
}
