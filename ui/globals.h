// State the statement window shares with the print run, the dialogs and the start-up:
// the main window and find dialog references, the server date read at window creation,
// and what the last statistics run left for the report.
#pragma once

#include <QString>
#include <QtGlobal>

class Tfrmmain;
class TfrmLoc;

// Set by the start-up once the window is built; cleared when that window is destroyed, so
// nothing can reach a freed window through it.
extern Tfrmmain* frmmain;
// The find dialog while it is open.
extern TfrmLoc* frmLoc;

// The database server's date when the main window was created (month 1-12).
extern quint16 ServerYear;
extern quint16 ServerMonth;
extern quint16 ServerDay;

// Query option selected at the last statistics attempt: 0 all shipments, 1 unreceived part.
extern qint32 QueryOption;
// The period in words of the last run that opened its result.
extern QString PeriodText;
// The view object's display text of the last run that got as far as naming it.
extern QString ViewObjectText;

// Reads the server's current date over the financial connection's general query.
void GetServerDate(quint16& year, quint16& month, quint16& day);
