-- Business database on SQL Server: the same tables as the embedded demo's business database
-- (shipments, business departments, imported receipts, the financial system's tables), with
-- the indexes the statistics and the import use and the change marks that let an import copy
-- only what changed. Run in the business database; batches are separated by lines holding
-- only GO.
CREATE TABLE ywdept(
    deptid CHAR(2) NOT NULL PRIMARY KEY,
    deptname VARCHAR(20) NOT NULL);

CREATE TABLE shipment(
    invoiceno VARCHAR(12) NOT NULL PRIMARY KEY,
    shipdate DATETIME NOT NULL,
    ym INT NOT NULL,               -- year * 100 + month of shipdate: what statistics filter by
    dept CHAR(2) NOT NULL,         -- business department
    salerid CHAR(4) NOT NULL,      -- kernel user id of the salesperson
    cwdept VARCHAR(10) NOT NULL,   -- the salesperson's group code in the financial system
    exrate FLOAT NOT NULL,         -- RMB per USD used for the shipment
    srUSD MONEY NOT NULL,
    srRMB MONEY NOT NULL,
    yfUSD MONEY NOT NULL,
    yfRMB MONEY NOT NULL,
    bfUSD MONEY NOT NULL,
    bfRMB MONEY NOT NULL,
    yjUSD MONEY NOT NULL,
    yjRMB MONEY NOT NULL,
    cb MONEY NOT NULL,             -- cost in RMB
    value_no VARCHAR(12) NULL);    -- costing-sheet number
CREATE INDEX shipment_ym ON shipment(ym);
CREATE INDEX shipment_dept ON shipment(dept, ym);
CREATE INDEX shipment_saler ON shipment(salerid, ym);
CREATE INDEX shipment_cwdept ON shipment(cwdept, ym);

CREATE TABLE yw_receipts(
    receipt_id INT NOT NULL PRIMARY KEY,
    iyear INT NOT NULL,
    invoiceno VARCHAR(12) NOT NULL,
    usd MONEY NOT NULL,
    rmb MONEY NOT NULL);
CREATE INDEX yw_receipts_invoice ON yw_receipts(invoiceno) INCLUDE (usd, rmb);
CREATE INDEX yw_receipts_year ON yw_receipts(iyear);

CREATE TABLE cw_years(iyear INT NOT NULL PRIMARY KEY);
CREATE TABLE cw_dept(
    iyear INT NOT NULL,
    cDepCode VARCHAR(10) NOT NULL,
    cdepname VARCHAR(20) NOT NULL,
    PRIMARY KEY(iyear, cDepCode));
CREATE TABLE cw_deptmap(
    iyear INT NOT NULL,
    cDepCode VARCHAR(10) NOT NULL,
    ywdept CHAR(2) NOT NULL,
    PRIMARY KEY(iyear, cDepCode));
CREATE TABLE cw_receipts(
    receipt_id INT NOT NULL PRIMARY KEY,
    iyear INT NOT NULL,
    imonth INT NOT NULL,
    receipt_date DATETIME NOT NULL,
    invoiceno VARCHAR(12) NOT NULL,
    cDepCode VARCHAR(10) NULL,
    usd MONEY NOT NULL,
    rmb MONEY NOT NULL);
CREATE INDEX cw_receipts_year ON cw_receipts(iyear);

-- Every insert, update or delete of a financial receipt marks its id with a version one
-- above the highest so far; an import takes the receipts marked after the version it last
-- reached. Marks every imported year has passed are dropped by the import, never the
-- highest, so versions only ever rise.
CREATE TABLE cw_receipts_changes(
    receipt_id INT NOT NULL PRIMARY KEY,
    version BIGINT NOT NULL);
CREATE INDEX cw_receipts_changes_version ON cw_receipts_changes(version);

-- The version of the receipts each year was last imported at.
CREATE TABLE yw_import_years(
    iyear INT NOT NULL PRIMARY KEY,
    version BIGINT NOT NULL);
GO
CREATE TRIGGER cw_receipts_marks ON cw_receipts AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT EXISTS (SELECT 1 FROM inserted) AND NOT EXISTS (SELECT 1 FROM deleted)
        RETURN;
    -- UPDLOCK, HOLDLOCK: writers take their version one after the other and hold it until
    -- they commit, so no import can see a version while a lower one is still uncommitted.
    DECLARE @v BIGINT = 1 + (SELECT ISNULL(MAX(version), 0)
                               FROM cw_receipts_changes WITH (UPDLOCK, HOLDLOCK));
    MERGE cw_receipts_changes AS t
    USING (SELECT receipt_id FROM inserted UNION SELECT receipt_id FROM deleted) AS s
       ON t.receipt_id = s.receipt_id
     WHEN MATCHED THEN UPDATE SET version = @v
     WHEN NOT MATCHED THEN INSERT (receipt_id, version) VALUES (s.receipt_id, @v);
END
