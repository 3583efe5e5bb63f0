#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>

namespace {

QString runDialog(QFileDialog& dialog, const QString& current) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!current.isEmpty()) {
        const QFileInfo info(current);
        dialog.setDirectory(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
        if (!info.isDir()) {
            dialog.selectFile(info.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

}  // namespace

QString askSaveFileName(QWidget* parent, const QString& title, const QString& current,
                        const QString& filter, const QString& suffix) {
    QFileDialog dialog(parent, title, QDir::homePath(), filter);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    return runDialog(dialog, current);
}

QString askFolder(QWidget* parent, const QString& title, const QString& current) {
    QFileDialog dialog(parent, title, QDir::homePath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return runDialog(dialog, current);
}

QString shellQuoted(const QString& path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:@%=-]+$"));
    if (plain.match(path).hasMatch()) {
        return path;
    }
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
