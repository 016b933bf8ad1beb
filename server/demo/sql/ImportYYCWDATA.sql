-- Copies the financial system's foreign-exchange receipts of the years @year1..@year2 into
-- yw_receipts, the table the statistics read, writing only rows that differ. The triggers
-- on cw_receipts mark every changed receipt with a rising version, and yw_import_years
-- keeps the version each year was last imported at: a range with a year never imported
-- takes a full pass over its receipts, any other only the receipts marked since its
-- oldest import, so importing again with nothing changed reads a handful of rows.

-- First, because it writes: taking the write lock before any read means no other writer
-- can commit between what this import reads and what it writes. Drops the marks that every
-- imported year has already taken.
DELETE FROM cw_receipts_changes
 WHERE version < (SELECT min(version) FROM yw_import_years);

CREATE TEMP TABLE import_param AS
SELECT y1, y2,
       (SELECT coalesce(max(version), 0) FROM cw_receipts_changes) AS now,
       (SELECT count(*) FROM yw_import_years WHERE iyear BETWEEN y1 AND y2)
           < y2 - y1 + 1 AS fullpass,
       (SELECT min(version) FROM yw_import_years WHERE iyear BETWEEN y1 AND y2) AS since
  FROM (SELECT CAST(@year1 AS INT) AS y1, CAST(@year2 AS INT) AS y2);

-- The CROSS JOINs keep the one-row import_param outermost (and the marks before the
-- receipts), so a branch that does not apply reads nothing.

-- Full pass: every receipt of the range.
DELETE FROM yw_receipts
 WHERE receipt_id IN (
       SELECT y.receipt_id FROM import_param p CROSS JOIN yw_receipts y
        WHERE p.fullpass AND y.iyear BETWEEN p.y1 AND p.y2
          AND NOT EXISTS (SELECT 1 FROM cw_receipts c
                           WHERE c.receipt_id = y.receipt_id
                             AND c.iyear BETWEEN p.y1 AND p.y2));
INSERT OR REPLACE INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
  FROM import_param p CROSS JOIN cw_receipts c
 WHERE p.fullpass AND c.iyear BETWEEN p.y1 AND p.y2
   AND NOT EXISTS (SELECT 1 FROM yw_receipts y
                    WHERE y.receipt_id = c.receipt_id AND y.iyear = c.iyear
                      AND y.invoiceno = c.invoiceno AND y.usd = c.usd AND y.rmb = c.rmb);

-- Otherwise: only the receipts marked since the range's oldest import.
DELETE FROM yw_receipts
 WHERE receipt_id IN (
       SELECT y.receipt_id
         FROM import_param p CROSS JOIN cw_receipts_changes ch CROSS JOIN yw_receipts y
        WHERE NOT p.fullpass AND ch.version > p.since AND y.receipt_id = ch.receipt_id
          AND y.iyear BETWEEN p.y1 AND p.y2
          AND NOT EXISTS (SELECT 1 FROM cw_receipts c
                           WHERE c.receipt_id = y.receipt_id
                             AND c.iyear BETWEEN p.y1 AND p.y2));
INSERT OR REPLACE INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
  FROM import_param p CROSS JOIN cw_receipts_changes ch CROSS JOIN cw_receipts c
 WHERE NOT p.fullpass AND ch.version > p.since AND c.receipt_id = ch.receipt_id
   AND c.iyear BETWEEN p.y1 AND p.y2
   AND NOT EXISTS (SELECT 1 FROM yw_receipts y
                    WHERE y.receipt_id = c.receipt_id AND y.iyear = c.iyear
                      AND y.invoiceno = c.invoiceno AND y.usd = c.usd AND y.rmb = c.rmb);

-- Every year of the range is now imported at this version. A range of 10000 years or more
-- is not recorded, so it keeps taking full passes.
WITH RECURSIVE years(iyear) AS (
    SELECT y1 FROM import_param WHERE y2 - y1 < 10000
    UNION ALL
    SELECT years.iyear + 1 FROM years, import_param WHERE years.iyear < import_param.y2)
INSERT OR REPLACE INTO yw_import_years(iyear, version)
SELECT y.iyear, p.now FROM import_param p CROSS JOIN years y
 WHERE NOT EXISTS (SELECT 1 FROM yw_import_years r
                    WHERE r.iyear = y.iyear AND r.version = p.now);
