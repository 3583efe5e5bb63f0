#include "ModalHelper.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QMetaObject>
#include <QTimer>

ModalHelper::ModalHelper(int timeoutMs)
    : m_deadline(QDateTime::currentMSecsSinceEpoch() + timeoutMs) {
    QTimer::singleShot(0, this, &ModalHelper::poll);
}

ModalHelper::~ModalHelper() {
    m_stopped = true;
}

void ModalHelper::answer(QMessageBox::StandardButton button) {
    m_steps.push_back({nullptr, [button](QWidget* w) {
                           auto* box = static_cast<QMessageBox*>(w);
                           if (QAbstractButton* b = box->button(button)) {
                               b->click();
                           } else {
                               box->reject();
                           }
                       }});
}

QStringList ModalHelper::texts() const {
    QStringList result;
    for (const Box& b : m_boxes) {
        result << b.text;
    }
    return result;
}

QStringList ModalHelper::takeTexts() {
    QStringList result;
    for (int i = m_taken; i < m_boxes.size(); ++i) {
        result << m_boxes[i].text;
    }
    m_taken = int(m_boxes.size());
    return result;
}

void ModalHelper::clickLater(QWidget* button) {
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

void ModalHelper::poll() {
    if (m_stopped) {
        return;
    }
    // The next look is booked before acting: a step may block in a nested
    // event loop (a dialog that opens a box), and the look must still come.
    QTimer::singleShot(5, this, &ModalHelper::poll);
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        return;
    }
    if (QDateTime::currentMSecsSinceEpoch() > m_deadline) {
        m_timedOut = true;
        m_unexpected << QStringLiteral("timed out in %1").arg(QString::fromUtf8(
                            modal->metaObject()->className()));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        return;
    }
    // Windows are compared while they are shown: a new dialog may take the
    // address of one deleted before it, and a dialog kept by its window (the
    // colour dialog) is shown again as a new question.
    m_seenAlive.removeIf([](const QPointer<QWidget>& w) { return w.isNull() || !w->isVisible(); });
    for (const QPointer<QWidget>& seen : std::as_const(m_seenAlive)) {
        if (seen == modal) {
            return;
        }
    }
    m_seenAlive << modal;
    handle(modal);
}

void ModalHelper::handle(QWidget* modal) {
    // No modal window offers to be minimised or maximised.
    EXPECT_FALSE(modal->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
        << modal->metaObject()->className() << " shows a minimise or maximise button";
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Box record{box->icon(), box->text(), {}};
        for (QAbstractButton* b : box->buttons()) {
            record.buttons << b->text();
        }
        m_boxes << record;
        if (!m_steps.isEmpty() && m_steps.first().type == nullptr &&
            box->icon() == QMessageBox::Question) {
            const Step step = m_steps.takeFirst();
            step.act(box);
            return;
        }
        if (!m_steps.isEmpty() && m_steps.first().type &&
            box->inherits(m_steps.first().type->className())) {
            const Step step = m_steps.takeFirst();
            step.act(box);
            return;
        }
        if (box->icon() == QMessageBox::Question) {
            m_unexpected << QStringLiteral("question: ") + box->text();
            if (QAbstractButton* no = box->button(QMessageBox::No)) {
                no->click();
            } else {
                box->reject();
            }
            return;
        }
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
        return;
    }
    if (!m_steps.isEmpty() && m_steps.first().type &&
        modal->inherits(m_steps.first().type->className())) {
        const Step step = m_steps.takeFirst();
        step.act(modal);
        return;
    }
    m_unexpected << QStringLiteral("window: ") +
                        QString::fromUtf8(modal->metaObject()->className());
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    } else {
        modal->close();
    }
}
