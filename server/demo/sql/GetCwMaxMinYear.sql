-- First and last year the financial system holds (NULL when it holds none).
CREATE TEMP TABLE cw_range(minyear INT, maxyear INT);
INSERT INTO cw_range SELECT min(iyear), max(iyear) FROM cw_years;
SELECT minyear, maxyear FROM cw_range;
