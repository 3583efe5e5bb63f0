#pragma once

#include "AppError.h"

#include <QString>
#include <QStringList>
#include <exception>

// Who answers the program's boxes. By default they are shown to the user; a
// program without a user (a worker process of the reliability tests) puts in
// its own answers.
class Interaction {
public:
    virtual ~Interaction() = default;
    virtual void message(const QString& text) = 0;
    virtual bool confirm(const QString& text) = 0;
    virtual void error(const AppError& error) = 0;
};
// nullptr goes back to the boxes.
void setInteraction(Interaction* interaction);

// Information box with one OK button.
void ShowMessage(const QString& text);
// Confirmation box with a question icon and the buttons Yes and No; true for Yes only.
bool Confirm(const QString& text);
// The application's standard error box. For the engine's common troubles a
// plain sentence comes first, then the engine's own text.
void ShowErrorBox(const AppError& error);
// The full text that the error box shows.
QString errorBoxText(const AppError& error);

// Runs the body of an event handler. An error ends the step; RAII clean-up has
// run by the time the error box shows, and the window stays as it was.
template <class Body>
void guarded(Body&& body) {
    try {
        body();
    } catch (const AppError& e) {
        ShowErrorBox(e);
    } catch (const std::exception& e) {
        ShowErrorBox(AppError(QString::fromUtf8(e.what())));
    }
}

// While one of these lives, ShowMessage queues its text instead of showing a
// box; the queue is shown when the scope ends normally (and dropped when an
// error leaves it). Posting uses it so that no box waits for the user while
// the database is held in a write transaction.
class DeferredMessages {
public:
    DeferredMessages();
    ~DeferredMessages();
    DeferredMessages(const DeferredMessages&) = delete;
    DeferredMessages& operator=(const DeferredMessages&) = delete;

    static DeferredMessages* current() { return s_current; }
    void add(const QString& text) { m_texts << text; }

private:
    static DeferredMessages* s_current;
    DeferredMessages* m_previous;
    QStringList m_texts;
    int m_exceptions;
};
