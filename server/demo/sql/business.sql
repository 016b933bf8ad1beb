-- Business database: shipments with their amounts, the business departments' names, the
-- receipts imported for the statistics, and the financial system's own tables (its years,
-- salesperson/group list, group-to-department mapping and foreign-exchange receipts), with
-- the change marks that let an import copy only what changed.
CREATE TABLE ywdept(
    deptid CHAR(2) PRIMARY KEY,
    deptname VARCHAR(20) NOT NULL);

CREATE TABLE shipment(
    invoiceno VARCHAR(12) PRIMARY KEY,
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
    value_no VARCHAR(12));         -- costing-sheet number
CREATE INDEX shipment_ym ON shipment(ym);
CREATE INDEX shipment_dept ON shipment(dept, ym);
CREATE INDEX shipment_saler ON shipment(salerid, ym);
CREATE INDEX shipment_cwdept ON shipment(cwdept, ym);

CREATE TABLE yw_receipts(
    receipt_id INTEGER PRIMARY KEY,
    iyear INT NOT NULL,
    invoiceno VARCHAR(12) NOT NULL,
    usd MONEY NOT NULL,
    rmb MONEY NOT NULL);
CREATE INDEX yw_receipts_invoice ON yw_receipts(invoiceno, usd, rmb);
CREATE INDEX yw_receipts_year ON yw_receipts(iyear);

CREATE TABLE cw_years(iyear INT PRIMARY KEY);
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
    receipt_id INTEGER PRIMARY KEY,
    iyear INT NOT NULL,
    imonth INT NOT NULL,
    receipt_date DATETIME NOT NULL,
    invoiceno VARCHAR(12) NOT NULL,
    cDepCode VARCHAR(10),
    usd MONEY NOT NULL,
    rmb MONEY NOT NULL);
CREATE INDEX cw_receipts_year ON cw_receipts(iyear);

-- Every insert, update or delete of a financial receipt marks its id with a version one
-- above the highest so far; an import takes the receipts marked after the version it last
-- reached. Marks every imported year has passed are dropped by the import, never the
-- highest, so versions only ever rise.
CREATE TABLE cw_receipts_changes(
    receipt_id INTEGER PRIMARY KEY,
    version INTEGER NOT NULL);
CREATE INDEX cw_receipts_changes_version ON cw_receipts_changes(version);
CREATE TRIGGER cw_receipts_inserted AFTER INSERT ON cw_receipts BEGIN
    INSERT OR REPLACE INTO cw_receipts_changes(receipt_id, version)
    SELECT new.receipt_id, coalesce(max(version), 0) + 1 FROM cw_receipts_changes;
END;
CREATE TRIGGER cw_receipts_updated AFTER UPDATE ON cw_receipts BEGIN
    INSERT OR REPLACE INTO cw_receipts_changes(receipt_id, version)
    SELECT id, (SELECT coalesce(max(version), 0) + 1 FROM cw_receipts_changes)
      FROM (SELECT old.receipt_id AS id UNION SELECT new.receipt_id);
END;
CREATE TRIGGER cw_receipts_deleted AFTER DELETE ON cw_receipts BEGIN
    INSERT OR REPLACE INTO cw_receipts_changes(receipt_id, version)
    SELECT old.receipt_id, coalesce(max(version), 0) + 1 FROM cw_receipts_changes;
END;

-- The version of the receipts each year was last imported at.
CREATE TABLE yw_import_years(
    iyear INTEGER PRIMARY KEY,
    version INTEGER NOT NULL);
