#include "CheckResult_FM.h"

#include "FileDialogs.h"
#include "WaitCursor.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TCheckResultFM::TCheckResultFM(QWidget* parent) : ModalForm(parent) {
    setWindowTitle(QStringLiteral("Проверка файла"));
    resize(640, 460);
    tbFindings = new QTextBrowser(this);
    tbFindings->setOpenLinks(false);
    btnClose = new QPushButton(QStringLiteral("&Закрыть"), this);
    btnClose->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tbFindings, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    connect(btnClose, &QPushButton::clicked, this, [this] { done(mrOk); });
}

void TCheckResultFM::ShowReport(const QString& path, const CheckReport& report) {
    QString html = QStringLiteral("<p>Файл: %1</p>").arg(path.toHtmlEscaped());
    if (report.healthy()) {
        html += QStringLiteral("<h3>Ошибок не найдено</h3>");
    }
    for (const Finding& f : report.findings) {
        html += QStringLiteral("<h3>%1: %2</h3><ul>").arg(f.title.toHtmlEscaped()).arg(f.total);
        int shown = 0;
        for (const QString& row : f.rows) {
            if (!row.isEmpty()) {
                html += QStringLiteral("<li>%1</li>").arg(row.toHtmlEscaped());
                ++shown;
            }
        }
        if (f.total > shown && shown > 0) {
            html += QStringLiteral("<li>... и еще %1</li>").arg(f.total - shown);
        }
        html += QStringLiteral("</ul>");
    }
    if (report.damaged()) {
        html += QStringLiteral("<p>%1</p>").arg(damagedFileAdvice(path).toHtmlEscaped());
    } else if (!report.healthy()) {
        html += QStringLiteral(
                    "<p>Найдено проблем: %1. То, что не требует вашего решения, "
                    "исправит команда, когда программа закрыта:</p><pre>"
                    "dorsanti-db check %2 --repair</pre>")
                    .arg(report.findings.size())
                    .arg(shellQuoted(path).toHtmlEscaped());
    }
    tbFindings->setHtml(html);
}

void ShowCheckResultFM(const QString& path, QWidget* parent) {
    CheckReport report;
    {
        WaitCursor wait;
        report = checkDatabase(path);
    }
    TCheckResultFM form(parent);
    form.ShowReport(path, report);
    form.btnClose->setFocus();
    form.exec();
}
