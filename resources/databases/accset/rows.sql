-- The rows an empty account set starts with: the administrator, the book
-- currency and the cash-flow items. Everything else is written by the
-- new account-set wizard or entered in the client.

-- The administrator (KeyID 1); the wizard sets the password it is given.
insert into T_Operator(KeyID, Code, Name, Password, PrivGrpID, IsAdmin, Closed, Remark)
values (1, '001', '系统管理员', '', null, 1, 0, '账套管理员')
GO

-- The book currency.
insert into CW_Money(MoneyID, Code, Name, Symbol, ExchRate, BoBase, Closed) values (1, 'RMB', '人民币', '￥', 1, 1, 0)
GO

-- Cash-flow items (IOTag +1 receipts, -1 payments, 0 headings). The
-- statement lines of the cash-flow statements sum them by KeyID.
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (1, '01', '经营活动产生的现金流量', 0, 1, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (2, '0101', '经营活动现金流入', 0, 2, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (3, '010101', '销售商品、提供劳务收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (4, '010102', '收到的税费返还', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (5, '010103', '收到的增值税销项税额和退回的增值税款', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (6, '010104', '收到的除增值税以外的其他税费返还', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (7, '010105', '收到其他与经营活动有关的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (8, '0102', '经营活动现金流出', 0, 2, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (9, '010201', '购买商品、接受劳务支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (10, '010202', '经营租赁所支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (11, '010203', '支付给职工以及为职工支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (12, '010204', '支付的各项税费', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (13, '010205', '支付的所得税款', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (14, '010206', '支付的除增值税、所得税以外的其他税费', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (15, '010207', '支付其他与经营活动有关的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (16, '02', '投资活动产生的现金流量', 0, 1, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (17, '0201', '投资活动现金流入', 0, 2, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (18, '020101', '收回投资收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (19, '020102', '取得投资收益收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (20, '020103', '处置固定资产、无形资产和其他长期资产收回的现金净额', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (21, '020104', '处置子公司及其他营业单位收到的现金净额', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (22, '020105', '收到其他与投资活动有关的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (23, '020106', '分得股利或利润所收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (24, '020107', '取得债券利息收入所收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (25, '0202', '投资活动现金流出', 0, 2, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (26, '020201', '购建固定资产、无形资产和其他长期资产支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (27, '020202', '投资支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (28, '020203', '权益性投资所支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (29, '020204', '债权性投资所支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (30, '020205', '取得子公司及其他营业单位支付的现金净额', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (31, '03', '筹资活动产生的现金流量', 0, 1, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (32, '030101', '吸收投资收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (33, '030102', '发行股票收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (34, '030103', '取得借款收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (35, '030104', '发行债券收到的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (36, '030105', '收到其他与筹资活动有关的现金', 1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (37, '030201', '偿还债务支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (38, '030202', '偿付借款利息支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (39, '030203', '分配股利或利润支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (40, '030204', '偿付债券利息支付的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (41, '030205', '支付其他与筹资活动有关的现金', -1, 3, 0)
insert into CW_CashFlow(KeyID, Code, Name, IOTag, Grade, Closed) values (42, '04', '汇率变动对现金及现金等价物的影响', 1, 1, 0)
GO
