-- Print templates of the template pack, copied into every new account set
-- (T_TempFile). TypeName groups them: 凭证 (vouchers), 账簿 (books), 报表
-- (statements). TempFile holds the template as UTF-8 text in the format
-- VQPT 1.0, described in PRINT_TEMPLATES.md beside this script: [Page]
-- paper and margins, [Title], [Header] and [Footer] items placed in
-- millimetres, [Detail] columns naming the account-set columns they print
-- (CW_VouDetail.Summary, DebitAmt, CreditAmt ...), [Total] the total row.
-- Each text stays below 8000 bytes.

-- 记账凭证 (1350 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (1, '凭证', '记账凭证', convert(varbinary(8000), '; 记账凭证：凭证纸 240×140 mm，每页 5 行分录，金额分格
[Template]
Format=VQPT 1.0
Name=记账凭证
Kind=Voucher
[Page]
Paper=Custom
Width=240
Height=140
Orientation=Portrait
Margins=12,8,8,8
Font=宋体,10
[Title]
Height=12
Text=记 账 凭 证
Font=隶书,20
Align=C
Line=Double
[Header]
Height=14
Item1=0,0,75,6,L,核算单位：{Opt.CorpName}
Item2=75,0,70,6,C,{CW_Voucher.VouDate|yyyy年M月d日}
Item3=145,0,75,6,R,{CW_Voucher.VouWordID->CW_VouWord.Name}字第 {CW_Voucher.VouNo|0000} 号
Item4=0,7,75,6,L,第 {Sys.PageNo}/{Sys.PageCount} 页
Item5=145,7,75,6,R,附单据 {CW_Voucher.AttachNum} 张
[Detail]
Source=CW_VouDetail
HeadHeight=8
RowHeight=9
Rows=5
Grid=1
Col1=摘要,50,L,{CW_VouDetail.Summary}
Col2=会计科目,76,L,{Row.SubFullName}
Col3=借方金额,47,R,{CW_VouDetail.DebitAmt|grid}
Col4=贷方金额,47,R,{CW_VouDetail.CreditAmt|grid}
Digits3=11
Digits4=11
[Total]
Height=9
Merge=1-2
Col1=L,合计：{Sum:CW_VouDetail.DebitAmt|words}
Col3=R,{Sum:CW_VouDetail.DebitAmt|grid}
Col4=R,{Sum:CW_VouDetail.CreditAmt|grid}
Print=Every
[Footer]
Height=8
Item1=0,2,44,6,L,会计主管：
Item2=44,2,44,6,L,记账：{CW_Voucher.PosterID->T_Operator.Name}
Item3=88,2,44,6,L,出纳：
Item4=132,2,44,6,L,审核：{CW_Voucher.AuditorID->T_Operator.Name}
Item5=176,2,44,6,L,制单：{CW_Voucher.MakerID->T_Operator.Name}
'), '通用记账凭证，240×140 毫米凭证纸，金额按亿至分分格打印，每张 5 行', '1.0', '2012-12-24')

-- 记账凭证（外币数量） (1624 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (2, '凭证', '记账凭证（外币数量）', convert(varbinary(8000), '; 记账凭证（外币数量）：A4 横向，外币、汇率、数量、单价各占一栏
[Template]
Format=VQPT 1.0
Name=记账凭证（外币数量）
Kind=Voucher
[Page]
Paper=A4
Orientation=Landscape
Margins=15,10,15,10
Font=宋体,10
[Title]
Height=12
Text=记 账 凭 证
Font=隶书,20
Align=C
Line=Double
[Header]
Height=14
Item1=0,0,100,6,L,核算单位：{Opt.CorpName}
Item2=100,0,67,6,C,{CW_Voucher.VouDate|yyyy年M月d日}
Item3=167,0,100,6,R,{CW_Voucher.VouWordID->CW_VouWord.Name}字第 {CW_Voucher.VouNo|0000} 号
Item4=0,7,100,6,L,第 {Sys.PageNo}/{Sys.PageCount} 页
Item5=167,7,100,6,R,附单据 {CW_Voucher.AttachNum} 张
[Detail]
Source=CW_VouDetail
HeadHeight=12
RowHeight=9
Rows=6
Grid=1
Col1=摘要,45,L,{CW_VouDetail.Summary}
Col2=会计科目,60,L,{Row.SubFullName}
Col3=外币/币种,14,C,{CW_VouDetail.MoneyID->CW_Money.Name}
Col4=外币/汇率,16,R,{CW_VouDetail.ExchRate|qty}
Col5=外币/原币金额,28,R,{CW_VouDetail.WaibiAmt|money}
Col6=数量/数量,18,R,{CW_VouDetail.Qty|qty}
Col7=数量/单价,20,R,{CW_VouDetail.Price|qty}
Col8=借方金额,33,R,{CW_VouDetail.DebitAmt|money}
Col9=贷方金额,33,R,{CW_VouDetail.CreditAmt|money}
[Total]
Height=9
Merge=1-7
Col1=L,合计：{Sum:CW_VouDetail.DebitAmt|words}
Col8=R,{Sum:CW_VouDetail.DebitAmt|money}
Col9=R,{Sum:CW_VouDetail.CreditAmt|money}
Print=Every
[Footer]
Height=8
Item1=0,2,53,6,L,会计主管：
Item2=53,2,53,6,L,记账：{CW_Voucher.PosterID->T_Operator.Name}
Item3=106,2,53,6,L,出纳：
Item4=159,2,54,6,L,审核：{CW_Voucher.AuditorID->T_Operator.Name}
Item5=213,2,54,6,L,制单：{CW_Voucher.MakerID->T_Operator.Name}
'), '带外币和数量栏的记账凭证，A4 横向，每张 6 行', '1.0', '2012-12-24')

-- 科目汇总表 (892 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (3, '凭证', '科目汇总表', convert(varbinary(8000), '; 科目汇总表：所选凭证按科目汇总，借方合计应等于贷方合计
[Template]
Format=VQPT 1.0
Name=科目汇总表
Kind=Voucher
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=科 目 汇 总 表
Font=宋体,18,B
Align=C
Line=Single
[Header]
Height=8
Item1=0,0,90,6,L,核算单位：{Opt.CorpName}
Item2=90,0,90,6,R,{Sys.Year}年{Sys.Month}月
[Detail]
Source=VouSummary
HeadHeight=8
RowHeight=7
Rows=0
Grid=1
Col1=科目编码,30,L,{CW_Subject.Code}
Col2=科目名称,70,L,{CW_Subject.Name}
Col3=借方金额,40,R,{Row.Debit|money}
Col4=贷方金额,40,R,{Row.Credit|money}
[Total]
Height=7
Merge=1-2
Col1=C,合    计
Col3=R,{Sum:Row.Debit|money}
Col4=R,{Sum:Row.Credit|money}
[Footer]
Height=8
Item1=0,2,60,6,L,会计主管：
Item2=60,2,60,6,L,制表：{Sys.Operator}
Item3=120,2,60,6,R,第 {Sys.PageNo}/{Sys.PageCount} 页
'), '所选凭证按一级科目汇总的借贷方发生额，A4 纵向', '1.0', '2012-12-24')

-- 总分类账 (867 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (4, '账簿', '总分类账', convert(varbinary(8000), '; 总分类账：每个科目按月一行（本月合计、本年累计），三栏式
[Template]
Format=VQPT 1.0
Name=总分类账
Kind=Book
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=总 分 类 账
Font=宋体,18,B
Align=C
Line=Double
[Header]
Height=8
Item1=0,0,120,6,L,科目：{Sys.SubFullName}
Item2=120,0,60,6,R,核算单位：{Opt.CorpName}
[Detail]
Source=SubBala
Subtotals=Opening+Month+Year
HeadHeight=12
RowHeight=7
Rows=0
Grid=1
Col1={Sys.Year}年/月,12,C,{Row.Month}
Col2={Sys.Year}年/日,10,C,{Row.Day}
Col3=摘要,52,L,{Row.Summary}
Col4=借方,32,R,{Row.Debit|money}
Col5=贷方,32,R,{Row.Credit|money}
Col6=借或贷,8,C,{Row.Dir}
Col7=余额,34,R,{Row.Balance|money}
[Footer]
Height=8
Item1=0,2,90,6,L,打印：{Sys.Operator}  {Sys.PrintDate|yyyy-MM-dd}
Item2=90,2,90,6,R,第 {Sys.PageNo} 页
'), '按月登记的总账：期初余额、本月合计、本年累计，三栏式，A4 纵向', '1.0', '2012-12-24')

-- 明细分类账 (894 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (5, '账簿', '明细分类账', convert(varbinary(8000), '; 明细分类账：科目及其下级科目的每笔分录，逐笔结出余额
[Template]
Format=VQPT 1.0
Name=明细分类账
Kind=Book
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=明 细 分 类 账
Font=宋体,18,B
Align=C
Line=Double
[Header]
Height=8
Item1=0,0,120,6,L,科目：{Sys.SubFullName}
Item2=120,0,60,6,R,币种：{Sys.Money}
[Detail]
Source=SubEntries
Subtotals=Opening+Month+Year
HeadHeight=12
RowHeight=7
Rows=0
Grid=1
Col1={Sys.Year}年/月,10,C,{Row.Month}
Col2={Sys.Year}年/日,10,C,{Row.Day}
Col3=凭证号,18,C,{Row.VouNo}
Col4=摘要,44,L,{Row.Summary}
Col5=借方,30,R,{Row.Debit|money}
Col6=贷方,30,R,{Row.Credit|money}
Col7=借或贷,8,C,{Row.Dir}
Col8=余额,30,R,{Row.Balance|money}
[Footer]
Height=8
Item1=0,2,90,6,L,打印：{Sys.Operator}  {Sys.PrintDate|yyyy-MM-dd}
Item2=90,2,90,6,R,第 {Sys.PageNo} 页
'), '逐笔登记的明细账，三栏式，A4 纵向', '1.0', '2012-12-24')

-- 现金日记账 (918 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (6, '账簿', '现金日记账', convert(varbinary(8000), '; 现金日记账：库存现金或银行存款科目的逐日登记，含本日合计
[Template]
Format=VQPT 1.0
Name=现金日记账
Kind=Book
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=现 金 日 记 账
Font=宋体,18,B
Align=C
Line=Double
[Header]
Height=8
Item1=0,0,100,6,L,科目：{Sys.SubFullName}
Item2=100,0,80,6,R,核算单位：{Opt.CorpName}
[Detail]
Source=SubEntries
Subtotals=Opening+Day+Month+Year
HeadHeight=12
RowHeight=7
Rows=0
Grid=1
Col1={Sys.Year}年/月,9,C,{Row.Month}
Col2={Sys.Year}年/日,9,C,{Row.Day}
Col3=凭证号,16,C,{Row.VouNo}
Col4=摘要,40,L,{Row.Summary}
Col5=对方科目,30,L,{Row.OppSub}
Col6=收入,27,R,{Row.Debit|money}
Col7=支出,27,R,{Row.Credit|money}
Col8=余额,22,R,{Row.Balance|money}
[Footer]
Height=8
Item1=0,2,90,6,L,打印：{Sys.Operator}  {Sys.PrintDate|yyyy-MM-dd}
Item2=90,2,90,6,R,第 {Sys.PageNo} 页
'), '库存现金日记账：逐笔登记并结出本日合计与余额，A4 纵向', '1.0', '2012-12-24')

-- 银行存款日记账 (937 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (7, '账簿', '银行存款日记账', convert(varbinary(8000), '; 银行存款日记账：库存现金或银行存款科目的逐日登记，含本日合计
[Template]
Format=VQPT 1.0
Name=银行存款日记账
Kind=Book
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=银 行 存 款 日 记 账
Font=宋体,18,B
Align=C
Line=Double
[Header]
Height=8
Item1=0,0,100,6,L,科目：{Sys.SubFullName}
Item2=100,0,80,6,R,账号：{Opt.CorpBankAccNo}
[Detail]
Source=SubEntries
Subtotals=Opening+Day+Month+Year
HeadHeight=12
RowHeight=7
Rows=0
Grid=1
Col1={Sys.Year}年/月,9,C,{Row.Month}
Col2={Sys.Year}年/日,9,C,{Row.Day}
Col3=凭证号,16,C,{Row.VouNo}
Col4=摘要,40,L,{Row.Summary}
Col5=对方科目,30,L,{Row.OppSub}
Col6=收入,27,R,{Row.Debit|money}
Col7=支出,27,R,{Row.Credit|money}
Col8=余额,22,R,{Row.Balance|money}
[Footer]
Height=8
Item1=0,2,90,6,L,打印：{Sys.Operator}  {Sys.PrintDate|yyyy-MM-dd}
Item2=90,2,90,6,R,第 {Sys.PageNo} 页
'), '银行存款日记账：逐笔登记并结出本日合计与余额，A4 纵向', '1.0', '2012-12-24')

-- 科目余额表 (1234 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (8, '账簿', '科目余额表', convert(varbinary(8000), '; 科目余额表：期初、本期发生、期末各分借贷两栏；合计只加一级科目
[Template]
Format=VQPT 1.0
Name=科目余额表
Kind=Book
[Page]
Paper=A4
Orientation=Landscape
Margins=15,12,15,12
Font=宋体,9
[Title]
Height=14
Text=科 目 余 额 表
Font=宋体,18,B
Align=C
Line=Single
[Header]
Height=8
Item1=0,0,120,6,L,核算单位：{Opt.CorpName}
Item2=120,0,147,6,R,{Sys.Year}年{Sys.Month}月
[Detail]
Source=SubList
HeadHeight=12
RowHeight=7
Rows=0
Grid=1
Col1=科目编码,30,L,{CW_Subject.Code}
Col2=科目名称,57,L,{CW_Subject.Name}
Col3=期初余额/借方,30,R,{Row.BeginDr|money}
Col4=期初余额/贷方,30,R,{Row.BeginCr|money}
Col5=本期发生额/借方,30,R,{Row.Debit|money}
Col6=本期发生额/贷方,30,R,{Row.Credit|money}
Col7=期末余额/借方,30,R,{Row.EndDr|money}
Col8=期末余额/贷方,30,R,{Row.EndCr|money}
[Total]
Height=7
Merge=1-2
Col1=C,合    计
Col3=R,{Sum:Row.BeginDr|money}
Col4=R,{Sum:Row.BeginCr|money}
Col5=R,{Sum:Row.Debit|money}
Col6=R,{Sum:Row.Credit|money}
Col7=R,{Sum:Row.EndDr|money}
Col8=R,{Sum:Row.EndCr|money}
[Footer]
Height=8
Item1=0,2,130,6,L,打印：{Sys.Operator}  {Sys.PrintDate|yyyy-MM-dd}
Item2=130,2,137,6,R,第 {Sys.PageNo}/{Sys.PageCount} 页
'), '各科目期初余额、本期发生额和期末余额，A4 横向', '1.0', '2012-12-24')

-- 资产负债表 (1029 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (9, '报表', '资产负债表', convert(varbinary(8000), '; 资产负债表：LRTag 为 0 的行印在左半，为 1 的印在右半
[Template]
Format=VQPT 1.0
Name=资产负债表
Kind=Statement
[Page]
Paper=A4
Orientation=Landscape
Margins=15,12,15,12
Font=宋体,9
[Title]
Height=14
Text=资 产 负 债 表
Font=宋体,18,B
Align=C
Line=None
[Header]
Height=8
Item1=0,0,110,6,L,编制单位：{Opt.CorpName}
Item2=110,0,67,6,C,{Sys.PeriodEnd|yyyy年M月d日}
Item3=177,0,90,6,R,单位：元
[Detail]
Source=CW_BSheet
Split=CW_BSheet.LRTag,4
HeadHeight=8
RowHeight=6
Rows=0
Grid=1
Col1=资产,56,L,{Row.Name}
Col2=行次,10,C,{Row.No}
Col3=期末余额,34,R,{Row.End|money}
Col4=年初余额,33.5,R,{Row.YBegin|money}
Col5=负债和所有者权益,56,L,{Row.Name}
Col6=行次,10,C,{Row.No}
Col7=期末余额,34,R,{Row.End|money}
Col8=年初余额,33.5,R,{Row.YBegin|money}
[Footer]
Height=10
Item1=0,3,66.75,6,L,单位负责人：
Item2=66.75,3,66.75,6,L,主管会计工作负责人：
Item3=133.5,3,66.75,6,L,会计机构负责人：
Item4=200.25,3,66.75,6,L,制表：{Sys.Operator}
'), '资产负债表，左资产、右负债和所有者权益，A4 横向', '1.0', '2012-12-24')

-- 利润表 (799 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (10, '报表', '利润表', convert(varbinary(8000), '; 利润表：CW_Sheet 中 RptTypeID 为 101 的行
[Template]
Format=VQPT 1.0
Name=利润表
Kind=Statement
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=利 润 表
Font=宋体,18,B
Align=C
Line=None
[Header]
Height=8
Item1=0,0,80,6,L,编制单位：{Opt.CorpName}
Item2=80,0,50,6,C,{Sys.Year}年{Sys.Month}月
Item3=130,0,50,6,R,单位：元
[Detail]
Source=CW_Sheet:101
HeadHeight=8
RowHeight=7
Rows=0
Grid=1
Col1=项目,96,L,{Row.Name}
Col2=行次,12,C,{Row.No}
Col3=本月金额,36,R,{Row.MonthAmt|money}
Col4=本年累计金额,36,R,{Row.YearAmt|money}
[Footer]
Height=10
Item1=0,3,45,6,L,单位负责人：
Item2=45,3,45,6,L,主管会计工作负责人：
Item3=90,3,45,6,L,会计机构负责人：
Item4=135,3,45,6,L,制表：{Sys.Operator}
'), '利润表，本月金额与本年累计金额，A4 纵向', '1.0', '2012-12-24')

-- 现金流量表 (822 bytes)
insert into T_TempFile(KeyID, TypeName, TempName, TempFile, Remark, Version, EditDate) values (11, '报表', '现金流量表', convert(varbinary(8000), '; 现金流量表：CW_Sheet 中 RptTypeID 为 401 的行
[Template]
Format=VQPT 1.0
Name=现金流量表
Kind=Statement
[Page]
Paper=A4
Orientation=Portrait
Margins=20,15,10,15
Font=宋体,10
[Title]
Height=14
Text=现 金 流 量 表
Font=宋体,18,B
Align=C
Line=None
[Header]
Height=8
Item1=0,0,80,6,L,编制单位：{Opt.CorpName}
Item2=80,0,50,6,C,{Sys.Year}年{Sys.Month}月
Item3=130,0,50,6,R,单位：元
[Detail]
Source=CW_Sheet:401
HeadHeight=8
RowHeight=6.5
Rows=0
Grid=1
Col1=项目,100,L,{Row.Name}
Col2=行次,12,C,{Row.No}
Col3=本月金额,34,R,{Row.MonthAmt|money}
Col4=本年累计金额,34,R,{Row.YearAmt|money}
[Footer]
Height=10
Item1=0,3,45,6,L,单位负责人：
Item2=45,3,45,6,L,主管会计工作负责人：
Item3=90,3,45,6,L,会计机构负责人：
Item4=135,3,45,6,L,制表：{Sys.Operator}
'), '现金流量表，本月金额与本年累计金额，A4 纵向', '1.0', '2012-12-24')
GO
