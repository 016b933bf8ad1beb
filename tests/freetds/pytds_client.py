"""An independent TDS client (python-tds, pure Python) against the loopback test server.

Usage: pytds_client.py PORT. Logs in, runs the batches "select every type" and "select not
null", calls dbo.CheckInputs with an empty string, a text, an integer and an output, runs
"select error", and prints one JSON object with what it read, for the C++ test to compare.
"""
import datetime
import decimal
import json
import sys

import pytds


def shown(v):
    if v is None:
        return "NULL"
    if isinstance(v, bool):
        return str(v)
    if isinstance(v, float):
        return repr(v)
    if isinstance(v, (datetime.datetime, datetime.date)):
        return v.isoformat()
    if isinstance(v, decimal.Decimal):
        return str(v)
    return str(v)


def rows_of(cursor, sql):
    cursor.execute(sql)
    return [[shown(v) for v in row] for row in cursor.fetchall()]


def main():
    port = int(sys.argv[1])
    out = {}
    with pytds.connect("127.0.0.1", port=port, user="sa", password="", database="Calvesteri",
                       autocommit=True, login_timeout=5, timeout=5) as conn:
        with conn.cursor() as cur:
            out["every"] = rows_of(cur, "select every type")
            out["notnull"] = rows_of(cur, "select not null")
            result = cur.callproc("dbo.CheckInputs",
                                  ("", "0301", 2005, pytds.output(param_type=int, value=None)))
            out["outputs"] = [shown(v) for v in result]
            out["return"] = cur.get_proc_return_status()
            try:
                cur.execute("select error")
                out["error"] = "none"
            except pytds.Error as e:
                out["error"] = "%s %s" % (getattr(e, "number", "?"), str(e).splitlines()[0])
    print(json.dumps(out, ensure_ascii=False))


if __name__ == "__main__":
    main()
