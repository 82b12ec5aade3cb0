-- The template pack database VQTCWPack: what the new account-set wizard
-- copies into every new account set. Rows made for one of the five preset
-- charts of accounts carry its subject kind in SubKind:
--   0 企业会计制度 (2001)   1 小企业会计制度   2 企业会计准则 (2006)
--   3 小企业会计准则 (2013)   4 民间非营利组织会计制度

-- The preset charts. Codes have 4 (level 1), 7 (level 2) or 10 (level 3)
-- characters. Property: 1 资产 2 负债 3 共同 4 所有者权益/净资产 5 成本
-- 6 损益. BoDebit 1 = normal debit balance. BoEnd 1 = last level (no lower
-- subject); HoldSub 1 = has lower subjects. BoPLSub 1 = profit-and-loss
-- subject.
create table CW_SubTemp (
    KeyID    T_KEYID not null,
    SubKind  T_BYTE  not null,
    Code     T_VA32  not null,
    Name     T_VA64  null,
    BoDebit  T_BYTE  null,
    BoEnd    T_BYTE  null,
    Property T_BYTE  null,
    HoldSub  T_BYTE  null,
    BoPLSub  T_BYTE  null,
    constraint PK_CW_SUBTEMP primary key clustered (KeyID)
)
GO
create unique index IX_CW_SUBTEMP_CODE on CW_SubTemp (SubKind, Code)
GO

-- Statement lines and their items; see accset/tables.sql for the meaning
-- of the columns. Items name their subject by its preset code (SubCode);
-- SubID is the preset subject's KeyID where the wizard copies it as it
-- stands (subject kind 3).
create table CW_BSheet (
    SubKind   T_BYTE    not null,
    KeyID     T_KEYID   not null,
    RptTypeID T_INTEGER null,
    SequNo    T_INTEGER null,
    OrderNo   T_INTEGER null,
    Name      T_VA128   null,
    RowNo     T_INTEGER null,
    LRTag     T_BYTE    null,
    CalcKind  T_BYTE    null,
    constraint PK_PACK_CW_BSHEET primary key clustered (SubKind, KeyID)
)
GO
create table CW_BSheetS (
    SubKind T_BYTE    not null,
    KeyID   T_KEYID   not null,
    SecID   T_KEYID   not null,
    SubCode T_VA32    null,
    SubID   T_KEY     null,
    SequNo  T_INTEGER null,
    ZJTag   T_SHORT   null,
    DCTag   T_BYTE    null,
    constraint PK_PACK_CW_BSHEETS primary key clustered (SubKind, KeyID, SecID)
)
GO
create table CW_Sheet (
    SubKind   T_BYTE    not null,
    KeyID     T_KEYID   not null,
    RptTypeID T_INTEGER null,
    Name      T_VA128   null,
    SequNo    T_INTEGER null,
    OrderNo   T_INTEGER null,
    RowNo     T_INTEGER null,
    LRTag     T_BYTE    null,
    CalcKind  T_BYTE    null,
    FixValue  T_NUMBER  null,
    constraint PK_PACK_CW_SHEET primary key clustered (SubKind, KeyID)
)
GO
create table CW_SheetS (
    SubKind  T_BYTE    not null,
    KeyID    T_KEYID   not null,
    SecID    T_KEYID   not null,
    YMTag    T_BYTE    null,
    ZJTag    T_SHORT   null,
    FDTypeID T_INTEGER null,
    SubCode  T_VA32    null,
    SubID    T_KEY     null,
    SequNo   T_INTEGER null,
    FixValue T_NUMBER  null,
    constraint PK_PACK_CW_SHEETS primary key clustered (SubKind, KeyID, SecID)
)
GO
create table CW_SheetC (
    SubKind    T_BYTE    not null,
    KeyID      T_KEYID   not null,
    SecID      T_KEYID   not null,
    ZJTag      T_SHORT   null,
    CashFlowID T_KEY     null,
    SequNo     T_INTEGER null,
    FixValue   T_NUMBER  null,
    IOTag      T_SHORT   null,
    constraint PK_PACK_CW_SHEETC primary key clustered (SubKind, KeyID, SecID)
)
GO

-- Report definitions, print templates and the privilege catalogue, as the
-- account set has them.
create table CW_Report (
    KeyID      T_KEYID   not null,
    ReportName T_VA128   null,
    ReportKind T_INTEGER null,
    ReportTemp T_IMAGE   null,
    MaxParamID T_INTEGER null,
    Closed     T_BYTE    null,
    Version    T_VA32    null,
    constraint PK_PACK_CW_REPORT primary key clustered (KeyID)
)
GO
create table T_TempFile (
    KeyID    T_KEYID    not null,
    TypeName T_VA64     null,
    TempName T_VA128    null,
    TempFile T_IMAGE    null,
    Remark   T_VA255    null,
    Version  T_VA32     null,
    EditDate T_DATETIME null,
    constraint PK_PACK_T_TEMPFILE primary key clustered (KeyID)
)
GO
create table T_PrivGrp (
    KeyID  T_KEYID not null,
    Code   T_VA32  null,
    Name   T_VA64  null,
    Remark T_VA255 null,
    constraint PK_PACK_T_PRIVGRP primary key clustered (KeyID)
)
GO
create table T_Priv (
    KeyID      T_KEYID   not null,
    Code       T_VA32    null,
    Name       T_VA64    null,
    PrivGrpID  T_KEY     null,
    ActionName T_VA64    null,
    PrivMask   T_INTEGER null,
    Remark     T_VA255   null,
    constraint PK_PACK_T_PRIV primary key clustered (KeyID)
)
GO
