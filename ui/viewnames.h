// Display prefix and name of the current view object (kind and id in DllParams), for the
// status bar and the report. Two eras: before 2004 salespersons are kernel users, from 2004
// on they are financial department codes named for a given year.
#pragma once

#include <QString>

// Kernel era: "S" names the kernel user `id`, "D" the kernel department `id`, anything else
// is the whole company. Both out-parameters are always assigned.
void GetViewObjectName(const QString& id, QString& prefix, QString& name);
// Financial era: "S" names the financial department code `id` for `year`.
void GetCwViewObjectName(int year, const QString& id, QString& prefix, QString& name);

// Pieces of the look-up statements, exposed for tests.
// `id` as the body of a single-quoted SQL literal (every ' doubled).
QString sqlQuotedBody(const QString& id);
// The kernel database name as the first part of a three-part name: as it stands when it is
// a plain identifier or already bracketed ("[Mis Core]"), otherwise bracketed with any ]
// doubled, so the text always names exactly the database given.
QString sqlDatabasePart(const QString& dbName);
