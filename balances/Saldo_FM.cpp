#include "Saldo_FM.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "SaldoCalc.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <memory>

namespace {

const QString kStart = QStringLiteral("Старт");
const QString kClose = QStringLiteral("Закрыть");

}  // namespace

TSaldoFM::TSaldoFM(QWidget* parent)
    : ModalForm(parent),
      qrSaldo(MainDM->ADOConnection1, QStringLiteral("qrSaldo")),
      qrSetSaldo(MainDM->ADOConnection1, QStringLiteral("qrSetSaldo")) {
    setObjectName(QStringLiteral("SaldoFM"));
    setFixedSize(417, 99);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->reset();

    BitBtn1 = new QPushButton(this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAutoDefault(false);
    BitBtn1->setMinimumWidth(90);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 10, 8, 10);
    layout->addWidget(ProgressBar1);
    layout->addStretch();
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
}

void TSaldoFM::Prepare() {
    setWindowTitle(QStringLiteral("Пересчет остатков"));
    BitBtn1->setText(kStart);

    prepareSaldoQueries(qrSaldo, qrSetSaldo);
}

void TSaldoFM::BitBtn1Click() {
    if (FRunning) {
        return;
    }
    if (BitBtn1->text() == kStart) {
        Recalculate();
    } else {
        done(mrOk);
    }
}

void TSaldoFM::reject() {
    if (!FRunning) {
        ModalForm::reject();
    }
}

void TSaldoFM::Recalculate() {
    const WaitCursor busy;
    BitBtn1->setEnabled(false);
    FRunning = true;
    // Runs on every way out, also when a statement fails part-way.
    const auto finished = qScopeGuard([this] {
        BitBtn1->setText(kClose);
        // Clicks and keys that arrived during the run are delivered now, while
        // the button is still disabled and closing is still refused, so that
        // none of them presses "Закрыть" the moment it appears.
        QCoreApplication::processEvents();
        FRunning = false;
        BitBtn1->setEnabled(true);
        // Disabling took the focus away; "Закрыть" gets it back, so that
        // Enter or Space closes the window.
        BitBtn1->setFocus();
    });

    DbQuery& accounts = MainDM->qrTmp;
    accounts.setSql(QStringLiteral("select * from HeadAccount"));
    accounts.open();
    if (!accounts.isEmpty()) {
        ProgressBar1->setRange(0, accounts.recordCount());
        ProgressBar1->setValue(0);
        for (accounts.first(); !accounts.eof(); accounts.next()) {
            // The account's read and write are one transaction of their own:
            // a failure leaves the accounts written before it as they are.
            recalculateAccount(qrSaldo, qrSetSaldo,
                               accounts.field(QStringLiteral("IdHeadAccount")).asInteger());

            ProgressBar1->setValue(ProgressBar1->value() + 1);
            // Lets the window repaint; input waits until the run is over.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    accounts.close();
}

int ShowSaldoFM() {
    const auto form = std::make_unique<TSaldoFM>();
    form->Prepare();
    return form->exec();
}
