#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {

const QString& boxTitle() {
    static const QString title = QStringLiteral("Dorsanti");
    return title;
}

QWidget* boxParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

Interaction* g_interaction = nullptr;

}  // namespace

void setInteraction(Interaction* interaction) {
    g_interaction = interaction;
}

DeferredMessages* DeferredMessages::s_current = nullptr;

DeferredMessages::DeferredMessages()
    : m_previous(s_current), m_exceptions(std::uncaught_exceptions()) {
    s_current = this;
}

DeferredMessages::~DeferredMessages() {
    s_current = m_previous;
    if (std::uncaught_exceptions() > m_exceptions) {
        return;
    }
    for (const QString& text : m_texts) {
        ShowMessage(text);
    }
}

void ShowMessage(const QString& text) {
    if (DeferredMessages* deferred = DeferredMessages::current()) {
        deferred->add(text);
        return;
    }
    if (g_interaction) {
        g_interaction->message(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, boxTitle(), text, QMessageBox::Ok, boxParent());
    box.exec();
}

bool Confirm(const QString& text) {
    if (g_interaction) {
        return g_interaction->confirm(text);
    }
    QMessageBox box(QMessageBox::Question, boxTitle(), text,
                    QMessageBox::Yes | QMessageBox::No, boxParent());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString errorBoxText(const AppError& error) {
    QString lead;
    switch (error.kind()) {
        case AppError::Kind::Busy:
            lead = QStringLiteral(
                "База данных занята другой программой. Повторите попытку немного позже.");
            break;
        case AppError::Kind::DiskFull:
            lead = QStringLiteral(
                "На диске не хватает места: изменения не записаны. "
                "Освободите место и повторите попытку.");
            break;
        case AppError::Kind::NotADatabase:
            lead = QStringLiteral("Файл не является базой данных.");
            break;
        case AppError::Kind::RecordInUse:
            lead = QStringLiteral(
                "Запись используется в других данных, поэтому её нельзя удалить.");
            break;
        case AppError::Kind::RecordMissing:
            lead = QStringLiteral(
                "Выбранная запись больше не существует (её могли удалить в другом окне), "
                "поэтому данные не сохранены. Выберите запись заново.");
            break;
        case AppError::Kind::Other:
            return error.text();
    }
    return lead + QStringLiteral("\n\n") + error.text();
}

void ShowErrorBox(const AppError& error) {
    if (g_interaction) {
        g_interaction->error(error);
        return;
    }
    QMessageBox box(QMessageBox::Critical, boxTitle(), errorBoxText(error), QMessageBox::Ok,
                    boxParent());
    box.exec();
}
