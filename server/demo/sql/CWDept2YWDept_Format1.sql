-- The business department a financial group belongs to in one year (NULL when unmapped).
SELECT ywdept AS "@toYWdept" FROM cw_deptmap
 WHERE iyear = CAST(@curyear AS INT) AND cDepCode = @cwdept;
