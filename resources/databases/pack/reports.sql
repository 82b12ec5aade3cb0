-- Report definitions of the template pack. The wizard empties CW_Report of
-- a new account set and copies these rows into it. ReportKind: 1 balance
-- sheet, 2 income statement, 3 cash-flow statement, 9 custom report.
-- MaxParamID is the number of parameters the report asks for. ReportTemp
-- holds the definition as UTF-8 text in the format VQRD 1.0 (described in
-- PRINT_TEMPLATES.md beside this script): [Report] title, kind and rows,
-- [Params] the parameters, [Columns] the columns with their values, and
-- [Rows] the fixed rows of a custom report. Subjects are named by paths of
-- names ([应交增值税/销项税额]) so that one definition serves every chart
-- of accounts.

-- 资产负债表 (424 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (1, '资产负债表', 1, convert(varbinary(8000), '; 资产负债表：账套 CW_BSheet 中 RptTypeID 为 1 的行，取期末与年初余额
[Report]
Format=VQRD 1.0
Title=资产负债表
Kind=1
Unit=元
Rows=Lines(CW_BSheet,1)
Print=资产负债表
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
[Columns]
C1=项目,60,L,{Row.Name}
C2=行次,10,C,{Row.No}
C3=期末余额,32,R,=Line(End)
C4=年初余额,32,R,=Line(YBegin)
'), 2, 0, '1.0')

-- 利润表 (373 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (2, '利润表', 2, convert(varbinary(8000), '; 利润表：CW_Sheet 中 RptTypeID 为 101 的行
[Report]
Format=VQRD 1.0
Title=利润表
Kind=2
Unit=元
Rows=Lines(CW_Sheet,101)
Print=利润表
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
[Columns]
C1=项目,80,L,{Row.Name}
C2=行次,10,C,{Row.No}
C3=本月金额,32,R,=Line(M)
C4=本年累计金额,32,R,=Line(Y)
'), 2, 0, '1.0')

-- 现金流量表 (433 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (3, '现金流量表', 3, convert(varbinary(8000), '; 现金流量表：CW_Sheet 中 RptTypeID 为 401 的行，金额来自分录的现金流量项目
[Report]
Format=VQRD 1.0
Title=现金流量表
Kind=3
Unit=元
Rows=Lines(CW_Sheet,401)
Print=现金流量表
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
[Columns]
C1=项目,90,L,{Row.Name}
C2=行次,10,C,{Row.No}
C3=本月金额,32,R,=Line(M)
C4=本年累计金额,32,R,=Line(Y)
'), 2, 0, '1.0')

-- 应交增值税明细表 (1506 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (4, '应交增值税明细表', 9, convert(varbinary(8000), '; 应交增值税明细表：按科目名称取数，适用于各套科目体系
[Report]
Format=VQRD 1.0
Title=应交增值税明细表
Kind=9
Unit=元
Rows=Fixed
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
[Columns]
C1=项目,90,L,{Row.Name}
C2=行次,10,C,{Row.No}
C3=本月数,32,R,=Row(M)
C4=本年累计数,32,R,=Row(Y)
[Rows]
R1=一、应交增值税：,,
R2=1.年初未抵扣数（以“－”号填列）,1,Begin([应交增值税],Y)
R3=2.销项税额,2,Credit([应交增值税/销项税额])
R4=出口退税,3,Credit([应交增值税/出口退税])
R5=进项税额转出,4,Credit([应交增值税/进项税额转出])
R6=转出多交增值税,5,Credit([应交增值税/转出多交增值税])
R7=3.进项税额,6,Debit([应交增值税/进项税额])
R8=已交税金,7,Debit([应交增值税/已交税金])
R9=减免税款,8,Debit([应交增值税/减免税款])
R10=出口抵减内销产品应纳税额,9,Debit([应交增值税/出口抵减内销产品应纳税额])
R11=转出未交增值税,10,Debit([应交增值税/转出未交增值税])
R12=4.期末未抵扣数（以“－”号填列）,11,End([应交增值税])
R13=二、未交增值税：,,
R14=1.年初未交数（多交数以“－”号填列）,12,Begin([未交增值税],Y)
R15=2.本期转入数（多交数以“－”号填列）,13,R11-R6
R16=3.本期已交数,14,Debit([未交增值税])
R17=4.期末未交数（多交数以“－”号填列）,15,End([未交增值税])
'), 2, 0, '1.0')

-- 科目余额表 (749 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (5, '科目余额表', 9, convert(varbinary(8000), '; 科目余额表：所选期间各科目的期初余额、本期发生额和期末余额
[Report]
Format=VQRD 1.0
Title=科目余额表
Kind=9
Unit=元
Rows=Subjects(Grade<=@Level)
Print=科目余额表
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=FromMonth,起始期间,month,{Opt.CWWorkMonth}
P3=ToMonth,截止期间,month,{Opt.CWWorkMonth}
P4=Level,科目级次,int,1
P5=Unposted,包含未记账凭证,bool,0
[Columns]
C1=科目编码,26,L,{CW_Subject.Code}
C2=科目名称,50,L,{CW_Subject.Name}
C3=期初余额/借方,28,R,=BeginDr(*)
C4=期初余额/贷方,28,R,=BeginCr(*)
C5=本期发生额/借方,28,R,=Debit(*)
C6=本期发生额/贷方,28,R,=Credit(*)
C7=期末余额/借方,28,R,=EndDr(*)
C8=期末余额/贷方,28,R,=EndCr(*)
'), 5, 0, '1.0')

-- 科目汇总表 (499 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (6, '科目汇总表', 9, convert(varbinary(8000), '; 科目汇总表：所选期间有发生额的一级科目的借贷方发生额
[Report]
Format=VQRD 1.0
Title=科目汇总表
Kind=9
Unit=元
Rows=Subjects(Grade<=1 and Used)
Print=科目汇总表
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=FromMonth,起始期间,month,{Opt.CWWorkMonth}
P3=ToMonth,截止期间,month,{Opt.CWWorkMonth}
[Columns]
C1=科目编码,26,L,{CW_Subject.Code}
C2=科目名称,60,L,{CW_Subject.Name}
C3=借方金额,32,R,=Debit(*)
C4=贷方金额,32,R,=Credit(*)
'), 3, 0, '1.0')

-- 费用明细表 (550 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (7, '费用明细表', 9, convert(varbinary(8000), '; 费用明细表：期间费用及制造费用按明细科目列示本月数和本年累计数
[Report]
Format=VQRD 1.0
Title=费用明细表
Kind=9
Unit=元
Rows=Subjects(Under [销售费用];[营业费用];[管理费用];[财务费用];[制造费用] and Grade<=@Level)
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
P3=Level,科目级次,int,2
[Columns]
C1=科目编码,26,L,{CW_Subject.Code}
C2=费用项目,60,L,{CW_Subject.Name}
C3=本月数,32,R,=Debit(*)
C4=本年累计数,32,R,=Debit(*,Y)
'), 3, 0, '1.0')

-- 货币资金表 (605 bytes)
insert into CW_Report(KeyID, ReportName, ReportKind, ReportTemp, MaxParamID, Closed, Version) values (8, '货币资金表', 9, convert(varbinary(8000), '; 货币资金表：库存现金、银行存款和其他货币资金的期初、收入、支出与结存
[Report]
Format=VQRD 1.0
Title=货币资金表
Kind=9
Unit=元
Rows=Subjects(Under [库存现金];[现金];[银行存款];[其他货币资金] and Grade<=@Level)
Total=1
[Params]
P1=Year,会计年度,int,{Opt.CWWorkYear}
P2=Month,会计期间,month,{Opt.CWWorkMonth}
P3=Level,科目级次,int,1
[Columns]
C1=科目编码,26,L,{CW_Subject.Code}
C2=项目,50,L,{CW_Subject.Name}
C3=期初余额,30,R,=Begin(*)
C4=本期收入,30,R,=Debit(*)
C5=本期支出,30,R,=Credit(*)
C6=期末余额,30,R,=End(*)
'), 3, 0, '1.0')
GO
