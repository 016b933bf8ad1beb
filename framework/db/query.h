// Datasets over SQL text and over stored procedures.
#pragma once

#include "framework/db/dataset.h"

#include <QStringList>
#include <QVariant>

namespace db {

class Query : public DataSet {
    Q_OBJECT

public:
    explicit Query(QObject* parent = nullptr);
    QStringList& SQL() { return m_sql; }  // lines joined with "\n" when sent
    const QStringList& SQL() const { return m_sql; }
    void ExecSQL();  // runs the text without keeping rows

protected:
    void fetchRows(RowStore& into) override;

private:
    QStringList m_sql;
};

enum class ParamType { Input, Output, InputOutput, Result };

struct Param {
    QString Name;  // "@year1" or "Result"
    FieldType DataType = FieldType::String;
    ParamType Type = ParamType::Input;
    QVariant Value;  // null QVariant: NULL
    QString AsString() const { return Value.isNull() ? QString() : Value.toString(); }
    std::int64_t AsInteger() const { return Value.isNull() ? 0 : Value.toLongLong(); }
    bool IsNull() const { return Value.isNull(); }
    void SetAsString(const QString& v) { Value = v; }
    void SetAsInteger(std::int64_t v) { Value = QVariant::fromValue<qlonglong>(v); }
    void Clear() { Value = QVariant(); }
};

// A parameter's value as the drivers send it: a whole number (a float is rounded), a
// float, or currency units. EConvertError when the value is no number or lies outside the
// range of its kind (a money value beyond 922337203685477.5807 either way).
std::int64_t paramInteger(const Param& p);
double paramFloat(const Param& p);
std::int64_t paramCurrencyUnits(const Param& p);

class StoredProc : public DataSet {
    Q_OBJECT

public:
    explicit StoredProc(QObject* parent = nullptr);
    const QString& StoredProcName() const { return m_procName; }
    void SetStoredProcName(const QString& name) { m_procName = name; }

    void addParam(const QString& name, FieldType type, ParamType direction);
    std::vector<Param>& Params() { return m_params; }
    Param& ParamByName(const QString& name);  // case-insensitive; "Parameter '%s' not found"
    void ExecProc();  // runs without keeping rows; output values land in Params()

protected:
    void fetchRows(RowStore& into) override;  // Open(): result set + outputs

private:
    QString m_procName;
    std::vector<Param> m_params;
};

}  // namespace db
