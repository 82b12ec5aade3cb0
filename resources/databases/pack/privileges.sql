-- The privilege catalogue of the template pack, added to every new account
-- set (rows whose KeyID the set already holds are left alone).
--
-- T_PrivGrp: the functional groups the client's privilege tree shows.
-- T_Priv: one row per privilege. Code is the group's code followed by two
-- digits; KeyID is that code read as a number (0101 -> 101), so keys stay
-- stable when privileges are added. PrivGrpID is the group's KeyID.
-- ActionName names the client action the privilege enables. PrivMask is
-- the privilege's bit within its group (1, 2, 4 ...), so the privileges an
-- operator holds in one group fit in one integer.

-- ---- groups ----
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (1, '01', '凭证', '凭证的录入、修改、删除、查询和打印')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (2, '02', '审核', '凭证审核')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (3, '03', '记账', '凭证过账')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (4, '04', '账簿', '账簿的查询和打印')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (5, '05', '报表', '财务报表和自定义报表')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (6, '06', '期末', '期末处理')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (7, '07', '系统管理', '操作员、权限、账套参数和数据维护')
insert into T_PrivGrp(KeyID, Code, Name, Remark) values (8, '08', '基础资料', '科目和辅助核算资料')
GO

-- ---- 凭证 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (101, '0101', '凭证录入', 1, 'actVouNew', 1, '新增凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (102, '0102', '凭证修改', 1, 'actVouEdit', 2, '修改本人制单且未审核的凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (103, '0103', '凭证删除', 1, 'actVouDelete', 4, '删除未审核、未记账的凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (104, '0104', '凭证查询', 1, 'actVouQuery', 8, '按期间、凭证字号、科目和金额查询凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (105, '0105', '凭证打印', 1, 'actVouPrint', 16, '按凭证打印模板打印凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (106, '0106', '凭证作废', 1, 'actVouVoid', 32, '作废凭证或恢复已作废的凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (107, '0107', '凭证整理', 1, 'actVouRenumber', 64, '按日期重排一个期间的凭证号')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (108, '0108', '修改他人凭证', 1, 'actVouEditOthers', 128, '修改其他操作员制单的凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (109, '0109', '凭证导入导出', 1, 'actVouExport', 256, '凭证引入与导出')

-- ---- 审核 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (201, '0201', '凭证审核', 2, 'actVouAudit', 1, '审核凭证，审核人不能是制单人')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (202, '0202', '取消审核', 2, 'actVouUnAudit', 2, '取消本人的审核')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (203, '0203', '成批审核', 2, 'actVouAuditBatch', 4, '一次审核所选的全部凭证')

-- ---- 记账 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (301, '0301', '记账', 3, 'actVouPost', 1, '将已审核的凭证登记入账')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (302, '0302', '反记账', 3, 'actVouUnPost', 2, '恢复到记账前的状态')

-- ---- 账簿 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (401, '0401', '总账查询', 4, 'actBookGeneral', 1, '总分类账查询')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (402, '0402', '总账打印', 4, 'actBookGeneralPrint', 2, '总分类账打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (403, '0403', '明细账查询', 4, 'actBookDetail', 4, '明细分类账查询')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (404, '0404', '明细账打印', 4, 'actBookDetailPrint', 8, '明细分类账打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (405, '0405', '日记账查询', 4, 'actBookJournal', 16, '现金日记账、银行存款日记账查询')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (406, '0406', '日记账打印', 4, 'actBookJournalPrint', 32, '现金日记账、银行存款日记账打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (407, '0407', '余额表查询', 4, 'actBookBalance', 64, '科目余额表查询')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (408, '0408', '余额表打印', 4, 'actBookBalancePrint', 128, '科目余额表打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (409, '0409', '多栏账', 4, 'actBookMultiCol', 256, '多栏式明细账查询和打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (410, '0410', '辅助账', 4, 'actBookAux', 512, '部门、职员、项目、往来单位辅助账查询和打印')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (411, '0411', '数量金额账', 4, 'actBookQty', 1024, '数量金额明细账查询和打印')

-- ---- 报表 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (501, '0501', '报表查询', 5, 'actRptView', 1, '计算并查看报表')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (502, '0502', '报表打印', 5, 'actRptPrint', 2, '打印报表')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (503, '0503', '报表编辑', 5, 'actRptDesign', 4, '新建、修改和删除报表定义')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (504, '0504', '报表项目设置', 5, 'actRptLines', 8, '资产负债表、利润表、现金流量表的行和取数设置')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (505, '0505', '报表导出', 5, 'actRptExport', 16, '将报表导出为文件')

-- ---- 期末 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (601, '0601', '期末结转', 6, 'actPeriodTransfer', 1, '生成损益结转等期末结转凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (602, '0602', '结转定义', 6, 'actTransferDefine', 2, '定义自动转账凭证')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (603, '0603', '结账', 6, 'actPeriodClose', 4, '结束本期，进入下一期间')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (604, '0604', '反结账', 6, 'actPeriodReopen', 8, '取消上一期间的结账')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (605, '0605', '汇兑损益', 6, 'actExchAdjust', 16, '期末调整汇率并结转汇兑损益')

-- ---- 系统管理 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (701, '0701', '操作员管理', 7, 'actOperator', 1, '增加、修改和停用操作员')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (702, '0702', '权限分配', 7, 'actPrivAssign', 2, '为操作员分配权限')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (703, '0703', '账套参数', 7, 'actAccSetOptions', 4, '修改单位信息和账套选项')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (704, '0704', '数据备份', 7, 'actBackup', 8, '备份账套数据')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (705, '0705', '数据恢复', 7, 'actRestore', 16, '从备份文件恢复账套数据')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (706, '0706', '打印模板设置', 7, 'actPrintTemplate', 32, '修改凭证、账簿和报表的打印模板')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (707, '0707', '上机日志', 7, 'actSysLog', 64, '查看和清除操作日志')

-- ---- 基础资料 ----
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (801, '0801', '科目设置', 8, 'actSubject', 1, '会计科目的增加、修改、删除和辅助核算设置')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (802, '0802', '部门设置', 8, 'actDept', 2, '部门资料')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (803, '0803', '职员设置', 8, 'actEmp', 4, '职员及职员类别')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (804, '0804', '往来单位设置', 8, 'actTrader', 8, '客户、供应商及其类别和地区')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (805, '0805', '项目设置', 8, 'actObject', 16, '核算项目资料')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (806, '0806', '币种汇率', 8, 'actMoney', 32, '外币币种和汇率')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (807, '0807', '凭证字设置', 8, 'actVouWord', 64, '凭证字的增加、修改和停用')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (808, '0808', '现金流量项目', 8, 'actCashFlow', 128, '现金流量项目设置')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (809, '0809', '期初余额', 8, 'actInitBala', 256, '录入科目期初余额并试算平衡')
insert into T_Priv(KeyID, Code, Name, PrivGrpID, ActionName, PrivMask, Remark) values (810, '0810', '固定资产期初', 8, 'actFAInit', 512, '录入固定资产期初卡片')
GO
