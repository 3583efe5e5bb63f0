// A test helper loaded into the installed program through Qt's own plugin
// mechanism for input devices (QT_QPA_GENERIC_PLUGINS). It plays a person's
// first minutes with Dorsanti and writes what it saw, one line per step, to a
// report file; the program itself is not changed in any way.
//
//   QT_PLUGIN_PATH=<folder with generic/libdorsantidriver.so>
//   QT_QPA_GENERIC_PLUGINS="dorsantidriver:report=FILE;user=NAME;dialogs"
//
// At the sign-in dialog it notes the user name, the path and the focus, opens
// and closes the file dialog ("dialogs"), puts NAME into the user name box
// when given, and presses Enter where the focus is. In the main window it
// opens the status colours, their colour dialog (adding a custom colour), and
// closes them ("dialogs"); then it closes the main window. Every message box
// is noted and answered with its default button.

#include <unistd.h>
#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class Driver : public QObject {
public:
    explicit Driver(const QString& script) {
        for (const QString& part : script.split(QLatin1Char(';'))) {
            const int eq = int(part.indexOf(QLatin1Char('=')));
            const QString key = eq < 0 ? part : part.left(eq);
            const QString value = eq < 0 ? QString() : part.mid(eq + 1);
            if (key == QLatin1String("report")) {
                m_report.setFileName(value);
            } else if (key == QLatin1String("user")) {
                m_user = value;
                m_setUser = true;
            } else if (key == QLatin1String("dialogs")) {
                m_dialogs = true;
            }
        }
        m_report.open(QIODevice::WriteOnly | QIODevice::Append);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.start(25);
        m_ticksLeft = 60 * 1000 / 25;
    }

private:
    void note(const QString& line) {
        m_report.write((line + QLatin1Char('\n')).toUtf8());
        m_report.flush();
    }
    // Steps run after the tick returns: a step may open a modal window, whose
    // own event loop then runs the next ticks.
    template <class F>
    static void later(F f) {
        QMetaObject::invokeMethod(qApp, f, Qt::QueuedConnection);
    }

    void tick() {
        if (--m_ticksLeft <= 0) {
            note(QStringLiteral("timeout"));
            ::_exit(3);
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (m_answered.contains(box)) {
                return;
            }
            m_answered << box;
            note(QStringLiteral("box: ") + box->text());
            later([box = QPointer<QMessageBox>(box)] {
                if (box) {
                    box->done(box->defaultButton() ? box->standardButton(box->defaultButton())
                                                   : QMessageBox::Ok);
                }
            });
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            if (m_step != Step::FileDialog) {
                return;
            }
            m_step = Step::SignIn;
            note(QStringLiteral("file dialog: ") + files->windowTitle());
            later([files = QPointer<QFileDialog>(files)] {
                if (files) {
                    files->reject();
                }
            });
        } else if (auto* colours = qobject_cast<QColorDialog*>(modal)) {
            if (m_step != Step::ColourDialog) {
                return;
            }
            m_step = Step::CloseColours;
            note(QStringLiteral("colour dialog: ") + colours->windowTitle());
            for (QPushButton* b : colours->findChildren<QPushButton*>()) {
                if (!qobject_cast<QDialogButtonBox*>(b->parentWidget()) &&
                    b->text().contains(QStringLiteral("Добав"))) {
                    note(QStringLiteral("custom colour: ") + b->text());
                    b->click();
                }
            }
            later([colours = QPointer<QColorDialog>(colours)] {
                if (colours) {
                    colours->reject();
                }
            });
        } else if (modal && modal->findChild<QLineEdit*>(QStringLiteral("edLogin"))) {
            signIn(modal);
        } else if (modal && modal->findChild<QColorDialog*>()) {
            auto* dialog = modal->findChild<QColorDialog*>();
            if (m_step == Step::ColourWindow) {
                m_step = Step::ColourDialog;
                note(QStringLiteral("colour window: ") + modal->windowTitle());
                later([dialog = QPointer<QColorDialog>(dialog)] {
                    if (dialog) {
                        dialog->exec();
                    }
                });
            } else if (m_step == Step::CloseColours) {
                m_step = Step::CloseMain;
                later([modal = QPointer<QWidget>(modal)] {
                    if (modal) {
                        modal->close();
                    }
                });
            }
        } else if (!modal) {
            mainWindow();
        }
    }

    void signIn(QWidget* dialog) {
        auto* login = dialog->findChild<QLineEdit*>(QStringLiteral("edLogin"));
        QWidget* path = dialog->findChild<QWidget*>(QStringLiteral("feDB"));
        if (!dialog->isActiveWindow()) {
            // The focus is set when the window becomes active: by itself when
            // it opens, by a click into it after the file dialog closed.
            if (m_step != Step::Start) {
                dialog->activateWindow();
            }
            return;
        }
        QWidget* focus = QApplication::focusWidget();
        const QString focusName = focus ? focus->objectName() : QStringLiteral("none");
        if (m_step == Step::Start) {
            note(QStringLiteral("sign-in: %1 user=[%2] path=[%3] focus=%4")
                     .arg(dialog->windowTitle(), login->text(),
                          path->findChild<QLineEdit*>()->text(), focusName));
            m_step = m_dialogs ? Step::FileDialog : Step::SignIn;
            if (m_dialogs) {
                QToolButton* browse = path->findChild<QToolButton*>();
                later([browse = QPointer<QToolButton>(browse)] {
                    if (browse) {
                        browse->click();
                    }
                });
            }
        } else if (m_step == Step::SignIn) {
            m_step = m_dialogs ? Step::ColourWindow : Step::CloseMain;
            if (m_setUser) {
                login->setText(m_user);
            }
            note(QStringLiteral("Enter in ") + focusName);
            later([] {
                if (QWidget* focus = QApplication::focusWidget()) {
                    QTest::keyClick(focus, Qt::Key_Return);
                }
            });
        }
    }

    void mainWindow() {
        QMainWindow* main = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMainWindow*>(w) && w->isVisible()) {
                main = qobject_cast<QMainWindow*>(w);
            }
        }
        if (!main) {
            return;
        }
        if (m_step == Step::ColourWindow && !m_coloursAsked) {
            m_coloursAsked = true;
            note(QStringLiteral("main window: ") + main->windowTitle());
            QAction* colours = main->findChild<QAction*>(QStringLiteral("acColor"));
            later([colours = QPointer<QAction>(colours)] {
                if (colours) {
                    colours->trigger();
                }
            });
        } else if (m_step == Step::CloseMain) {
            note(QStringLiteral("main window closes: ") + main->windowTitle());
            m_step = Step::Done;
            later([main = QPointer<QMainWindow>(main)] {
                if (main) {
                    main->close();
                }
            });
        }
    }

    enum class Step {
        Start,
        FileDialog,
        SignIn,
        ColourWindow,
        ColourDialog,
        CloseColours,
        CloseMain,
        Done
    };

    QFile m_report;
    QString m_user;
    bool m_setUser = false;
    bool m_dialogs = false;
    Step m_step = Step::Start;
    bool m_coloursAsked = false;
    QList<QMessageBox*> m_answered;
    QTimer m_timer;
    int m_ticksLeft = 0;
};

}  // namespace

class DriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "driver.json")
public:
    QObject* create(const QString& key, const QString& script) override {
        return key == QLatin1String("dorsantidriver") ? new Driver(script) : nullptr;
    }
};

#include "SignInDriver.moc"
