-- The columns the account-set upgrade adds, with its classification of
-- the subjects (names beginning 非限定性 get tag 1, 限定性 tag 2); the
-- sample books are made current as the upgrade would make them.
alter table CW_FAInitBala add MBDeprMon T_INTEGER null
GO
alter table CW_FAInitBala add MBDeprWL T_NUMBER null
GO
alter table CW_Subject add SubTag T_INTEGER null
GO
