-- Export profit and loss: one row per shipment of the months @year1/@month1..@year2/@month2.
-- @ViewObject "D" keeps department @deptid; "S" keeps salesperson @salerid, a kernel user id
-- for periods starting before 2004 and a financial group code from 2004 on; anything else
-- is the whole company. @queryOption 1 keeps shipments whose foreign exchange is not yet
-- fully received. lirun = income - freight - premium - commission - cost (RMB);
-- lirun_true = the share of lirun of the part not yet received; shouhui = received USD.

-- One statement and no result table, so the server keeps it prepared between calls: the
-- computed columns are cast to the types the window reads (MONEY, CHAR(2), VARCHAR(20)),
-- which types them as SQL Server would. The parameters are read once, in p. One branch per
-- kind of view object, each able to use its own index. The receipts are
-- summed once per shipment: OFFSET 0 keeps SQLite from folding the inner select into this
-- one, which would copy the sum's subquery into every expression that uses recv_usd.
WITH p AS (
    SELECT CAST(@year1 AS INT) * 100 + CAST(@month1 AS INT) AS ym1,
           CAST(@year2 AS INT) * 100 + CAST(@month2 AS INT) AS ym2,
           CAST(@year1 AS INT) AS y1,
           coalesce(@ViewObject, '') AS kind,
           trim(coalesce(@deptid, '')) AS deptid,
           trim(coalesce(@salerid, '')) AS salerid,
           coalesce(CAST(@queryOption AS INT), 0) AS opt)
SELECT invoiceno,
       CAST(CASE WHEN recv_usd < srUSD THEN '*' ELSE '' END AS CHAR(2)) AS UnExchTag,
       CAST(deptname AS VARCHAR(20)) AS dept,
       srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB, yjUSD, yjRMB, cb, value_no,
       CAST(lirun AS MONEY) AS lirun,
       CAST(lirun * CASE WHEN srUSD > 0 AND recv_usd < srUSD
                         THEN (srUSD - recv_usd) / srUSD ELSE 0 END AS MONEY) AS lirun_true,
       CAST(recv_usd AS MONEY) AS shouhui
  FROM (SELECT s.*, coalesce(d.deptname, s.dept) AS deptname,
               s.srRMB - s.yfRMB - s.bfRMB - s.yjRMB - s.cb AS lirun,
               (SELECT total(r.usd) FROM yw_receipts r WHERE r.invoiceno = s.invoiceno) AS recv_usd
          FROM (SELECT s.* FROM p JOIN shipment s
                    ON s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind NOT IN ('D', 'S')
                UNION ALL
                SELECT s.* FROM p JOIN shipment s
                    ON s.dept = p.deptid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'D'
                UNION ALL
                SELECT s.* FROM p JOIN shipment s
                    ON s.salerid = p.salerid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'S' AND p.y1 < 2004
                UNION ALL
                SELECT s.* FROM p JOIN shipment s
                    ON s.cwdept = p.salerid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'S' AND p.y1 >= 2004) s
          LEFT JOIN ywdept d ON d.deptid = s.dept
         LIMIT -1 OFFSET 0)
 WHERE (SELECT opt FROM p) <> 1 OR recv_usd < srUSD
 ORDER BY invoiceno;
