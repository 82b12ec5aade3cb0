-- A month of bookkeeping in the sample books: the lists of departments,
-- employees and trading partners, the opening balances of 2024 and the
-- vouchers of January 2024 with the balances they leave. The sample
-- company trades in household appliances and is a general VAT payer
-- (13% on goods; 9% on transport and rent, 6% on services).
--
-- Runs after setup.sql, which has written the chart of accounts.

-- ---- lists -------------------------------------------------------------------------

insert into T_Dept(KeyID, Code, Name, ParentID, Closed) values (1, '01', '总经理办公室', null, 0)
insert into T_Dept(KeyID, Code, Name, ParentID, Closed) values (2, '02', '财务部', null, 0)
insert into T_Dept(KeyID, Code, Name, ParentID, Closed) values (3, '03', '销售部', null, 0)
insert into T_Dept(KeyID, Code, Name, ParentID, Closed) values (4, '04', '采购部', null, 0)
insert into T_Dept(KeyID, Code, Name, ParentID, Closed) values (5, '05', '仓储部', null, 0)
GO

insert into T_EmpTp(KeyID, Code, Name) values (1, '01', '管理人员')
insert into T_EmpTp(KeyID, Code, Name) values (2, '02', '销售人员')
insert into T_EmpTp(KeyID, Code, Name) values (3, '03', '仓储人员')
GO

insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (1, '001', '张明', 1, 1, '男', '13800000001', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (2, '002', '李华', 2, 1, '女', '13800000002', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (3, '003', '赵敏', 2, 1, '女', '13800000003', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (4, '004', '王强', 3, 2, '男', '13800000004', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (5, '005', '陈静', 3, 2, '女', '13800000005', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (6, '006', '刘洋', 4, 1, '男', '13800000006', 0)
insert into T_Emp(KeyID, Code, Name, DeptID, EmpTpID, Sex, Tel, Closed) values (7, '007', '孙伟', 5, 3, '男', '13800000007', 0)
GO

insert into T_Area(KeyID, Code, Name, ParentID) values (1, '01', '华东地区', null)
insert into T_Area(KeyID, Code, Name, ParentID) values (2, '0101', '示例市', 1)
insert into T_Area(KeyID, Code, Name, ParentID) values (3, '0102', '样本市', 1)
insert into T_Area(KeyID, Code, Name, ParentID) values (4, '02', '华南地区', null)
insert into T_Area(KeyID, Code, Name, ParentID) values (5, '0201', '范例市', 4)
GO

insert into T_TraderTp(KeyID, Code, Name) values (1, '01', '客户')
insert into T_TraderTp(KeyID, Code, Name) values (2, '02', '供应商')
GO

insert into T_Trader(KeyID, Code, Name, ShortName, TraderTpID, AreaID, Address, Tel, Linkman, BankName, BankAccNo, TaxNo, Closed)
values (1, 'C001', '示例市新华商场有限公司', '新华商场', 1, 2, '示例市中山路100号', '010-00000101', '周经理', '示例银行中山路支行', '6200 0000 0000 0000 101', '91000000MA0000101X', 0)
insert into T_Trader(KeyID, Code, Name, ShortName, TraderTpID, AreaID, Address, Tel, Linkman, BankName, BankAccNo, TaxNo, Closed)
values (2, 'C002', '样本市华东百货有限公司', '华东百货', 1, 3, '样本市人民路200号', '020-00000102', '吴经理', '示例银行人民路支行', '6200 0000 0000 0000 102', '91000000MA0000102X', 0)
insert into T_Trader(KeyID, Code, Name, ShortName, TraderTpID, AreaID, Address, Tel, Linkman, BankName, BankAccNo, TaxNo, Closed)
values (3, 'C003', '示例市城南超市有限公司', '城南超市', 1, 2, '示例市南环路300号', '010-00000103', '郑经理', '示例银行南环路支行', '6200 0000 0000 0000 103', '91000000MA0000103X', 0)
insert into T_Trader(KeyID, Code, Name, ShortName, TraderTpID, AreaID, Address, Tel, Linkman, BankName, BankAccNo, TaxNo, Closed)
values (4, 'S001', '范例市嘉禾电器有限公司', '嘉禾电器', 2, 5, '范例市工业园88号', '030-00000201', '冯经理', '示例银行工业园支行', '6200 0000 0000 0000 201', '91000000MA0000201X', 0)
insert into T_Trader(KeyID, Code, Name, ShortName, TraderTpID, AreaID, Address, Tel, Linkman, BankName, BankAccNo, TaxNo, Closed)
values (5, 'S002', '示例市恒通贸易有限公司', '恒通贸易', 2, 2, '示例市北环路66号', '010-00000202', '何经理', '示例银行北环路支行', '6200 0000 0000 0000 202', '91000000MA0000202X', 0)
GO

-- ---- opening balances of 2024 ---------------------------------------------------------

-- Month 0 holds the balance at the start of the year, positive on the
-- subject's normal side. Debit side 921,520.00 = credit side 921,520.00.
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 8500.00, 0, 0, 8500.00, 0, 0 from CW_Subject where Code='1001'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 386420.00, 0, 0, 386420.00, 0, 0 from CW_Subject where Code='1002'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 126000.00, 0, 0, 126000.00, 0, 0 from CW_Subject where Code='1122'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 5000.00, 0, 0, 5000.00, 0, 0 from CW_Subject where Code='1221'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 215600.00, 0, 0, 215600.00, 0, 0 from CW_Subject where Code='1405'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 180000.00, 0, 0, 180000.00, 0, 0 from CW_Subject where Code='1601'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 36000.00, 0, 0, 36000.00, 0, 0 from CW_Subject where Code='1602'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 98300.00, 0, 0, 98300.00, 0, 0 from CW_Subject where Code='2202'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 42000.00, 0, 0, 42000.00, 0, 0 from CW_Subject where Code='2211001'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 12600.00, 0, 0, 12600.00, 0, 0 from CW_Subject where Code='2221002'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 882.00, 0, 0, 882.00, 0, 0 from CW_Subject where Code='2221008'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 560.00, 0, 0, 560.00, 0, 0 from CW_Subject where Code='2221012'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 378.00, 0, 0, 378.00, 0, 0 from CW_Subject where Code='2221013'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 500000.00, 0, 0, 500000.00, 0, 0 from CW_Subject where Code='3001'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 18000.00, 0, 0, 18000.00, 0, 0 from CW_Subject where Code='3101001'
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select KeyID, 2024, 0, 212800.00, 0, 0, 212800.00, 0, 0 from CW_Subject where Code='3104005'
GO

-- ---- vouchers of January 2024 ---------------------------------------------------------

-- Voucher word 记, numbered in date order; kept by the bookkeeper
-- (operator 2), audited and posted by the administrator. Entries on cash
-- and bank carry their cash-flow item.
-- 1
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (1, 2024, 1, 1, 1, '20240104', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (1, 1, 1, '发放2023年12月工资', (select KeyID from CW_Subject where Code='2211001'), 1, 1, 42000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (2, 1, 2, '发放2023年12月工资', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 41440.00, 11)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (3, 1, 3, '代扣个人所得税', (select KeyID from CW_Subject where Code='2221012'), 1, 1, 0.00, 560.00, null)
GO
-- 2
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (2, 2024, 1, 1, 2, '20240105', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (4, 2, 1, '购进商品，货款未付（嘉禾电器）', (select KeyID from CW_Subject where Code='1405'), 1, 1, 80000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (5, 2, 2, '购进商品进项税额', (select KeyID from CW_Subject where Code='2221001001'), 1, 1, 10400.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (6, 2, 3, '购进商品，货款未付（嘉禾电器）', (select KeyID from CW_Subject where Code='2202'), 1, 1, 0.00, 90400.00, null)
GO
-- 3
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (3, 2024, 1, 1, 3, '20240108', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (7, 3, 1, '销售商品，货款未收（华东百货）', (select KeyID from CW_Subject where Code='1122'), 1, 1, 169500.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (8, 3, 2, '销售商品收入', (select KeyID from CW_Subject where Code='5001'), 1, 1, 0.00, 150000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (9, 3, 3, '销售商品销项税额', (select KeyID from CW_Subject where Code='2221001005'), 1, 1, 0.00, 19500.00, null)
GO
-- 4
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (4, 2024, 1, 1, 4, '20240110', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (10, 4, 1, '缴纳2023年12月增值税', (select KeyID from CW_Subject where Code='2221002'), 1, 1, 12600.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (11, 4, 2, '缴纳2023年12月增值税', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 12600.00, 12)
GO
-- 5
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (5, 2024, 1, 1, 5, '20240110', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (12, 5, 1, '缴纳2023年12月城市维护建设税', (select KeyID from CW_Subject where Code='2221008'), 1, 1, 882.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (13, 5, 2, '缴纳2023年12月教育费附加', (select KeyID from CW_Subject where Code='2221013'), 1, 1, 378.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (14, 5, 3, '缴纳代扣个人所得税', (select KeyID from CW_Subject where Code='2221012'), 1, 1, 560.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (15, 5, 4, '缴纳2023年12月附加税费及个人所得税', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 1820.00, 12)
GO
-- 6
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (6, 2024, 1, 1, 6, '20240111', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (16, 6, 1, '收回前欠货款（新华商场）', (select KeyID from CW_Subject where Code='1002'), 1, 1, 126000.00, 0.00, 3)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (17, 6, 2, '收回前欠货款（新华商场）', (select KeyID from CW_Subject where Code='1122'), 1, 1, 0.00, 126000.00, null)
GO
-- 7
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (7, 2024, 1, 1, 7, '20240112', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (18, 7, 1, '销售商品，货款存入银行（城南超市）', (select KeyID from CW_Subject where Code='1002'), 1, 1, 113000.00, 0.00, 3)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (19, 7, 2, '销售商品收入', (select KeyID from CW_Subject where Code='5001'), 1, 1, 0.00, 100000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (20, 7, 3, '销售商品销项税额', (select KeyID from CW_Subject where Code='2221001005'), 1, 1, 0.00, 13000.00, null)
GO
-- 8
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (8, 2024, 1, 1, 8, '20240115', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (21, 8, 1, '支付前欠货款（恒通贸易）', (select KeyID from CW_Subject where Code='2202'), 1, 1, 98300.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (22, 8, 2, '支付前欠货款（恒通贸易）', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 98300.00, 9)
GO
-- 9
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (9, 2024, 1, 1, 9, '20240116', 3, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (23, 9, 1, '王强报销差旅费', (select KeyID from CW_Subject where Code='5602004'), 1, 1, 4620.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (24, 9, 2, '王强交回差旅费借款余额', (select KeyID from CW_Subject where Code='1001'), 1, 1, 380.00, 0.00, 7)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (25, 9, 3, '王强冲销差旅费借款', (select KeyID from CW_Subject where Code='1221'), 1, 1, 0.00, 5000.00, null)
GO
-- 10
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (10, 2024, 1, 1, 10, '20240117', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (26, 10, 1, '购买办公用品', (select KeyID from CW_Subject where Code='5602003'), 1, 1, 850.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (27, 10, 2, '购买办公用品', (select KeyID from CW_Subject where Code='1001'), 1, 1, 0.00, 850.00, 15)
GO
-- 11
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (11, 2024, 1, 1, 11, '20240118', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (28, 11, 1, '支付产品广告费', (select KeyID from CW_Subject where Code='5601002'), 1, 1, 6000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (29, 11, 2, '广告费进项税额', (select KeyID from CW_Subject where Code='2221001001'), 1, 1, 360.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (30, 11, 3, '支付产品广告费', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 6360.00, 15)
GO
-- 12
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (12, 2024, 1, 1, 12, '20240119', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (31, 12, 1, '支付销售商品运输费', (select KeyID from CW_Subject where Code='5601003'), 1, 1, 2000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (32, 12, 2, '运输费进项税额', (select KeyID from CW_Subject where Code='2221001001'), 1, 1, 180.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (33, 12, 3, '支付销售商品运输费', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 2180.00, 15)
GO
-- 13
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (13, 2024, 1, 1, 13, '20240122', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (34, 13, 1, '业务招待费', (select KeyID from CW_Subject where Code='5602005'), 1, 1, 1200.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (35, 13, 2, '业务招待费', (select KeyID from CW_Subject where Code='1001'), 1, 1, 0.00, 1200.00, 15)
GO
-- 14
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (14, 2024, 1, 1, 14, '20240124', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (36, 14, 1, '购进商品，货款已付（恒通贸易）', (select KeyID from CW_Subject where Code='1405'), 1, 1, 45000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (37, 14, 2, '购进商品进项税额', (select KeyID from CW_Subject where Code='2221001001'), 1, 1, 5850.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (38, 14, 3, '购进商品，货款已付（恒通贸易）', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 50850.00, 9)
GO
-- 15
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (15, 2024, 1, 1, 15, '20240125', 2, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (39, 15, 1, '支付1月份办公室租金', (select KeyID from CW_Subject where Code='5602008'), 1, 1, 6000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (40, 15, 2, '租金进项税额', (select KeyID from CW_Subject where Code='2221001001'), 1, 1, 540.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (41, 15, 3, '支付1月份办公室租金', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 6540.00, 15)
GO
-- 16
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (16, 2024, 1, 1, 16, '20240131', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (42, 16, 1, '银行结算手续费', (select KeyID from CW_Subject where Code='5603003'), 1, 1, 85.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (43, 16, 2, '银行结算手续费', (select KeyID from CW_Subject where Code='1002'), 1, 1, 0.00, 85.00, 15)
GO
-- 17
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (17, 2024, 1, 1, 17, '20240131', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (44, 17, 1, '计提1月份销售人员工资', (select KeyID from CW_Subject where Code='5601001'), 1, 1, 18000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (45, 17, 2, '计提1月份管理人员工资', (select KeyID from CW_Subject where Code='5602001'), 1, 1, 24000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (46, 17, 3, '计提1月份工资', (select KeyID from CW_Subject where Code='2211001'), 1, 1, 0.00, 42000.00, null)
GO
-- 18
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (18, 2024, 1, 1, 18, '20240131', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (47, 18, 1, '计提1月份销售部门固定资产折旧', (select KeyID from CW_Subject where Code='5601006'), 1, 1, 1000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (48, 18, 2, '计提1月份管理部门固定资产折旧', (select KeyID from CW_Subject where Code='5602006'), 1, 1, 2000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (49, 18, 3, '计提1月份固定资产折旧', (select KeyID from CW_Subject where Code='1602'), 1, 1, 0.00, 3000.00, null)
GO
-- 19
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (19, 2024, 1, 1, 19, '20240131', 1, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (50, 19, 1, '结转1月份已售商品成本', (select KeyID from CW_Subject where Code='5401'), 1, 1, 175000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (51, 19, 2, '结转1月份已售商品成本', (select KeyID from CW_Subject where Code='1405'), 1, 1, 0.00, 175000.00, null)
GO
-- 20
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (20, 2024, 1, 1, 20, '20240131', 0, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (52, 20, 1, '结转1月份应交未交增值税', (select KeyID from CW_Subject where Code='2221001004'), 1, 1, 15170.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (53, 20, 2, '结转1月份应交未交增值税', (select KeyID from CW_Subject where Code='2221002'), 1, 1, 0.00, 15170.00, null)
GO
-- 21
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (21, 2024, 1, 1, 21, '20240131', 0, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (54, 21, 1, '计提1月份城市维护建设税及教育费附加', (select KeyID from CW_Subject where Code='5403'), 1, 1, 1517.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (55, 21, 2, '计提1月份城市维护建设税', (select KeyID from CW_Subject where Code='2221008'), 1, 1, 0.00, 1061.90, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (56, 21, 3, '计提1月份教育费附加', (select KeyID from CW_Subject where Code='2221013'), 1, 1, 0.00, 455.10, null)
GO
-- 22
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (22, 2024, 1, 1, 22, '20240131', 0, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (57, 22, 1, '结转1月份收入', (select KeyID from CW_Subject where Code='5001'), 1, 1, 250000.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (58, 22, 2, '结转1月份收入', (select KeyID from CW_Subject where Code='3103'), 1, 1, 0.00, 250000.00, null)
GO
-- 23
insert into CW_Voucher(KeyID, CWYear, CWMonth, VouWordID, VouNo, VouDate, AttachNum, MakerID, AuditorID, PosterID, AuditFlag, PostFlag, Closed, Remark) values (23, 2024, 1, 1, 23, '20240131', 0, 2, 1, 1, 1, 1, 0, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (59, 23, 1, '结转1月份成本费用', (select KeyID from CW_Subject where Code='3103'), 1, 1, 242272.00, 0.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (60, 23, 2, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5401'), 1, 1, 0.00, 175000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (61, 23, 3, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5403'), 1, 1, 0.00, 1517.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (62, 23, 4, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5601001'), 1, 1, 0.00, 18000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (63, 23, 5, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5601002'), 1, 1, 0.00, 6000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (64, 23, 6, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5601003'), 1, 1, 0.00, 2000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (65, 23, 7, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5601006'), 1, 1, 0.00, 1000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (66, 23, 8, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602001'), 1, 1, 0.00, 24000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (67, 23, 9, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602003'), 1, 1, 0.00, 850.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (68, 23, 10, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602004'), 1, 1, 0.00, 4620.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (69, 23, 11, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602005'), 1, 1, 0.00, 1200.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (70, 23, 12, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602006'), 1, 1, 0.00, 2000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (71, 23, 13, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5602008'), 1, 1, 0.00, 6000.00, null)
insert into CW_VouDetail(KeyID, VouID, SecID, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, CashFlowID) values (72, 23, 14, '结转1月份成本费用', (select KeyID from CW_Subject where Code='5603003'), 1, 1, 0.00, 85.00, null)
GO

-- ---- balances of January 2024 ---------------------------------------------------------

-- Last-level subjects with an opening balance or a January entry: the
-- month's turnover from the posted vouchers; the year-to-date turnover is
-- the month's, January being the first month.
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select S.KeyID, 2024, 1,
       isnull(B.BeginBala, 0),
       isnull(M.DebitAmt, 0),
       isnull(M.CreditAmt, 0),
       (case when S.BoDebit=1
             then isnull(B.BeginBala, 0) + isnull(M.DebitAmt, 0) - isnull(M.CreditAmt, 0)
             else isnull(B.BeginBala, 0) + isnull(M.CreditAmt, 0) - isnull(M.DebitAmt, 0) end),
       isnull(M.DebitAmt, 0),
       isnull(M.CreditAmt, 0)
from CW_Subject S
left join CW_SubBala B on B.SubID=S.KeyID and B.CWYear=2024 and B.CWMonth=0
left join (select D.SubID, sum(D.DebitAmt) as DebitAmt, sum(D.CreditAmt) as CreditAmt
           from CW_VouDetail D
           join CW_Voucher V on V.KeyID=D.VouID
           where V.CWYear=2024 and V.CWMonth=1 and V.Closed=0
           group by D.SubID) M on M.SubID=S.KeyID
where S.BoEnd=1 and (B.SubID is not null or M.SubID is not null)
GO

-- Subjects with lower levels carry the sum of their last-level subjects,
-- for the opening balance and for January: a lower subject whose normal
-- side differs from the upper one's (进项税额 under 应交增值税) counts
-- with the opposite sign.
insert into CW_SubBala(SubID, CWYear, CWMonth, BeginBala, DebitAmt, CreditAmt, EndBala, DebitYear, CreditYear)
select P.KeyID, B.CWYear, B.CWMonth,
       sum(case when L.BoDebit=P.BoDebit then B.BeginBala else -B.BeginBala end),
       sum(B.DebitAmt),
       sum(B.CreditAmt),
       sum(case when L.BoDebit=P.BoDebit then B.EndBala else -B.EndBala end),
       sum(B.DebitYear),
       sum(B.CreditYear)
from CW_Subject P
join CW_Subject L on L.BoEnd=1 and L.Code like P.Code+'%' and L.Code<>P.Code
join CW_SubBala B on B.SubID=L.KeyID
where P.BoEnd=0
group by P.KeyID, B.CWYear, B.CWMonth
GO
