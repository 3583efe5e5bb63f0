#include "DateEdit.h"

#include "Icons.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const QString kFormat = QStringLiteral("dd.MM.yyyy");
}

DateEdit::DateEdit(QWidget* parent) : QWidget(parent) {
    m_edit = new QLineEdit(this);
    m_edit->setInputMask(QStringLiteral("99.99.9999;_"));
    m_button = new QToolButton(this);
    m_button->setIcon(Icons::calendar());
    m_button->setToolTip(QStringLiteral("Календарь"));
    m_button->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    m_edit->setMinimumWidth(
        m_edit->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) + 8);

    m_popup = new QWidget(this, Qt::Popup);
    m_calendar = new QCalendarWidget(m_popup);
    m_calendar->setGridVisible(true);
    auto* popupLayout = new QVBoxLayout(m_popup);
    popupLayout->setContentsMargins(1, 1, 1, 1);
    popupLayout->addWidget(m_calendar);

    connect(m_edit, &QLineEdit::textChanged, this, [this] { textChanged(); });
    m_edit->installEventFilter(this);
    connect(m_button, &QToolButton::clicked, this, [this] { showCalendar(); });
    connect(m_calendar, &QCalendarWidget::activated, this, [this](const QDate& d) {
        m_popup->hide();
        setDate(d);
        m_edit->setFocus();
    });
    connect(m_calendar, &QCalendarWidget::clicked, this, [this](const QDate& d) {
        m_popup->hide();
        setDate(d);
        m_edit->setFocus();
    });
}

QDate readDate(const QString& text) {
    const QDate d = QDate::fromString(text, kFormat);
    if (!d.isValid() || d.year() < 1 || d.year() > 9999 || d.toString(kFormat) != text) {
        return QDate();
    }
    return d;
}

QDate DateEdit::date() const {
    return readDate(m_edit->text());
}

void DateEdit::setDate(const QDate& date) {
    m_edit->setText(date.isValid() ? date.toString(kFormat) : QString());
    enter();
}

void DateEdit::enter() {
    const QDate now = date();
    if (now != m_entered) {
        m_entered = now;
        Q_EMIT dateEntered(now);
    }
}

bool DateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit) {
        if (event->type() == QEvent::FocusOut) {
            enter();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                enter();
            } else if ((key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier) ||
                       (key->key() == Qt::Key_Down && modifiers == Qt::AltModifier)) {
                if (m_edit->isEnabled() && !m_edit->isReadOnly()) {
                    showCalendar();
                }
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DateEdit::textChanged() {
    const QDate now = date();
    if (now != m_last) {
        m_last = now;
        Q_EMIT dateChanged(now);
    }
}

void DateEdit::showCalendar() {
    m_calendar->setSelectedDate(date().isValid() ? date() : QDate::currentDate());
    m_popup->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        at.setX(std::min(at.x(), area.right() - m_popup->width()));
        if (at.y() + m_popup->height() > area.bottom()) {
            at.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        }
    }
    m_popup->move(at);
    m_popup->show();
    m_calendar->setFocus();
}
