// Procedure calls as batches. Names are checked, never pasted as they come, and every value
// is a literal: text is quoted with its quotes doubled, numbers are written by us, so no
// input can end a literal or add a statement.
#include "framework/db/drivers/freetds/callbatch.h"

#include "framework/db/money.h"
#include "framework/text/errors.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

namespace db::tds {

namespace {

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('#') ||
           c == QLatin1Char('@') || c == QLatin1Char('$');
}

bool isPlainName(const QString& s) {
    if (s.isEmpty() || s.front().isDigit())
        return false;
    for (QChar c : s) {
        if (!isNameChar(c))
            return false;
    }
    return true;
}

// "[" text "]" with every "]" inside doubled.
bool isBracketed(const QString& s) {
    if (s.size() < 3 || s.front() != QLatin1Char('[') || s.back() != QLatin1Char(']'))
        return false;
    for (qsizetype i = 1; i < s.size() - 1; ++i) {
        if (s[i] != QLatin1Char(']'))
            continue;
        if (i + 1 >= s.size() - 1 || s[i + 1] != QLatin1Char(']'))
            return false;
        ++i;
    }
    return true;
}

QString parameterName(const Param& p) {
    if (p.Name.size() < 2 || p.Name.front() != QLatin1Char('@') || !isPlainName(p.Name.mid(1)))
        throw EInvalidOperation(
            QStringLiteral("Parameter name '%1' cannot be sent to the server").arg(p.Name));
    return p.Name;
}

QString declaredType(FieldType t) {
    switch (t) {
        case FieldType::Integer:
            return QStringLiteral("bigint");
        case FieldType::Float:
            return QStringLiteral("float");
        case FieldType::Currency:
            return QStringLiteral("money");
        case FieldType::DateTime:
            return QStringLiteral("datetime");
        case FieldType::Memo:
            return QStringLiteral("varchar(max)");
        case FieldType::String:
            break;
    }
    return QStringLiteral("varchar(8000)");
}

QString currencyText(std::int64_t units) {
    const bool negative = units < 0;
    const unsigned __int128 a =
        negative ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(units)
                 : static_cast<unsigned __int128>(units);
    return (negative ? QStringLiteral("-") : QString()) + decimalDigits(a / 10000) +
           QLatin1Char('.') +
           QStringLiteral("%1").arg(static_cast<int>(a % 10000), 4, 10, QLatin1Char('0'));
}

QString floatText(const Param& p) {
    const double v = paramFloat(p);
    if (!std::isfinite(v))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value for "
                                           "parameter %2")
                                .arg(p.Value.toString(), p.Name));
    QString s = QString::number(v, 'g', QLocale::FloatingPointShortest);
    // With an exponent the server reads the literal as float, not as a decimal number.
    if (!s.contains(QLatin1Char('e')))
        s += QStringLiteral("E0");
    return s;
}

QString textLiteral(const Param& p, const QString& text) {
    if (text.contains(QChar(0)))
        throw EConvertError(
            QStringLiteral("Text with a NUL character cannot be sent for parameter %1")
                .arg(p.Name));
    QString body = text;
    body.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + body + QLatin1Char('\'');
}

}  // namespace

QString sqlLiteral(const Param& p) {
    if (p.Value.isNull() || !p.Value.isValid())
        return QStringLiteral("NULL");
    switch (p.DataType) {
        case FieldType::Integer:
            return QString::number(paramInteger(p));
        case FieldType::Float:
            return floatText(p);
        case FieldType::Currency:
            return currencyText(paramCurrencyUnits(p));
        case FieldType::DateTime: {
            // ISO text with 'T' reads the same whatever the server's date format setting.
            const QDateTime at = p.Value.toDateTime();
            if (!at.isValid())
                throw EConvertError(QStringLiteral("'%1' is not a valid date and time for "
                                                   "parameter %2")
                                        .arg(p.Value.toString(), p.Name));
            return textLiteral(p, at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")));
        }
        case FieldType::String:
        case FieldType::Memo:
            break;
    }
    return textLiteral(p, p.Value.toString());
}

QString quotedObjectName(const QString& name) {
    const QStringList parts = name.trimmed().split(QLatin1Char('.'));
    if (parts.size() > 4)
        throw EInvalidOperation(QStringLiteral("Procedure name '%1' cannot be sent").arg(name));
    QStringList quoted;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts[i].trimmed();
        const bool last = i == parts.size() - 1;
        if (part.isEmpty() && !last && i > 0) {
            quoted << QString();  // "db..proc": the default schema
        } else if (isBracketed(part)) {
            quoted << part;
        } else if (isPlainName(part)) {
            quoted << QLatin1Char('[') + part + QLatin1Char(']');
        } else {
            throw EInvalidOperation(QStringLiteral("Procedure name '%1' cannot be sent").arg(name));
        }
    }
    return quoted.join(QLatin1Char('.'));
}

CallBatch callBatch(const QString& procedure, const std::vector<Param>& params) {
    CallBatch batch;
    QStringList declarations;
    QStringList presets;
    QStringList arguments;
    QStringList readBack;
    int resultIndex = -1;
    int variable = 0;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& p = params[i];
        if (p.Type == ParamType::Result) {
            resultIndex = static_cast<int>(i);
            continue;
        }
        const QString name = parameterName(p);
        if (p.Type == ParamType::Input) {
            arguments << name + QStringLiteral(" = ") + sqlLiteral(p);
            continue;
        }
        const QString var = QStringLiteral("@p%1").arg(++variable);
        declarations << var + QLatin1Char(' ') + declaredType(p.DataType);
        if (p.Type == ParamType::InputOutput)
            presets << QStringLiteral("SET ") + var + QStringLiteral(" = ") + sqlLiteral(p) +
                           QLatin1Char(';');
        arguments << name + QStringLiteral(" = ") + var + QStringLiteral(" OUTPUT");
        readBack << var;
        batch.readBack.push_back(static_cast<int>(i));
    }
    if (resultIndex >= 0) {
        declarations << QStringLiteral("@RETURN_VALUE int");
        readBack.prepend(QStringLiteral("@RETURN_VALUE"));
        batch.readBack.insert(batch.readBack.begin(), resultIndex);
    }

    QString text;
    if (!declarations.isEmpty())
        text += QStringLiteral("DECLARE ") + declarations.join(QStringLiteral(", ")) +
                QStringLiteral(";\n");
    for (const QString& s : presets) text += s + QLatin1Char('\n');
    text += QStringLiteral("EXEC ");
    if (resultIndex >= 0)
        text += QStringLiteral("@RETURN_VALUE = ");
    text += quotedObjectName(procedure);
    if (!arguments.isEmpty())
        text += QLatin1Char(' ') + arguments.join(QStringLiteral(", "));
    text += QLatin1Char(';');
    if (!readBack.isEmpty())
        text +=
            QStringLiteral("\nSELECT ") + readBack.join(QStringLiteral(", ")) + QLatin1Char(';');
    batch.text = text;
    return batch;
}

}  // namespace db::tds
