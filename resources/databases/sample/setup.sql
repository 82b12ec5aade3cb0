-- The sample books VQTCW_Sample: the account set filled as the new
-- account-set wizard fills one, with the small-enterprise chart of
-- accounts (小企业会计准则[2013], subject kind 3), code lengths 4/3/3/3/3/3,
-- the single voucher word 记 and natural months. The books start in
-- January 2024; January has been kept (books.sql) and the working period
-- has moved on to February.
--
-- Runs in VQTCW_Sample after the account-set upgrade; the template pack
-- is read as VQTCWPack.

-- ---- options ---------------------------------------------------------------

-- The upgrade's version records first (the upgrade runs before the wizard
-- writes its options), then the options the wizard writes.
insert into T_Options(KeyID, Name, TxtValue) values (1, 'UpgradeDBTable', '20180120.01')
insert into T_Options(KeyID, Name, TxtValue) values (2, 'UpgradeField_WY01', '20200112.02')
insert into T_Options(KeyID, Name, TxtValue) values (3, 'UpgradeView_WY01', '20200720.01')
insert into T_Options(KeyID, Name, TxtValue) values (4, 'UpgradeInitData', '20151003.04')
insert into T_Options(KeyID, Name, TxtValue) values (5, 'SO_V_SubAllName', '20200720.01')
GO

insert into T_Options(KeyID, Name, TxtValue) values (6, 'AccSetName', '财务例子账')
insert into T_Options(KeyID, Name, TxtValue) values (7, 'CWStartYear', '2024')
insert into T_Options(KeyID, Name, TxtValue) values (8, 'CWStartMonth', '1')
insert into T_Options(KeyID, Name, TxtValue) values (9, 'CWWorkYear', '2024')
insert into T_Options(KeyID, Name, TxtValue) values (10, 'CWWorkMonth', '2')
insert into T_Options(KeyID, Name, TxtValue) values (11, 'CWCalendarKind', '0')
insert into T_Options(KeyID, Name, TxtValue) values (12, 'CWClearPLKind', '0')
insert into T_Options(KeyID, Name, TxtValue) values (13, 'CWSubjectKind', '3')
insert into T_Options(KeyID, Name, TxtValue) values (14, 'CWVouAudiKind', '0')
insert into T_Options(KeyID, Name, TxtValue) values (15, 'SubGrade1', '4')
insert into T_Options(KeyID, Name, TxtValue) values (16, 'SubGrade2', '3')
insert into T_Options(KeyID, Name, TxtValue) values (17, 'SubGrade3', '3')
insert into T_Options(KeyID, Name, TxtValue) values (18, 'SubGrade4', '3')
insert into T_Options(KeyID, Name, TxtValue) values (19, 'SubGrade5', '3')
insert into T_Options(KeyID, Name, TxtValue) values (20, 'SubGrade6', '3')
insert into T_Options(KeyID, Name, TxtValue) values (21, 'CorpName', '示例商贸有限公司')
insert into T_Options(KeyID, Name, TxtValue) values (22, 'CorpLegalRep', '张明')
insert into T_Options(KeyID, Name, TxtValue) values (23, 'CorpBankAccNo', '6200 0000 0000 0000 001')
insert into T_Options(KeyID, Name, TxtValue) values (24, 'OrganizationNo', '00000000-1')
insert into T_Options(KeyID, Name, TxtValue) values (25, 'CorpTaxNo', '91000000MA0000000X')
insert into T_Options(KeyID, Name, TxtValue) values (26, 'CorpLinkman', '李华')
insert into T_Options(KeyID, Name, TxtValue) values (27, 'CorpTel', '010-00000001')
insert into T_Options(KeyID, Name, TxtValue) values (28, 'CorpFax', '010-00000002')
insert into T_Options(KeyID, Name, TxtValue) values (29, 'CorpZip', '100000')
insert into T_Options(KeyID, Name, TxtValue) values (30, 'CorpAddress', '示例市示例区示例路1号')
insert into T_Options(KeyID, Name, TxtValue) values (31, 'CorpEMail', 'info@example.com')
insert into T_Options(KeyID, Name, TxtValue) values (32, 'CorpURL', 'www.example.com')
GO

-- ---- print templates and report definitions ----------------------------------

insert into T_TempFile(KeyID,TypeName,TempName,TempFile,Remark,Version,EditDate)
select KeyID,TypeName,TempName,TempFile,Remark,Version,EditDate
from VQTCWPack..T_TempFile
GO
delete from CW_Report
GO
insert into CW_Report(KeyID,ReportName,ReportKind,ReportTemp,MaxParamID,Closed,Version)
select KeyID,ReportName,ReportKind,ReportTemp,MaxParamID,Closed,Version
from VQTCWPack.dbo.CW_Report
GO

-- ---- chart of accounts -----------------------------------------------------------

-- The preset chart of kind 3, its codes converted to level lengths 3 and 3
-- (which leaves them as they are).
delete from CW_Subject
delete from CW_SubLen
insert into CW_Subject(KeyID,Code,Name,MoneyID,BoDebit,BoEnd,Property,HoldSub,Grade,
    BoWaibi,BoSign,BoFlow,BoDept,BoEmp,BoObject,BoTrader,BoGoods,BoQty,Closed,BoPLSub,BoOften)
select KeyID,
    substring(Code,1,4)+
    (case when 3<=3 then substring(Code,5+3-3,3) else (case when len(Code)>4 then replicate('0',3-3) else '' end)+ substring(Code,5,3) end)+
    (case when 3<=3 then substring(Code,8+3-3,3) else (case when len(Code)>7 then replicate('0',3-3) else '' end)+ substring(Code,8,3) end),
    Name,1,BoDebit,BoEnd,Property,HoldSub,
    (case when len(Code)=4 then 1 when len(Code)=7 then 2 else 3 end),
    0,0,0,0,0,0,0,0,0,0,BoPLSub,0
from VQTCWPack..CW_SubTemp
where SubKind=3
GO
insert into CW_SubLen(KeyID,SubLen1,SubLen2,SubLen3,SubLen4,SubLen5,SubLen6) values(1,4,7,10,13,16,19)
GO

-- ---- voucher words (natural months: no calendar rows) ------------------------------

insert into CW_VouWord(KeyID,Code,Name,Closed) values(1,'0001','记',0)
GO

-- ---- statement lines of the small-enterprise chart ------------------------------

-- Balance sheet, income statement and cash-flow statement of subject kind
-- 3; the items keep the subject keys the pack stores, which are the keys
-- of the preset chart written above.
insert into CW_BSheet(KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind)
select KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind
from VQTCWPack..CW_BSheet where SubKind=3 and RptTypeID=1

insert into CW_BSheetS(KeyID, SecID, SubID, SequNo, ZJTag, DCTag)
select A.KeyID, SecID, SubID, SequNo, ZJTag, DCTag
from VQTCWPack..CW_BSheetS A
where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_BSheet where SubKind=3 and RptTypeID=1)

insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue)
select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue
from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=101

insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue)
select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, SubID, SequNo,FixValue
from VQTCWPack..CW_SheetS A
where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=101)

insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue)
select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue
from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401

insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue)
select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, SubID, SequNo,FixValue
from VQTCWPack..CW_SheetS A
where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401)

insert into CW_SheetC(KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag)
select KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag
from VQTCWPack..CW_SheetC
where SubKind=3 and KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401)
GO

-- ---- privileges ----------------------------------------------------------------------

insert into T_PrivGrp(KeyID, Code, Name, Remark)
select KeyID, Code, Name, Remark from VQTCWPack.dbo.T_PrivGrp
where KeyID not in (select KeyID from T_PrivGrp)

insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark)
select KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark from VQTCWPack.dbo.T_Priv
where KeyID not in (select KeyID from T_Priv)
GO

-- ---- operators -----------------------------------------------------------------------

-- The administrator (KeyID 1) comes with the template and keeps its empty
-- password. The bookkeeper who keeps the sample's vouchers holds every
-- privilege of the catalogue.
insert into T_Operator(KeyID, Code, Name, Password, PrivGrpID, IsAdmin, Closed, Remark)
values (2, '002', '会计', '', null, 0, 0, '制单会计')
GO
insert into T_OperPriv(OperID, PrivID)
select 2, KeyID from T_Priv
GO
