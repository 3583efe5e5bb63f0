#pragma once

#include "Db.h"
#include "ImageList.h"
#include "Placeholders.h"

#include <QObject>
#include <QString>

// The data module: the program's one connection, the scratch objects that
// every window shares, the pictures of the reference-book tool bars and the
// fields of the signed-in session. Exactly one exists, MainDM, created before
// any window.
class TMainDM : public QObject {
    Q_OBJECT
public:
    explicit TMainDM(QObject* parent = nullptr);
    ~TMainDM() override;

    DbConnection ADOConnection1;
    // Scratch query for one-off reads and every insert, update and delete.
    // Not re-entrant: a caller walking its rows uses other queries inside.
    DbQuery qrTmp;
    // 16-by-16 pictures: 0 add, 1 edit, 2 delete.
    ImageList ImageList1;
    DbQuery cmdTmp;
    DbQuery dstTmp;

    QString UserName;
    int IdUser = 0;
    QString FullName;
    int IdSession = 0;
    // Held from sign-in to the end of the session: tells other programs on the
    // same file that this session's placeholders are still in use.
    LiveSession SessionMark;

    // Stamps the end of the current session; an error is raised, not shown.
    void CloseSession();
};

extern TMainDM* MainDM;
