#pragma once

#include <QString>
#include <exception>

// The one error type that travels from the data layer (or any step) up to the
// guard of the event handler that started the step, which shows its text.
class AppError : public std::exception {
public:
    // What kind of trouble the engine reported; lets the error box add a plain
    // sentence in front of the engine's own text.
    enum class Kind { Other, Busy, DiskFull, NotADatabase, RecordInUse, RecordMissing };

    explicit AppError(QString text, Kind kind = Kind::Other, int engineCode = 0)
        : m_text(std::move(text)), m_utf8(m_text.toUtf8()), m_kind(kind), m_code(engineCode) {}

    const QString& text() const { return m_text; }
    Kind kind() const { return m_kind; }
    int engineCode() const { return m_code; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
    Kind m_kind;
    int m_code;
};
