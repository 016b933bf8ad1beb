-- Public dictionary: the company settings; the first row's name_simple is the company's
-- short name.
CREATE TABLE corp_set(
    code CHAR(1) NOT NULL,
    name_ch CHAR(60),
    name_en CHAR(80),
    addr_ch CHAR(60),
    addr_en CHAR(80),
    order_bank CHAR(60),
    account TEXT,
    order_tax CHAR(30),
    zip CHAR(6),
    present CHAR(8),
    name_simple CHAR(20),
    custom_code CHAR(16),
    corp_code CHAR(1),
    tel CHAR(30),
    is_default CHAR(1),
    order_name CHAR(60),
    pay_default CHAR(1),
    prefix CHAR(3));
