#pragma once

#include <QCalendarWidget>
#include <QDate>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

// Reads "dd.mm.yyyy" as the date field does: a day of the years 1 to 9999, or
// an invalid date for anything else.
QDate readDate(const QString& text);

// A calendar date typed as "dd.mm.yyyy" or picked from a pop-up calendar. It
// may be empty; an empty or unreadable text has no date. Alt+Down and F4 open
// the calendar; there the arrows move, Enter picks and Escape closes it
// leaving the date as it was.
class DateEdit : public QWidget {
    Q_OBJECT
public:
    explicit DateEdit(QWidget* parent = nullptr);

    // Invalid when the field is empty or its text is not a date.
    QDate date() const;
    // An invalid date empties the field.
    void setDate(const QDate& date);
    void clear() { setDate(QDate()); }

    QLineEdit* lineEdit() const { return m_edit; }
    QToolButton* button() const { return m_button; }
    // Opens the calendar under the field; it closes when a day is picked.
    void showCalendar();
    QCalendarWidget* calendar() const { return m_calendar; }

Q_SIGNALS:
    // The date changed, typed or set; runs once per change of the value.
    void dateChanged(const QDate& date);
    // The date was given whole: set, picked in the calendar, or typed and then
    // Enter pressed or the field left. Runs once per such new value, so that
    // the dates a text passes through while it is typed over never count.
    void dateEntered(const QDate& date);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textChanged();
    void enter();

    QLineEdit* m_edit;
    QToolButton* m_button;
    QWidget* m_popup;
    QCalendarWidget* m_calendar;
    QDate m_last;
    QDate m_entered;
};
