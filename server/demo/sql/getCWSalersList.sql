-- The financial system's salespersons and groups of one year, always in code order.
SELECT cDepCode, cdepname FROM cw_dept WHERE iyear = CAST(@curyear AS INT) ORDER BY cDepCode;
