// A procedure call written as one T-SQL batch. The client library's remote-call interface
// cannot send an empty string (it goes as NULL), so calls are sent as
//   DECLARE @p1 ...; EXEC @RETURN_VALUE = [dbo].[X] @a = 'text', @b = 2005, @c = @p1 OUTPUT;
//   SELECT @RETURN_VALUE, @p1
// with every input a literal of its declared type and the outputs read back from the last
// row set. Plain data in and out; nothing here talks to a server.
#pragma once

#include "framework/db/query.h"

#include <QString>
#include <vector>

namespace db::tds {

struct CallBatch {
    QString text;
    // Parameter index of each column of the final SELECT, in order; empty when the call
    // has no outputs and no return value to read (the batch then has no final SELECT).
    std::vector<int> readBack;
};

// EInvalidOperation for a procedure or parameter name that is not a plain identifier;
// EConvertError for a value that is no literal of its declared type.
CallBatch callBatch(const QString& procedure, const std::vector<Param>& params);

// The value of an input as a T-SQL literal: 'text' with quotes doubled, 2005, 1.5E0,
// 12.3456 (currency, exact), '2005-03-04T09:41:07.000', NULL.
QString sqlLiteral(const Param& param);

// "dbo.X" as [dbo].[X]; a part already in brackets stays as it is.
QString quotedObjectName(const QString& name);

}  // namespace db::tds
