#pragma once

#include "Money.h"

#include <QLineEdit>
#include <optional>

// Reads a number as people type it: "," or "." as the decimal mark, blanks as
// thousands separators, a leading minus. nullopt when the text is not a number.
std::optional<double> parseNumber(const QString& text);

// A number field with two decimals. Zero shows empty; while the field is not
// focused it shows its display format; text that is not a number reads as 0.
class CurrencyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CurrencyEdit(QWidget* parent = nullptr);

    // A number pattern such as ",0.00;-,0.00"; empty shows the number in the
    // locale's form with two decimals and its grouping, without any currency
    // sign (the field does not know which currency the amount is in).
    void setDisplayFormat(const QString& pattern);
    QString displayFormat() const { return m_pattern; }

    // The largest amount a field takes: far inside what the money type holds,
    // and small enough that every cent of it survives the way through double.
    static constexpr double MaxValue = 999999999999.99;
    // The limit as the messages name it: "999 999 999 999,99".
    static QString maxValueText();

    // The value, rounded to two decimals, halves away from zero; 0 when the
    // text is not a number or is beyond MaxValue.
    double value() const;
    // The field holds a number whose size is beyond MaxValue. Its text stays
    // as typed, so that the user can see and mend it.
    bool isTooLarge() const;
    Money money() const { return Money::fromDouble(value()); }
    // Puts a value in, rounded to two decimals. When its two-decimal form
    // differs from the text in the field, the text changes and changed() runs.
    void setValue(double value);
    // The text being edited (what the field holds while focused).
    QString editText() const { return m_editText; }

Q_SIGNALS:
    // The edit text changed: a keystroke that altered it, or a new value put in.
    void changed();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString editForm(double value) const;
    void showDisplay();

    QString m_pattern;
    QString m_editText;
};
