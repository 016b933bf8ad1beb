-- Name of a financial group code in one year.
SELECT cdepname AS deptname FROM cw_dept
 WHERE iyear = CAST(@curyear AS INT) AND cDepCode = @cwdept;
