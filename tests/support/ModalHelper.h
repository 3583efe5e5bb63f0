#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <functional>

// Drives the modal windows that a step of a test opens: dialogs, editors and
// message boxes, as a person would answer them. Every box shown is recorded
// with its icon, buttons and text.
//
// Steps are queued before the test runs the code that opens the windows:
//   ModalHelper mh;
//   mh.answer(QMessageBox::Yes);                       // the next question
//   mh.onNext<TValutaEditFM>([](TValutaEditFM* f) {   // the next editor
//       QTest::keyClicks(f->Edit1, "RUB");
//       f->BitBtn1->click();
//   });
//   ShowDictFM(false, 1, 0);                           // blocks until closed
//
// Information and error boxes that no step claims are answered with OK. A
// question that no step claims is answered No and counted as unexpected, as is
// any other window that no step claims (it is closed).
class ModalHelper : public QObject {
    Q_OBJECT
public:
    struct Box {
        QMessageBox::Icon icon;
        QString text;
        QStringList buttons;
    };

    explicit ModalHelper(int timeoutMs = 20000);
    ~ModalHelper() override;

    template <class T>
    void onNext(std::function<void(T*)> step) {
        m_steps.push_back({&T::staticMetaObject, [step](QWidget* w) {
                               step(static_cast<T*>(w));
                           }});
    }
    // Answers the next question box with this button.
    void answer(QMessageBox::StandardButton button);
    // Claims the next message box of any kind and presses the button.
    void press(QMessageBox::StandardButton button) { answer(button); }

    const QList<Box>& boxes() const { return m_boxes; }
    QStringList texts() const;
    // Texts of the boxes shown since the last call, and forgets them.
    QStringList takeTexts();
    // Windows and questions that no step claimed.
    const QStringList& unexpected() const { return m_unexpected; }
    // Steps still waiting for their window.
    int pending() const { return int(m_steps.size()); }
    bool timedOut() const { return m_timedOut; }

    // Presses a button after the current event handler returns, for steps that
    // must leave the window before it opens a nested one.
    static void clickLater(QWidget* button);

private:
    struct Step {
        const QMetaObject* type;  // nullptr: a message box answer
        std::function<void(QWidget*)> act;
    };
    void poll();
    void handle(QWidget* modal);

    QList<Step> m_steps;
    QList<Box> m_boxes;
    int m_taken = 0;
    QStringList m_unexpected;
    QList<QPointer<QWidget>> m_seenAlive;
    qint64 m_deadline;
    bool m_timedOut = false;
    bool m_stopped = false;
};
