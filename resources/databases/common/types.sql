-- The user-defined column types every installed database carries. Table
-- definitions name these types; their base definitions live only here.
--   T_KEYID   integer key of a row (never null)
--   T_KEY     integer reference to a row of another table (may be null)
--   T_VA16 .. T_VA4096   texts of that many bytes (GBK)
--   T_INTEGER, T_SHORT   whole numbers
--   T_BYTE    flags and small codes: 0, 1, 2 ...
--   T_NUMBER  amounts and quantities, four decimals
--   T_MONEY   money amounts, four decimals
--   T_DATETIME  dates and date-times
--   T_IMAGE   binary content (print templates, pictures)
sp_addtype T_KEYID, 'int', 'NOT NULL'
GO
exec sp_addtype T_KEY, 'int', 'NULL'
exec sp_addtype T_VA16, 'varchar(16)', 'NULL'
exec sp_addtype T_VA32, 'varchar(32)', 'NULL'
exec sp_addtype T_VA64, 'varchar(64)', 'NULL'
exec sp_addtype T_VA128, 'varchar(128)', 'NULL'
exec sp_addtype T_VA255, 'varchar(255)', 'NULL'
exec sp_addtype T_VA4096, 'varchar(4096)', 'NULL'
exec sp_addtype T_INTEGER, 'int', 'NULL'
exec sp_addtype T_SHORT, 'smallint', 'NULL'
exec sp_addtype T_BYTE, 'tinyint', 'NULL'
exec sp_addtype T_NUMBER, 'numeric(19,4)', 'NULL'
exec sp_addtype T_MONEY, 'money', 'NULL'
exec sp_addtype T_DATETIME, 'datetime', 'NULL'
exec sp_addtype T_IMAGE, 'image', 'NULL'
GO
