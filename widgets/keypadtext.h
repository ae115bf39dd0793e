#pragma once

#include <QString>

// The number being typed on the keypad: digits, at most one ".", and an
// optional leading "-". Kept apart from the widget so its rules can be tested.
class KeypadText
{
public:
    KeypadText() = default;
    // A value other than 0 starts as its text with two decimals; 0 starts empty.
    explicit KeypadText(float value);

    QString text() const { return entered; }

    void digit(int digit);     // 0 to 9
    void point();
    void clear();
    void back();
    void toggleSign();

    // The text as a number ("." as separator; empty reads as 0). Returns false
    // and leaves value alone when the text is not a number, such as "-".
    bool enter(float *value);

private:
    QString entered;
};
