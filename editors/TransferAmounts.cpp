#include "TransferAmounts.h"

#include "Dialogs.h"
#include "EditorUtils.h"

#include <QScopedValueRollback>

TransferAmounts::TransferAmounts(QWidget* parent) : QObject(parent) {
    ceKurs1 = new CurrencyEdit(parent);
    ceValue1 = new CurrencyEdit(parent);
    ceKurs2 = new CurrencyEdit(parent);
    ceValue2 = new CurrencyEdit(parent);
    for (CurrencyEdit* e : {ceKurs1, ceValue1, ceKurs2, ceValue2}) {
        e->setDisplayFormat(QStringLiteral(",0.00;-,0.00"));
    }
    // The accounts take the room; rates and amounts keep their width.
    ceKurs1->setFixedWidth(80);
    ceKurs2->setFixedWidth(80);
    ceValue1->setFixedWidth(130);
    ceValue2->setFixedWidth(130);
    ceKurs1->setValue(1);
    ceKurs2->setValue(1);
}

void TransferAmounts::follow() {
    FCalculating = false;
    FValue1Changed = false;
    FValue2Changed = false;
    if (m_following) {
        return;
    }
    m_following = true;
    auto react = [this](CurrencyEdit* field, void (TransferAmounts::*handler)()) {
        connect(field, &CurrencyEdit::changed, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    react(ceKurs1, &TransferAmounts::ceKurs1Change);
    react(ceKurs2, &TransferAmounts::ceKurs2Change);
    react(ceValue1, &TransferAmounts::ceValue1Change);
    react(ceValue2, &TransferAmounts::ceValue2Change);
}

void TransferAmounts::writeComputed(CurrencyEdit* field, double value) {
    QScopedValueRollback calculating(FCalculating, true);
    field->setValue(value);
}

void TransferAmounts::ceKurs1Change() {
    if (const auto v2 =
            TransferAmountFrom(ceValue1->value(), ceKurs1->value(), ceKurs2->value())) {
        writeComputed(ceValue2, *v2);
    }
}

void TransferAmounts::ceKurs2Change() {
    ceKurs1Change();
}

void TransferAmounts::ceValue1Change() {
    if (FCalculating) {
        return;
    }
    FValue1Changed = true;
    if (!FValue2Changed) {
        // Until the user has typed the second amount, it follows the first
        // as it does after a change of rate.
        ceKurs1Change();
    }
}

void TransferAmounts::ceValue2Change() {
    if (FCalculating) {
        return;
    }
    FValue2Changed = true;
    if (FValue1Changed) {
        return;
    }
    if (const auto v1 =
            TransferAmountFrom(ceValue2->value(), ceKurs2->value(), ceKurs1->value())) {
        writeComputed(ceValue1, *v1);
    }
}
