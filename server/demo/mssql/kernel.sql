-- MIS kernel database on SQL Server: departments ("B" marks a business department) and
-- users ("S" marks a salesperson, with his department).
CREATE TABLE dept(
    DeptId CHAR(2) NOT NULL PRIMARY KEY,
    deptname VARCHAR(20) NOT NULL,
    classid CHAR(1) NOT NULL);
CREATE TABLE users(
    UserId CHAR(4) NOT NULL PRIMARY KEY,
    Username VARCHAR(10) NOT NULL,
    classid CHAR(1) NOT NULL,
    dept CHAR(2) NULL);
