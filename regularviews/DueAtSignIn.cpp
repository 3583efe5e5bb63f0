#include "DueAtSignIn.h"

#include "Dialogs.h"
#include "Main_DM.h"
#include "RegularDocuments.h"

void createDueDocumentsAtSignIn(QDate today) {
    guarded([today] {
        const qsizetype made = createDueDocuments(MainDM->ADOConnection1, today).size();
        if (made > 0) {
            ShowMessage(QStringLiteral("Созданы регулярные документы: %1").arg(made));
        }
    });
}
