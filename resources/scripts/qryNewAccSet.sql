-- The new account-set wizard's script text: its named sections, each
-- taken with ExtractSection from its start marker up to its end marker.
-- The create sequence (wizard/newaccset.cpp) fills the "##" placeholders;
-- the sections run on the catalogue connection (creating the database)
-- or in the new account set, which reads the template pack VQTCWPack by
-- its name.

-- Restores the empty template under the new name and renames its
-- logical files; the last statement returns the catalogue connection to
-- the catalogue.
--CreateAccSetA
use master
restore database [##DBName] from disk = '##MDKFile' with move 'VQTCWTemp' to '##MDFFile', move 'VQTCWTemp_Log' to '##LDFFile', Replace
use master
alter Database [##DBName] modify file (name=[VQTCWTemp],NewName=[##DBName])
use master
alter Database [##DBName] modify file (name=[VQTCWTemp_log],NewName=[##DBName_log])
use VQTCWAccList
--CreateAccSetB

-- The preset chart of the chosen kind, its codes converted to the level
-- lengths ##Lev2 and ##Lev3 (one batch).
--SubjectA
delete from CW_Subject
delete from CW_SubLen
insert into CW_Subject(KeyID,Code,Name,MoneyID,BoDebit,BoEnd,Property,HoldSub,Grade,BoWaibi,BoSign,BoFlow,BoDept,BoEmp,BoObject,BoTrader,BoGoods,BoQty,Closed,BoPLSub,BoOften) select KeyID, substring(Code,1,4)+ (case when ##Lev2<=3 then substring(Code,5+3-##Lev2,##Lev2) else (case when len(Code)>4 then replicate('0',##Lev2-3) else '' end)+ substring(Code,5,3) end)+ (case when ##Lev3<=3 then substring(Code,8+3-##Lev3,##Lev3) else (case when len(Code)>7 then replicate('0',##Lev3-3) else '' end)+ substring(Code,8,3) end), Name, 1, BoDebit, BoEnd, Property, HoldSub, (case when len(Code)=4 then 1 when len(Code)=7 then 2 else 3 end), 0,0,0,0,0,0,0,0,0,0, BoPLSub, 0 from VQTCWPack..CW_SubTemp where SubKind=##SubKind
--SubjectB

-- The chart of another account set ##DBName: groups ended by ";".
--SubjectC
delete from CW_Subject
delete from CW_SubLen
insert into CW_SubType select * from [##DBName]..CW_SubType
;
insert into CW_Subject select * from [##DBName]..CW_Subject
;
insert into CW_SubLen(KeyID,SubLen1,SubLen2,SubLen3,SubLen4,SubLen5,SubLen6) select KeyID,SubLen1,SubLen2,SubLen3,SubLen4,SubLen5,SubLen6 from [##DBName]..CW_SubLen
;
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade1') where Name='SubGrade1'
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade2') where Name='SubGrade2'
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade3') where Name='SubGrade3'
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade4') where Name='SubGrade4'
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade5') where Name='SubGrade5'
update T_Options set TxtValue=(select TxtValue from [##DBName]..T_Options where Name='SubGrade6') where Name='SubGrade6'
;
--SubjectD

-- The lists of departments, projects, employees and trading partners of
-- the account set ##DBName: one group per table.
--CopyListA
insert into T_Area select * from [##DBName]..T_Area
;
insert into T_TraderTp select * from [##DBName]..T_TraderTp
;
insert into T_Trader select * from [##DBName]..T_Trader
;
insert into T_Dept select * from [##DBName]..T_Dept
;
insert into T_EmpTp select * from [##DBName]..T_EmpTp
;
insert into T_Emp select * from [##DBName]..T_Emp
;
insert into T_Object select * from [##DBName]..T_Object
;
--CopyListB

-- Statement lines and items: charts of the older regulations (subject
-- kind 0), items matched to the new chart by code.
--ReportA
insert into CW_BSheet(KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) select KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind from VQTCWPack..CW_BSheet where SubKind=0 and RptTypeID=1
insert into CW_BSheetS(KeyID, SecID, SubID, SequNo, ZJTag, DCTag) select A.KeyID, SecID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo, ZJTag, DCTag from VQTCWPack..CW_BSheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=0 and A.KeyID in (select KeyID from VQTCWPack..CW_BSheet where SubKind=0 and RptTypeID=1)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=101
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=0 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=101)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=0 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401)
insert into CW_SheetC(KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag) select KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag from VQTCWPack..CW_SheetC where SubKind=0 and KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401)
--ReportB

-- Charts with subjects of class 6 (the 2006 standards): balance sheet
-- and income statement of kind 2, cash-flow statement of kind 0.
--ReportC
insert into CW_BSheet(KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) select KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind from VQTCWPack..CW_BSheet where SubKind=2 and RptTypeID=1
insert into CW_BSheetS(KeyID, SecID, SubID, SequNo, ZJTag, DCTag) select A.KeyID, SecID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo, ZJTag, DCTag from VQTCWPack..CW_BSheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=2 and A.KeyID in (select KeyID from VQTCWPack..CW_BSheet where SubKind=2 and RptTypeID=1)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=2 and RptTypeID=101
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=2 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=2 and RptTypeID=101)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, (case when A.SubCode is not null then S.KeyID else null end) as SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A left join CW_Subject S on S.Code=A.SubCode where A.SubKind=0 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401)
insert into CW_SheetC(KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag) select KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag from VQTCWPack..CW_SheetC where SubKind=0 and KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=0 and RptTypeID=401)
--ReportD

-- The small-enterprise chart of 2013 (kind 3): items keep the subject
-- keys the pack stores, which are those of the preset chart.
--ReportE
insert into CW_BSheet(KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) select KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind from VQTCWPack..CW_BSheet where SubKind=3 and RptTypeID=1
insert into CW_BSheetS(KeyID, SecID, SubID, SequNo, ZJTag, DCTag) select A.KeyID, SecID, SubID, SequNo, ZJTag, DCTag from VQTCWPack..CW_BSheetS A where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_BSheet where SubKind=3 and RptTypeID=1)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=101
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=101)
insert into CW_Sheet(KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue) select KeyID,RptTypeID,Name,SequNo,OrderNo,RowNo,LRTag,CalcKind,FixValue from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401
insert into CW_SheetS(KeyID,SecID,YMTag,ZJTag,FDTypeID,SubID,SequNo,FixValue) select A.KeyID,SecID,YMTag,ZJTag,FDTypeID, SubID, SequNo,FixValue from VQTCWPack..CW_SheetS A where A.SubKind=3 and A.KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401)
insert into CW_SheetC(KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag) select KeyID,SecID,ZJTag,CashFlowID,SequNo,FixValue,IOTag from VQTCWPack..CW_SheetC where SubKind=3 and KeyID in (select KeyID from VQTCWPack..CW_Sheet where SubKind=3 and RptTypeID=401)
--ReportF

-- The privilege catalogue of the pack, for keys the set lacks.
--Priv_A
insert into T_PrivGrp(KeyID, Code, Name, Remark) select KeyID, Code, Name, Remark from VQTCWPack.dbo.T_PrivGrp where KeyID not in (select KeyID from T_PrivGrp)
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) select KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark from VQTCWPack.dbo.T_Priv where KeyID not in (select KeyID from T_Priv)
--Priv_B
