#include "AppStart.h"

#include "DbSchema.h"
#include "Settings.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace {

// Mends two gaps in Qt's Russian texts: the standard button keeps the Latin
// "OK" (the program's own buttons read "ОК" in Cyrillic), and the file list's
// "Folder" is translated only under the file dialog's name.
class RussianGaps : public QTranslator {
public:
    RussianGaps(const QTranslator* qtTexts, QObject* parent)
        : QTranslator(parent), m_qtTexts(qtTexts) {}
    QString translate(const char* context, const char* source, const char*, int n) const override {
        if (qstrcmp(context, "QPlatformTheme") == 0 && qstrcmp(source, "OK") == 0) {
            return QStringLiteral("ОК");
        }
        if (qstrcmp(context, "QAbstractFileIconProvider") == 0) {
            return m_qtTexts->translate("QFileDialog", source, nullptr, n);
        }
        return {};
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator* m_qtTexts;
};

}  // namespace

void PrepareApplication() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));

    auto* translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        QCoreApplication::installTranslator(new RussianGaps(translator, qApp));
    } else {
        delete translator;
    }

    // Qt's file and colour dialogs keep their history and custom colours in a
    // settings file of Qt's own. The program keeps nothing but its own
    // settings: that file is placed below the program file itself, where no
    // folder can ever be made, so Qt's writes fail quietly and its reads find
    // nothing. The program's own settings do not go through QSettings.
    const QString nowhere = QCoreApplication::applicationFilePath() + QStringLiteral("/none");
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, nowhere);
    }
}

bool CreateFirstDatabase() {
    if (QFileInfo::exists(settingsFilePath())) {
        return false;
    }
    const QString path = defaultDatabasePath();
    const QFileInfo file(path);
    if (file.exists() || file.isSymLink()) {
        return false;
    }
    makeOwnerOnlyFolder(file.absolutePath());
    CreateDatabaseFile(path, NewFileContents::StarterBooks);
    return true;
}
