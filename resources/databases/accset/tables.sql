-- The tables of an account set: one company's books. Every account set is
-- restored from the empty template VQTCWTemp made from this script, so the
-- layout is the same in all of them (the wizard copies some tables whole
-- with "select *" from one account set into another).
--
-- Conventions: KeyID identifies a row of its table; flags and Closed are
-- 0 or 1; amounts have four decimals; ZJTag and IOTag are +1 or -1.
--
-- What the account-set upgrade adds (the result tables RT_*, the column
-- CW_Subject.SubTag, the columns MBDeprMon/MBDeprWL of CW_FAInitBala, the
-- view V_SubAllName, the statement lines of report type 413) is NOT here:
-- a new account set receives it from the upgrade.

-- ---- operators, options, privileges -------------------------------------

-- Operators; KeyID 1 is the administrator. Passwords are stored as typed.
create table T_Operator (
    KeyID     T_KEYID not null,
    Code      T_VA16  null,
    Name      T_VA32  null,
    Password  T_VA64  null,
    PrivGrpID T_KEY   null,      -- the operator's role (T_PrivGrp)
    IsAdmin   T_BYTE  null,
    Closed    T_BYTE  null,
    Remark    T_VA255 null,
    constraint PK_T_OPERATOR primary key clustered (KeyID)
)
GO

-- The account set's options: one row per name.
create table T_Options (
    KeyID    T_KEYID  not null,
    Name     T_VA64   null,
    TxtValue T_VA4096 null,
    constraint PK_T_OPTIONS primary key clustered (KeyID)
)
GO

-- Privilege groups (roles) and privileges; an operator holds the
-- privileges of T_OperPriv.
create table T_PrivGrp (
    KeyID  T_KEYID not null,
    Code   T_VA32  null,
    Name   T_VA64  null,
    Remark T_VA255 null,
    constraint PK_T_PRIVGRP primary key clustered (KeyID)
)
GO
create table T_Priv (
    KeyID      T_KEYID   not null,
    Code       T_VA32    null,
    Name       T_VA64    null,
    PrivGrpID  T_KEY     null,
    ActionName T_VA64    null,   -- the client action the privilege unlocks
    PrivMask   T_INTEGER null,
    Remark     T_VA255   null,
    constraint PK_T_PRIV primary key clustered (KeyID)
)
GO
create table T_OperPriv (
    OperID T_KEYID not null,
    PrivID T_KEYID not null,
    constraint PK_T_OPERPRIV primary key clustered (OperID, PrivID)
)
GO

-- ---- chart of accounts --------------------------------------------------

-- Currencies; MoneyID 1 is the book currency (RMB).
create table CW_Money (
    MoneyID  T_KEYID  not null,
    Code     T_VA16   null,
    Name     T_VA32   null,
    Symbol   T_VA16   null,
    ExchRate T_NUMBER null,
    BoBase   T_BYTE   null,      -- 1 for the book currency
    Closed   T_BYTE   null,
    constraint PK_CW_MONEY primary key clustered (MoneyID)
)
GO

-- Subject categories of the chart (copied whole between account sets).
create table CW_SubType (
    KeyID    T_KEYID not null,
    Code     T_VA16  null,
    Name     T_VA64  null,
    Property T_BYTE  null,
    constraint PK_CW_SUBTYPE primary key clustered (KeyID)
)
GO

-- The chart of accounts. Grade is the level (1 for the shortest codes).
-- Property: 1 资产 2 负债 3 共同 4 所有者权益 5 成本 6 损益. BoDebit 1 =
-- normal debit balance; BoEnd 1 = last level; HoldSub 1 = has lower
-- subjects; BoPLSub 1 = profit-and-loss subject. The Bo* flags name the
-- auxiliary books kept on the subject: BoWaibi foreign currency, BoSign
-- bank journal, BoFlow cash-flow items, BoDept departments, BoEmp
-- employees, BoObject projects, BoTrader trading partners, BoGoods goods,
-- BoQty quantities; BoOften: offered first when entering vouchers.
create table CW_Subject (
    KeyID    T_KEYID not null,
    Code     T_VA32  not null,
    Name     T_VA64  null,
    MoneyID  T_KEY   null,
    BoDebit  T_BYTE  null,
    BoEnd    T_BYTE  null,
    Property T_BYTE  null,
    HoldSub  T_BYTE  null,
    Grade    T_BYTE  null,
    BoWaibi  T_BYTE  null,
    BoSign   T_BYTE  null,
    BoFlow   T_BYTE  null,
    BoDept   T_BYTE  null,
    BoEmp    T_BYTE  null,
    BoObject T_BYTE  null,
    BoTrader T_BYTE  null,
    BoGoods  T_BYTE  null,
    BoQty    T_BYTE  null,
    Closed   T_BYTE  null,
    BoPLSub  T_BYTE  null,
    BoOften  T_BYTE  null,
    constraint PK_CW_SUBJECT primary key clustered (KeyID)
)
GO
create unique index IX_CW_SUBJECT_CODE on CW_Subject (Code)
GO

-- The code lengths: SubLen1..6 are the total code lengths up to levels 1..6.
create table CW_SubLen (
    KeyID   T_KEYID not null,
    SubLen1 T_SHORT null,
    SubLen2 T_SHORT null,
    SubLen3 T_SHORT null,
    SubLen4 T_SHORT null,
    SubLen5 T_SHORT null,
    SubLen6 T_SHORT null,
    constraint PK_CW_SUBLEN primary key clustered (KeyID)
)
GO

-- ---- auxiliary lists (copied whole between account sets) ---------------

create table T_Area (
    KeyID    T_KEYID not null,
    Code     T_VA16  null,
    Name     T_VA64  null,
    ParentID T_KEY   null,
    constraint PK_T_AREA primary key clustered (KeyID)
)
GO
create table T_TraderTp (
    KeyID T_KEYID not null,
    Code  T_VA16  null,
    Name  T_VA64  null,
    constraint PK_T_TRADERTP primary key clustered (KeyID)
)
GO
-- Trading partners: customers and suppliers.
create table T_Trader (
    KeyID      T_KEYID not null,
    Code       T_VA32  null,
    Name       T_VA128 null,
    ShortName  T_VA64  null,
    TraderTpID T_KEY   null,
    AreaID     T_KEY   null,
    Address    T_VA255 null,
    Tel        T_VA32  null,
    Linkman    T_VA32  null,
    BankName   T_VA128 null,
    BankAccNo  T_VA64  null,
    TaxNo      T_VA32  null,
    Closed     T_BYTE  null,
    constraint PK_T_TRADER primary key clustered (KeyID)
)
GO
create table T_Dept (
    KeyID    T_KEYID not null,
    Code     T_VA16  null,
    Name     T_VA64  null,
    ParentID T_KEY   null,
    Closed   T_BYTE  null,
    constraint PK_T_DEPT primary key clustered (KeyID)
)
GO
create table T_EmpTp (
    KeyID T_KEYID not null,
    Code  T_VA16  null,
    Name  T_VA64  null,
    constraint PK_T_EMPTP primary key clustered (KeyID)
)
GO
create table T_Emp (
    KeyID   T_KEYID not null,
    Code    T_VA16  null,
    Name    T_VA32  null,
    DeptID  T_KEY   null,
    EmpTpID T_KEY   null,
    Sex     T_VA16  null,
    Tel     T_VA32  null,
    Closed  T_BYTE  null,
    constraint PK_T_EMP primary key clustered (KeyID)
)
GO
-- Projects (cost objects).
create table T_Object (
    KeyID  T_KEYID not null,
    Code   T_VA16  null,
    Name   T_VA64  null,
    Closed T_BYTE  null,
    constraint PK_T_OBJECT primary key clustered (KeyID)
)
GO

-- ---- calendar, vouchers and balances --------------------------------------

-- User-defined accounting months (natural months need no rows).
create table CW_Calendar (
    CWYear    T_SHORT    not null,
    CWMonth   T_BYTE     not null,
    BeginDate T_DATETIME null,
    EndDate   T_DATETIME null,
    ReadOnly  T_BYTE     null,
    constraint PK_CW_CALENDAR primary key clustered (CWYear, CWMonth)
)
GO

-- Voucher words (记, 收, 付, 转 ...); Code is the key in four digits.
create table CW_VouWord (
    KeyID  T_KEYID not null,
    Code   T_VA16  null,
    Name   T_VA16  null,
    Closed T_BYTE  null,
    constraint PK_CW_VOUWORD primary key clustered (KeyID)
)
GO

-- Cash-flow items that voucher entries of cash and bank subjects are
-- classified by; IOTag +1 receipts, -1 payments, 0 headings.
create table CW_CashFlow (
    KeyID  T_KEYID not null,
    Code   T_VA16  null,
    Name   T_VA128 null,
    IOTag  T_SHORT null,
    Grade  T_BYTE  null,
    Closed T_BYTE  null,
    constraint PK_CW_CASHFLOW primary key clustered (KeyID)
)
GO

-- Vouchers: one row per voucher, numbered per period and voucher word.
-- AuditFlag and PostFlag: 1 once audited / posted; Closed 1 = voided.
create table CW_Voucher (
    KeyID     T_KEYID    not null,
    CWYear    T_SHORT    not null,
    CWMonth   T_BYTE     not null,
    VouWordID T_KEY      not null,
    VouNo     T_INTEGER  not null,
    VouDate   T_DATETIME null,
    AttachNum T_SHORT    null,
    MakerID   T_KEY      null,
    AuditorID T_KEY      null,
    PosterID  T_KEY      null,
    AuditFlag T_BYTE     null,
    PostFlag  T_BYTE     null,
    Closed    T_BYTE     null,
    Remark    T_VA255    null,
    constraint PK_CW_VOUCHER primary key clustered (KeyID)
)
GO
create unique index IX_CW_VOUCHER_NO on CW_Voucher (CWYear, CWMonth, VouWordID, VouNo)
GO

-- Voucher entries: each debits or credits one subject; a voucher's debits
-- equal its credits.
create table CW_VouDetail (
    KeyID      T_KEYID  not null,
    VouID      T_KEY    not null,
    SecID      T_SHORT  null,
    Summary    T_VA255  null,
    SubID      T_KEY    not null,
    MoneyID    T_KEY    null,
    ExchRate   T_NUMBER null,
    DebitAmt   T_MONEY  null,
    CreditAmt  T_MONEY  null,
    WaibiAmt   T_MONEY  null,
    Qty        T_NUMBER null,
    Price      T_NUMBER null,
    DeptID     T_KEY    null,
    EmpID      T_KEY    null,
    ObjectID   T_KEY    null,
    TraderID   T_KEY    null,
    CashFlowID T_KEY    null,
    constraint PK_CW_VOUDETAIL primary key clustered (KeyID)
)
GO
create index IX_CW_VOUDETAIL_VOU on CW_VouDetail (VouID)
GO

-- Subject balances per period: CWMonth 0 holds the opening balance of the
-- year; BeginBala and EndBala are signed by the subject's direction
-- (positive on its normal side); the Year columns are the year-to-date
-- totals.
create table CW_SubBala (
    SubID      T_KEYID not null,
    CWYear     T_SHORT not null,
    CWMonth    T_BYTE  not null,
    BeginBala  T_MONEY null,
    DebitAmt   T_MONEY null,
    CreditAmt  T_MONEY null,
    EndBala    T_MONEY null,
    DebitYear  T_MONEY null,
    CreditYear T_MONEY null,
    constraint PK_CW_SUBBALA primary key clustered (SubID, CWYear, CWMonth)
)
GO

-- Opening balances of fixed assets when the books start.
create table CW_FAInitBala (
    KeyID      T_KEYID    not null,
    FACode     T_VA32     null,
    FAName     T_VA64     null,
    SubID      T_KEY      null,
    DeptID     T_KEY      null,
    OrigValue  T_NUMBER   null,
    AccDepr    T_NUMBER   null,
    NetValue   T_NUMBER   null,
    UseMonths  T_INTEGER  null,
    UsedMonths T_INTEGER  null,
    DeprMethod T_BYTE     null,
    StartDate  T_DATETIME null,
    Remark     T_VA255    null,
    constraint PK_CW_FAINITBALA primary key clustered (KeyID)
)
GO

-- ---- reports and print templates ------------------------------------------

-- Print templates (vouchers, books, statements); TempFile holds the
-- template's text as bytes.
create table T_TempFile (
    KeyID    T_KEYID    not null,
    TypeName T_VA64     null,
    TempName T_VA128    null,
    TempFile T_IMAGE    null,
    Remark   T_VA255    null,
    Version  T_VA32     null,
    EditDate T_DATETIME null,
    constraint PK_T_TEMPFILE primary key clustered (KeyID)
)
GO

-- Report definitions (the client's report designer); ReportTemp holds the
-- definition as bytes.
create table CW_Report (
    KeyID      T_KEYID   not null,
    ReportName T_VA128   null,
    ReportKind T_INTEGER null,
    ReportTemp T_IMAGE   null,
    MaxParamID T_INTEGER null,
    Closed     T_BYTE    null,
    Version    T_VA32    null,
    constraint PK_CW_REPORT primary key clustered (KeyID)
)
GO

-- Lines of the balance sheet (RptTypeID 1). SequNo orders the lines and
-- names them for total lines; RowNo is the printed line number (null for
-- headings); LRTag 0 left side (assets), 1 right side (liabilities and
-- equity); CalcKind 0 heading, 1 from subjects, 2 total of other lines,
-- 3 entered by hand.
create table CW_BSheet (
    KeyID     T_KEYID   not null,
    RptTypeID T_INTEGER null,
    SequNo    T_INTEGER null,
    OrderNo   T_INTEGER null,
    Name      T_VA128   null,
    RowNo     T_INTEGER null,
    LRTag     T_BYTE    null,
    CalcKind  T_BYTE    null,
    constraint PK_CW_BSHEET primary key clustered (KeyID)
)
GO
-- Items of a balance-sheet line: a subject (SubID) or, for total lines,
-- another line (SequNo), added (ZJTag +1) or subtracted (-1). DCTag: 0 the
-- balance, 1 only a debit balance, 2 only a credit balance.
create table CW_BSheetS (
    KeyID  T_KEYID   not null,
    SecID  T_KEYID   not null,
    SubID  T_KEY     null,
    SequNo T_INTEGER null,
    ZJTag  T_SHORT   null,
    DCTag  T_BYTE    null,
    constraint PK_CW_BSHEETS primary key clustered (KeyID, SecID)
)
GO
-- Lines of the income statement (RptTypeID 101) and the cash-flow
-- statements (401, and 413 for the small-enterprise one); columns as in
-- CW_BSheet, FixValue a value entered by hand.
create table CW_Sheet (
    KeyID     T_KEYID   not null,
    RptTypeID T_INTEGER null,
    Name      T_VA128   null,
    SequNo    T_INTEGER null,
    OrderNo   T_INTEGER null,
    RowNo     T_INTEGER null,
    LRTag     T_BYTE    null,
    CalcKind  T_BYTE    null,
    FixValue  T_NUMBER  null,
    constraint PK_CW_SHEET primary key clustered (KeyID)
)
GO
-- Items of an income-statement or cash-flow line: a subject's amount of
-- the kind FDTypeID (1 debit turnover, 2 credit turnover, 3 net debit
-- turnover, 4 net credit turnover), or another line (SequNo); YMTag 0 for
-- both the month and the year-to-date column.
create table CW_SheetS (
    KeyID    T_KEYID   not null,
    SecID    T_KEYID   not null,
    YMTag    T_BYTE    null,
    ZJTag    T_SHORT   null,
    FDTypeID T_INTEGER null,
    SubID    T_KEY     null,
    SequNo   T_INTEGER null,
    FixValue T_NUMBER  null,
    constraint PK_CW_SHEETS primary key clustered (KeyID, SecID)
)
GO
-- Cash-flow items summed into a cash-flow line: the amounts of voucher
-- entries classified under CashFlowID, receipts (IOTag +1) or payments (-1).
create table CW_SheetC (
    KeyID      T_KEYID   not null,
    SecID      T_KEYID   not null,
    ZJTag      T_SHORT   null,
    CashFlowID T_KEY     null,
    SequNo     T_INTEGER null,
    FixValue   T_NUMBER  null,
    IOTag      T_SHORT   null,
    constraint PK_CW_SHEETC primary key clustered (KeyID, SecID)
)
GO
