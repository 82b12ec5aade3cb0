-- The account-set upgrade's script: the report result tables and the
-- lines of the small-enterprise cash-flow statement (report type 413).
-- Each section runs as one batch.

--RT_BalaSheetS_A
CREATE TABLE [dbo].[RT_BalaSheetS] ([YearMon] [T_INTEGER] NOT NULL,[SecID] [T_INTEGER] NOT NULL,[AstName] [T_VA128] NULL,[AstRowNo] [T_INTEGER] NULL,[AstSequNo] [T_INTEGER] NULL,[AstYB] [T_NUMBER] NULL,[AstMB] [T_NUMBER] NULL,[AstME] [T_NUMBER] NULL,[LiOwName] [T_VA128] NULL,[LiOwRowNo] [T_INTEGER] NULL,[LiOwSequNo] [T_INTEGER] NULL,[LiOwYB] [T_NUMBER] NULL,[LiOwMB] [T_NUMBER] NULL,[LiOwME] [T_NUMBER] NULL, CONSTRAINT [PK_RT_BALASHEETS] PRIMARY KEY NONCLUSTERED ([YearMon], [SecID]) ON [PRIMARY]) ON [PRIMARY]
--RT_BalaSheetS_B

--RT_ProfitLossD_A
CREATE TABLE [dbo].[RT_ProfitLossD] ([YearMon] [T_INTEGER] NOT NULL,[SecID] [T_INTEGER] NOT NULL,[PLName] [T_VA128] NULL,[RowNo] [T_INTEGER] NULL,[SequNo] [T_INTEGER] NULL,[MAmt] [T_NUMBER] NULL,[YAmt] [T_NUMBER] NULL, CONSTRAINT [PK_RT_PROFITLOSSD] PRIMARY KEY NONCLUSTERED ([YearMon], [SecID]) ON [PRIMARY]) ON [PRIMARY]
--RT_ProfitLossD_B

--RT_CashFlowS_A
CREATE TABLE [dbo].[RT_CashFlowS] ([YearMon] [T_INTEGER] NOT NULL,[SecID] [T_INTEGER] NOT NULL,[CFName] [T_VA128] NULL,[RowNo] [T_INTEGER] NULL,[SequNo] [T_INTEGER] NULL,[Amount] [T_MONEY] NULL, CONSTRAINT [PK_RT_CASHFLOWS] PRIMARY KEY NONCLUSTERED ([YearMon], [SecID]) ON [PRIMARY]) ON [PRIMARY]
--RT_CashFlowS_B

--CW_Sheet_413_A
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(501, 413, 1, 1, 0, 0, null, '一、经营活动产生的现金流量：')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(502, 413, 2, 2, 0, 1, 1, '    销售产成品、商品、提供劳务收到的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(503, 413, 3, 3, 0, 1, 2, '    收到的其他与经营活动有关的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(504, 413, 4, 4, 0, 1, 3, '    购买原材料、商品、接受劳务支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(505, 413, 5, 5, 0, 1, 4, '    支付的职工薪酬')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(506, 413, 6, 6, 0, 1, 5, '    支付的税费')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(507, 413, 7, 7, 0, 1, 6, '    支付其他与经营活动有关的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(508, 413, 8, 8, 0, 2, 7, '    经营活动产生的现金流量净额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(509, 413, 9, 9, 0, 0, null, '二、投资活动产生的现金流量：')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(510, 413, 10, 10, 0, 1, 8, '    收回短期投资、长期债券投资和长期股权投资收到的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(511, 413, 11, 11, 0, 1, 9, '    取得投资收益收到的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(512, 413, 12, 12, 0, 1, 10, '    处置固定资产、无形资产和其他非流动资产收回的现金净额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(513, 413, 13, 13, 0, 1, 11, '    短期投资、长期债券投资和长期股权投资支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(514, 413, 14, 14, 0, 1, 12, '    购建固定资产、无形资产和其他非流动资产支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(515, 413, 15, 15, 0, 2, 13, '    投资活动产生的现金流量净额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(516, 413, 16, 16, 0, 0, null, '三、筹资活动产生的现金流量：')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(517, 413, 17, 17, 0, 1, 14, '    取得借款收到的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(518, 413, 18, 18, 0, 1, 15, '    吸收投资者投资收到的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(519, 413, 19, 19, 0, 1, 16, '    偿还借款本金支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(520, 413, 20, 20, 0, 1, 17, '    偿还借款利息支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(521, 413, 21, 21, 0, 1, 18, '    分配利润支付的现金')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(522, 413, 22, 22, 0, 2, 19, '    筹资活动产生的现金流量净额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(523, 413, 23, 23, 0, 2, 20, '四、现金净增加额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(524, 413, 24, 24, 0, 3, 21, '加：期初现金余额')
insert into CW_Sheet(KeyID, RptTypeID, SequNo, OrderNo, LRTag, CalcKind, RowNo, Name) values(525, 413, 25, 25, 0, 2, 22, '五、期末现金余额')
--CW_Sheet_413_B

--CW_SheetC_413_A
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(502, 1, 1, 3, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(503, 1, 1, 4, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(503, 2, 1, 5, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(503, 3, 1, 6, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(503, 4, 1, 7, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(504, 1, 1, 9, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(505, 1, 1, 11, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(506, 1, 1, 12, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(506, 2, 1, 13, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(506, 3, 1, 14, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(507, 1, 1, 15, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(510, 1, 1, 18, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(511, 1, 1, 19, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(511, 2, 1, 23, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(511, 3, 1, 24, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(512, 1, 1, 20, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(513, 1, 1, 27, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(513, 2, 1, 28, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(513, 3, 1, 29, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(514, 1, 1, 26, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(517, 1, 1, 34, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(518, 1, 1, 32, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(518, 2, 1, 33, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(518, 3, 1, 35, 1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(519, 1, 1, 37, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(520, 1, 1, 38, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(520, 2, 1, 40, -1)
insert into CW_SheetC(KeyID, SecID, ZJTag, CashFlowID, IOTag) values(521, 1, 1, 39, -1)
--CW_SheetC_413_B

--CW_SheetS_413_A
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 1, 0, 1, 2)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 2, 0, 1, 3)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 3, 0, -1, 4)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 4, 0, -1, 5)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 5, 0, -1, 6)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(508, 6, 0, -1, 7)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(515, 1, 0, 1, 10)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(515, 2, 0, 1, 11)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(515, 3, 0, 1, 12)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(515, 4, 0, -1, 13)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(515, 5, 0, -1, 14)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(522, 1, 0, 1, 17)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(522, 2, 0, 1, 18)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(522, 3, 0, -1, 19)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(522, 4, 0, -1, 20)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(522, 5, 0, -1, 21)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(523, 1, 0, 1, 8)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(523, 2, 0, 1, 15)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(523, 3, 0, 1, 22)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(525, 1, 0, 1, 23)
insert into CW_SheetS(KeyID, SecID, YMTag, ZJTag, SequNo) values(525, 2, 0, 1, 24)
--CW_SheetS_413_B
