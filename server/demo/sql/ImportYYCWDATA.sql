-- Copies the financial system's foreign-exchange receipts of the years @year1..@year2 into
-- the table the statistics read. Only rows that differ are written, so importing the same
-- years again changes nothing and costs little.
DELETE FROM yw_receipts
 WHERE iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT)
   AND receipt_id NOT IN (SELECT receipt_id FROM cw_receipts
                           WHERE iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT));
INSERT OR REPLACE INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
  FROM cw_receipts c
 WHERE c.iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT)
   AND NOT EXISTS (SELECT 1 FROM yw_receipts y
                    WHERE y.receipt_id = c.receipt_id AND y.iyear = c.iyear
                      AND y.invoiceno = c.invoiceno AND y.usd = c.usd AND y.rmb = c.rmb);
