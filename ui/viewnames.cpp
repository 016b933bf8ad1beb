// View-object display names. The look-ups run on the financial connection's general query
// and reach the kernel tables by three-part name; a missing row is no error (empty name).
#include "ui/viewnames.h"

#include "data/fm_yycwdata.h"
#include "framework/db/query.h"
#include "plugin/dllparams.h"

#include <QRegularExpression>

namespace {

const QString kSaler = QStringLiteral("S");
const QString kDept = QStringLiteral("D");

// Runs the two-line look-up on CommonQuery and returns `column` of the first row.
QString lookUp(const QString& line1, const QString& line2, const QString& column) {
    db::Query* q = fm_YYCWData->CommonQuery;
    q->Close();
    q->SQL().clear();
    q->SQL().append(line1);
    q->SQL().append(line2);
    q->Open();
    if (q->IsEmpty())
        return QString();
    return q->FieldByName(column)->AsString();
}

QString kernelTable(const QString& table) {
    return sqlDatabasePart(DllParams.MiskernelDbName.text()) + QStringLiteral(".dbo.") + table +
           QLatin1Char(' ');
}

void departmentName(const QString& id, QString& prefix, QString& name) {
    name = lookUp(QStringLiteral("Select deptname from ") + kernelTable(QStringLiteral("dept")),
                  QStringLiteral("where deptid='") + sqlQuotedBody(id) + QLatin1Char('\''),
                  QStringLiteral("deptname"));
    prefix = QStringLiteral("部门/");
}

}  // namespace

QString sqlQuotedBody(const QString& id) {
    // An id with a quote would otherwise end the literal and run the rest as SQL.
    QString out = id;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return out;
}

QString sqlDatabasePart(const QString& dbName) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    // Already a bracketed name: "[" and "]" around a text whose every "]" is doubled.
    static const QRegularExpression bracketed(QStringLiteral("^\\[([^\\]]|\\]\\])+\\]$"));
    if (plain.match(dbName).hasMatch() || bracketed.match(dbName).hasMatch())
        return dbName;
    QString inner = dbName;
    inner.replace(QLatin1Char(']'), QStringLiteral("]]"));
    return QLatin1Char('[') + inner + QLatin1Char(']');
}

void GetViewObjectName(const QString& id, QString& prefix, QString& name) {
    // The kind is compared as a whole and with case: "S " or "s" is the whole company.
    const QString kind = DllParams.ViewKind.text();
    if (kind == kSaler) {
        name =
            lookUp(QStringLiteral("Select username from ") + kernelTable(QStringLiteral("users")),
                   QStringLiteral("where userid='") + sqlQuotedBody(id) + QLatin1Char('\''),
                   QStringLiteral("username"));
        prefix = QStringLiteral("业务员/");
    } else if (kind == kDept) {
        departmentName(id, prefix, name);
    } else {
        prefix.clear();
        name = QStringLiteral("全公司");
    }
}

void GetCwViewObjectName(int year, const QString& id, QString& prefix, QString& name) {
    const QString kind = DllParams.ViewKind.text();
    if (kind == kSaler) {
        name = fm_YYCWData->GetCwDeptName(year, id);
        prefix = QStringLiteral("业务员/");
    } else if (kind == kDept) {
        departmentName(id, prefix, name);
    } else {
        prefix.clear();
        name = QStringLiteral("全公司");
    }
}
