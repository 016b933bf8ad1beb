-- The six procedures the plug-in calls, for SQL Server, computing what the embedded demo's
-- procedures compute. Run in the business database; batches are separated by GO lines.
CREATE PROCEDURE dbo.StatCalvesteri
    @ViewObject VARCHAR(10), @deptid VARCHAR(10), @salerid VARCHAR(10),
    @year1 VARCHAR(4), @month1 VARCHAR(2), @year2 VARCHAR(4), @month2 VARCHAR(2),
    @queryOption INT
AS
BEGIN
    -- One row per shipment of the months @year1/@month1..@year2/@month2. "D" keeps
    -- department @deptid; "S" keeps salesperson @salerid (a kernel user id before 2004, a
    -- financial group code from 2004 on); anything else is the whole company. Option 1
    -- keeps shipments whose foreign exchange is not yet fully received.
    SET NOCOUNT ON;
    DECLARE @ym1 INT, @ym2 INT, @y1 INT, @kind VARCHAR(10), @dept VARCHAR(10),
            @saler VARCHAR(10), @opt INT;
    SELECT @ym1 = CAST(@year1 AS INT) * 100 + CAST(@month1 AS INT),
           @ym2 = CAST(@year2 AS INT) * 100 + CAST(@month2 AS INT),
           @y1 = CAST(@year1 AS INT),
           @kind = ISNULL(@ViewObject, ''),
           @dept = LTRIM(RTRIM(ISNULL(@deptid, ''))),
           @saler = LTRIM(RTRIM(ISNULL(@salerid, ''))),
           @opt = ISNULL(@queryOption, 0);

    SELECT invoiceno,
           UnExchTag = CAST(CASE WHEN recv_usd < srUSD THEN '*' ELSE '' END AS CHAR(2)),
           dept = CAST(deptname AS VARCHAR(20)),
           srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB, yjUSD, yjRMB, cb, value_no,
           lirun,
           lirun_true = CAST(lirun * CASE WHEN srUSD > 0 AND recv_usd < srUSD
                                          THEN (CAST(srUSD AS FLOAT) - recv_usd) / srUSD
                                          ELSE 0 END AS MONEY),
           shouhui = recv_usd
      FROM (SELECT s.*, deptname = COALESCE(d.deptname, s.dept),
                   lirun = s.srRMB - s.yfRMB - s.bfRMB - s.yjRMB - s.cb,
                   recv_usd = ISNULL(r.usd, 0)
              FROM shipment s
              LEFT JOIN ywdept d ON d.deptid = s.dept
              OUTER APPLY (SELECT usd = SUM(y.usd) FROM yw_receipts y
                            WHERE y.invoiceno = s.invoiceno) r
             WHERE s.ym BETWEEN @ym1 AND @ym2
               AND (@kind NOT IN ('D', 'S')
                    OR (@kind = 'D' AND s.dept = @dept)
                    OR (@kind = 'S' AND @y1 < 2004 AND s.salerid = @saler)
                    OR (@kind = 'S' AND @y1 >= 2004 AND s.cwdept = @saler))) t
     WHERE @opt <> 1 OR recv_usd < srUSD
     ORDER BY invoiceno
    -- Planned for this call's values, so the view object's own index is used.
    OPTION (RECOMPILE);
END
GO
CREATE PROCEDURE dbo.ImportYYCWDATA @year1 VARCHAR(4), @year2 VARCHAR(4)
AS
BEGIN
    -- Copies the financial system's receipts of the years @year1..@year2 into the table the
    -- statistics read, writing only what differs. A range with a year never imported takes
    -- a full pass over its receipts, any other only the receipts the trigger on cw_receipts
    -- marked since the range's oldest import; with nothing marked it reads a few rows.
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    DECLARE @y1 INT, @y2 INT, @now BIGINT, @since BIGINT, @full BIT = 0;
    SELECT @y1 = CAST(@year1 AS INT), @y2 = CAST(@year2 AS INT);
    BEGIN TRANSACTION;
    -- The marks every imported year has already taken.
    DELETE FROM cw_receipts_changes WHERE version < (SELECT MIN(version) FROM yw_import_years);
    SELECT @now = ISNULL(MAX(version), 0) FROM cw_receipts_changes;
    IF (SELECT COUNT(*) FROM yw_import_years WHERE iyear BETWEEN @y1 AND @y2) < @y2 - @y1 + 1
        SET @full = 1;
    ELSE
        SELECT @since = MIN(version) FROM yw_import_years WHERE iyear BETWEEN @y1 AND @y2;

    IF @full = 1
    BEGIN
        DELETE y FROM yw_receipts y
         WHERE y.iyear BETWEEN @y1 AND @y2
           AND NOT EXISTS (SELECT 1 FROM cw_receipts c
                            WHERE c.receipt_id = y.receipt_id AND c.iyear BETWEEN @y1 AND @y2);
        UPDATE y SET iyear = c.iyear, invoiceno = c.invoiceno, usd = c.usd, rmb = c.rmb
          FROM yw_receipts y JOIN cw_receipts c ON c.receipt_id = y.receipt_id
         WHERE c.iyear BETWEEN @y1 AND @y2
           AND (y.iyear <> c.iyear OR y.invoiceno <> c.invoiceno OR y.usd <> c.usd
                OR y.rmb <> c.rmb);
        INSERT INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
        SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
          FROM cw_receipts c
         WHERE c.iyear BETWEEN @y1 AND @y2
           AND NOT EXISTS (SELECT 1 FROM yw_receipts y WHERE y.receipt_id = c.receipt_id);
    END
    ELSE IF @since < @now
    BEGIN
        DELETE y FROM cw_receipts_changes ch JOIN yw_receipts y ON y.receipt_id = ch.receipt_id
         WHERE ch.version > @since AND y.iyear BETWEEN @y1 AND @y2
           AND NOT EXISTS (SELECT 1 FROM cw_receipts c
                            WHERE c.receipt_id = y.receipt_id AND c.iyear BETWEEN @y1 AND @y2);
        UPDATE y SET iyear = c.iyear, invoiceno = c.invoiceno, usd = c.usd, rmb = c.rmb
          FROM cw_receipts_changes ch
          JOIN cw_receipts c ON c.receipt_id = ch.receipt_id
          JOIN yw_receipts y ON y.receipt_id = ch.receipt_id
         WHERE ch.version > @since AND c.iyear BETWEEN @y1 AND @y2
           AND (y.iyear <> c.iyear OR y.invoiceno <> c.invoiceno OR y.usd <> c.usd
                OR y.rmb <> c.rmb);
        INSERT INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
        SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
          FROM cw_receipts_changes ch JOIN cw_receipts c ON c.receipt_id = ch.receipt_id
         WHERE ch.version > @since AND c.iyear BETWEEN @y1 AND @y2
           AND NOT EXISTS (SELECT 1 FROM yw_receipts y WHERE y.receipt_id = c.receipt_id);
    END

    -- Every year of the range is now imported at @now. A range of 10000 years or more is
    -- not recorded, so it keeps taking full passes.
    IF (@full = 1 OR @since < @now) AND @y2 - @y1 < 10000
    BEGIN
        DECLARE @y INT = @y1;
        WHILE @y <= @y2
        BEGIN
            UPDATE yw_import_years SET version = @now WHERE iyear = @y;
            IF @@ROWCOUNT = 0
                INSERT INTO yw_import_years(iyear, version) VALUES (@y, @now);
            SET @y = @y + 1;
        END
    END
    COMMIT;
END
GO
CREATE PROCEDURE dbo.GetCwMaxMinYear
AS
    SELECT minyear = MIN(iyear), maxyear = MAX(iyear) FROM cw_years;
GO
CREATE PROCEDURE dbo.getCWSalersList @curyear INT
AS
    SELECT cDepCode, cdepname FROM cw_dept WHERE iyear = @curyear ORDER BY cDepCode;
GO
CREATE PROCEDURE dbo.CWDept2YWDept_Format1 @curyear INT, @cwdept VARCHAR(10),
                                           @toYWdept VARCHAR(2) OUTPUT
AS
    SET @toYWdept = (SELECT ywdept FROM cw_deptmap
                      WHERE iyear = @curyear AND cDepCode = @cwdept);
GO
CREATE PROCEDURE dbo.getCWDeptName @curyear INT, @cwdept VARCHAR(10)
AS
    SELECT deptname = cdepname FROM cw_dept WHERE iyear = @curyear AND cDepCode = @cwdept;
