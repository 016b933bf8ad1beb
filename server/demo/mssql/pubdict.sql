-- Public dictionary on SQL Server: the company settings; the first row's name_simple is the
-- company's short name.
CREATE TABLE corp_set(
    code CHAR(1) NOT NULL,
    name_ch CHAR(60) NULL,
    name_en CHAR(80) NULL,
    addr_ch CHAR(60) NULL,
    addr_en CHAR(80) NULL,
    order_bank CHAR(60) NULL,
    account TEXT NULL,
    order_tax CHAR(30) NULL,
    zip CHAR(6) NULL,
    present CHAR(8) NULL,
    name_simple CHAR(20) NULL,
    custom_code CHAR(16) NULL,
    corp_code CHAR(1) NULL,
    tel CHAR(30) NULL,
    is_default CHAR(1) NULL,
    order_name CHAR(60) NULL,
    pay_default CHAR(1) NULL,
    prefix CHAR(3) NULL);
