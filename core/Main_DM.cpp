#include "Main_DM.h"

#include "Icons.h"

TMainDM* MainDM = nullptr;

TMainDM::TMainDM(QObject* parent)
    : QObject(parent),
      qrTmp(ADOConnection1, QStringLiteral("qrTmp")),
      ImageList1(QSize(16, 16)),
      cmdTmp(ADOConnection1, QStringLiteral("cmdTmp")),
      dstTmp(ADOConnection1, QStringLiteral("dstTmp")) {
    ImageList1.add(Icons::add());
    ImageList1.add(Icons::edit());
    ImageList1.add(Icons::remove());
    MainDM = this;
}

TMainDM::~TMainDM() {
    if (MainDM == this) {
        MainDM = nullptr;
    }
}

void TMainDM::CloseSession() {
    qrTmp.clearSql();
    qrTmp.addSql(QStringLiteral("update sec_Session"));
    qrTmp.addSql(QStringLiteral("set sec_End = :End where sec_IdSession = :IdS"));
    qrTmp.bindDateTime(QStringLiteral("End"), QDateTime::currentDateTime());
    qrTmp.bindInteger(QStringLiteral("IdS"), IdSession);
    qrTmp.execute();
    SessionMark.release();
}
