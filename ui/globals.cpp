// Definitions of the statement window's shared globals and the server-date routine.
// The date comes from the server, not the local clock, so every station shows the same
// default period.
#include "ui/globals.h"

#include "data/fm_yycwdata.h"
#include "framework/db/query.h"

#include <QDateTime>

Tfrmmain* frmmain = nullptr;
TfrmLoc* frmLoc = nullptr;

quint16 ServerYear = 0;
quint16 ServerMonth = 0;
quint16 ServerDay = 0;

qint32 QueryOption = 0;
QString PeriodText;
QString ViewObjectText;

void GetServerDate(quint16& year, quint16& month, quint16& day) {
    // The query stays open afterwards; its next user replaces the statement.
    db::Query* q = fm_YYCWData->CommonQuery;
    q->Close();
    q->SQL().clear();
    q->SQL().append(QStringLiteral("select getDate()"));
    q->Open();
    const QDate d = q->fieldAt(0)->AsDateTime().date();
    year = static_cast<quint16>(d.year());
    month = static_cast<quint16>(d.month());
    day = static_cast<quint16>(d.day());
}
