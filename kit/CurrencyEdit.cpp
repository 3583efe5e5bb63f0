#include "CurrencyEdit.h"

#include "DisplayFormat.h"

#include <QFocusEvent>
#include <QLocale>
#include <QValidator>
#include <cmath>

std::optional<double> parseNumber(const QString& text) {
    const auto m = Money::fromText(text.trimmed());
    if (!m) {
        return std::nullopt;
    }
    return m->toDouble();
}

namespace {

// Lets through what can grow into a number with at most two decimals.
class TwoDecimalsValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        int decimals = -1;
        bool digits = false;
        for (int i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c.isDigit() && c.unicode() < 128) {
                digits = true;
                if (decimals >= 0 && ++decimals > 2) {
                    return Invalid;
                }
            } else if (c == QLatin1Char(',') || c == QLatin1Char('.')) {
                if (decimals >= 0) {
                    return Invalid;
                }
                decimals = 0;
            } else if (c == QLatin1Char('-')) {
                if (i != 0) {
                    return Invalid;
                }
            } else if (c == QLatin1Char(' ') || c == QChar(0x00A0) || c == QChar(0x202F)) {
                if (decimals >= 0) {
                    return Invalid;
                }
            } else {
                return Invalid;
            }
        }
        return digits ? Acceptable : Intermediate;
    }
};

}  // namespace

CurrencyEdit::CurrencyEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setValidator(new TwoDecimalsValidator(this));
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text != m_editText) {
            m_editText = text;
            Q_EMIT changed();
        }
    });
}

void CurrencyEdit::setDisplayFormat(const QString& pattern) {
    m_pattern = pattern;
    if (!hasFocus()) {
        showDisplay();
    }
}

QString CurrencyEdit::maxValueText() {
    return QLocale(QLocale::Russian, QLocale::Russia).toString(MaxValue, 'f', 2);
}

double CurrencyEdit::value() const {
    if (isTooLarge()) {
        return 0.0;
    }
    return roundHalfAway(parseNumber(m_editText).value_or(0.0), 2);
}

bool CurrencyEdit::isTooLarge() const {
    // The digits alone: a number too large for the money type does not read
    // as one, so it is measured as a double.
    QString digits;
    for (const QChar c : m_editText) {
        if (c.isDigit() || c == QLatin1Char('-')) {
            digits += c;
        } else if (c == QLatin1Char(',') || c == QLatin1Char('.')) {
            digits += QLatin1Char('.');
        }
    }
    bool ok = false;
    const double v = digits.toDouble(&ok);
    return ok && std::fabs(roundHalfAway(v, 2)) > MaxValue;
}

QString CurrencyEdit::editForm(double value) const {
    const double v = roundHalfAway(value, 2);
    if (v == 0.0 || !std::isfinite(v)) {
        return QString();
    }
    QString text = QString::number(v, 'f', 2);
    return text.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

void CurrencyEdit::setValue(double value) {
    const QString text = editForm(value);
    if (text == m_editText) {
        return;
    }
    m_editText = text;
    if (hasFocus()) {
        setText(m_editText);
    } else {
        showDisplay();
    }
    Q_EMIT changed();
}

void CurrencyEdit::showDisplay() {
    const double v = value();
    if (isTooLarge()) {
        setText(m_editText);
    } else if (v == 0.0) {
        setText(QString());
    } else if (m_pattern.isEmpty()) {
        // No currency sign: the field does not know the account's currency.
        setText(QLocale().toString(v, 'f', 2));
    } else {
        setText(formatFloat(m_pattern, v));
    }
}

void CurrencyEdit::focusInEvent(QFocusEvent* event) {
    setText(m_editText);
    QLineEdit::focusInEvent(event);
}

void CurrencyEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    showDisplay();
}
