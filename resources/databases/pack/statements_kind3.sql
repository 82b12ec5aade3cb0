-- Statement lines of the template pack for subject kind 3: 小企业会计准则
-- (the Accounting Standards for Small Enterprises, 财会[2011]17号, in force
-- from 2013), laid out as its statement formats:
--   资产负债表 会小企01表  (CW_BSheet / CW_BSheetS, report type 1, KeyID 1..)
--   利润表     会小企02表  (CW_Sheet / CW_SheetS, report type 101, KeyID 1..)
--   现金流量表 会小企03表  (CW_Sheet / CW_SheetS / CW_SheetC, report type 401,
--                           KeyID 101..)
--
-- SequNo = OrderNo = KeyID; RowNo is the printed 行次 (null for headings).
-- CalcKind: 0 heading, 1 from subjects or cash-flow items, 2 total of other
-- lines, 3 entered by hand.
--
-- The wizard copies the items of this kind with their SubID as it stands, and
-- an account set built on this chart keeps the preset subjects' KeyIDs; so
-- every subject item looks its SubID up in the kind-3 chart of CW_SubTemp by
-- its level-1 code (this file runs after the chart has been loaded). SubCode
-- keeps the code as well.
--
-- 存货 sums the inventory accounts and the cost accounts (生产成本, 制造费用,
-- 工程施工, 机械作业), less 商品进销差价; its 其中 lines (原材料, 在产品,
-- 库存商品, 周转材料) are shown but not added again.
-- 累计折旧 has a line of its own, which 固定资产账面价值 subtracts; 生产性生物
-- 资产累计折旧 and 累计摊销 subtract from their assets. The 其中 lines of the
-- income statement are entered by hand. The cash-flow lines sum the same
-- cash-flow items as the small-enterprise lines of report type 413, and
-- also 经营租赁所支付的现金, 处置子公司及其他营业单位收到的现金净额 and
-- 取得子公司及其他营业单位支付的现金净额 where the format has them.

-- Balance-sheet lines (report type 1).
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 1, 1, 1, 1, '流动资产：', null, 0, 0)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 2, 1, 2, 2, '    货币资金', 1, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 3, 1, 3, 3, '    短期投资', 2, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 4, 1, 4, 4, '    应收票据', 3, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 5, 1, 5, 5, '    应收账款', 4, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 6, 1, 6, 6, '    预付账款', 5, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 7, 1, 7, 7, '    应收股利', 6, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 8, 1, 8, 8, '    应收利息', 7, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 9, 1, 9, 9, '    其他应收款', 8, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 10, 1, 10, 10, '    存货', 9, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 11, 1, 11, 11, '    其中：原材料', 10, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 12, 1, 12, 12, '    在产品', 11, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 13, 1, 13, 13, '    库存商品', 12, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 14, 1, 14, 14, '    周转材料', 13, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 15, 1, 15, 15, '    其他流动资产', 14, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 16, 1, 16, 16, '    流动资产合计', 15, 0, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 17, 1, 17, 17, '非流动资产：', null, 0, 0)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 18, 1, 18, 18, '    长期债券投资', 16, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 19, 1, 19, 19, '    长期股权投资', 17, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 20, 1, 20, 20, '    固定资产原价', 18, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 21, 1, 21, 21, '    减：累计折旧', 19, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 22, 1, 22, 22, '    固定资产账面价值', 20, 0, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 23, 1, 23, 23, '    在建工程', 21, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 24, 1, 24, 24, '    工程物资', 22, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 25, 1, 25, 25, '    固定资产清理', 23, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 26, 1, 26, 26, '    生产性生物资产', 24, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 27, 1, 27, 27, '    无形资产', 25, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 28, 1, 28, 28, '    开发支出', 26, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 29, 1, 29, 29, '    长期待摊费用', 27, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 30, 1, 30, 30, '    其他非流动资产', 28, 0, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 31, 1, 31, 31, '    非流动资产合计', 29, 0, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 32, 1, 32, 32, '资产总计', 30, 0, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 33, 1, 33, 33, '流动负债：', null, 1, 0)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 34, 1, 34, 34, '    短期借款', 31, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 35, 1, 35, 35, '    应付票据', 32, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 36, 1, 36, 36, '    应付账款', 33, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 37, 1, 37, 37, '    预收账款', 34, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 38, 1, 38, 38, '    应付职工薪酬', 35, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 39, 1, 39, 39, '    应交税费', 36, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 40, 1, 40, 40, '    应付利息', 37, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 41, 1, 41, 41, '    应付利润', 38, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 42, 1, 42, 42, '    其他应付款', 39, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 43, 1, 43, 43, '    其他流动负债', 40, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 44, 1, 44, 44, '    流动负债合计', 41, 1, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 45, 1, 45, 45, '非流动负债：', null, 1, 0)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 46, 1, 46, 46, '    长期借款', 42, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 47, 1, 47, 47, '    长期应付款', 43, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 48, 1, 48, 48, '    递延收益', 44, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 49, 1, 49, 49, '    其他非流动负债', 45, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 50, 1, 50, 50, '    非流动负债合计', 46, 1, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 51, 1, 51, 51, '负债合计', 47, 1, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 52, 1, 52, 52, '所有者权益（或股东权益）：', null, 1, 0)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 53, 1, 53, 53, '    实收资本（或股本）', 48, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 54, 1, 54, 54, '    资本公积', 49, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 55, 1, 55, 55, '    盈余公积', 50, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 56, 1, 56, 56, '    未分配利润', 51, 1, 1)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 57, 1, 57, 57, '    所有者权益（或股东权益）合计', 52, 1, 2)
insert into CW_BSheet(SubKind, KeyID, RptTypeID, SequNo, OrderNo, Name, RowNo, LRTag, CalcKind) values (3, 58, 1, 58, 58, '负债和所有者权益（或股东权益）总计', 53, 1, 2)
GO

-- Balance-sheet items: subjects by level-1 code (ZJTag -1 for the contra
-- accounts), or for total lines the lines they combine, by SequNo.
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 2, 1, '1001', (select KeyID from CW_SubTemp where SubKind=3 and Code='1001'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 2, 2, '1002', (select KeyID from CW_SubTemp where SubKind=3 and Code='1002'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 2, 3, '1012', (select KeyID from CW_SubTemp where SubKind=3 and Code='1012'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 3, 1, '1101', (select KeyID from CW_SubTemp where SubKind=3 and Code='1101'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 4, 1, '1121', (select KeyID from CW_SubTemp where SubKind=3 and Code='1121'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 5, 1, '1122', (select KeyID from CW_SubTemp where SubKind=3 and Code='1122'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 6, 1, '1123', (select KeyID from CW_SubTemp where SubKind=3 and Code='1123'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 7, 1, '1131', (select KeyID from CW_SubTemp where SubKind=3 and Code='1131'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 8, 1, '1132', (select KeyID from CW_SubTemp where SubKind=3 and Code='1132'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 9, 1, '1221', (select KeyID from CW_SubTemp where SubKind=3 and Code='1221'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 1, '1401', (select KeyID from CW_SubTemp where SubKind=3 and Code='1401'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 2, '1402', (select KeyID from CW_SubTemp where SubKind=3 and Code='1402'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 3, '1403', (select KeyID from CW_SubTemp where SubKind=3 and Code='1403'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 4, '1404', (select KeyID from CW_SubTemp where SubKind=3 and Code='1404'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 5, '1405', (select KeyID from CW_SubTemp where SubKind=3 and Code='1405'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 6, '1407', (select KeyID from CW_SubTemp where SubKind=3 and Code='1407'), null, -1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 7, '1408', (select KeyID from CW_SubTemp where SubKind=3 and Code='1408'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 8, '1411', (select KeyID from CW_SubTemp where SubKind=3 and Code='1411'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 9, '1421', (select KeyID from CW_SubTemp where SubKind=3 and Code='1421'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 10, '4001', (select KeyID from CW_SubTemp where SubKind=3 and Code='4001'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 11, '4101', (select KeyID from CW_SubTemp where SubKind=3 and Code='4101'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 12, '4401', (select KeyID from CW_SubTemp where SubKind=3 and Code='4401'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 10, 13, '4403', (select KeyID from CW_SubTemp where SubKind=3 and Code='4403'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 11, 1, '1403', (select KeyID from CW_SubTemp where SubKind=3 and Code='1403'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 11, 2, '1404', (select KeyID from CW_SubTemp where SubKind=3 and Code='1404'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 12, 1, '4001', (select KeyID from CW_SubTemp where SubKind=3 and Code='4001'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 13, 1, '1405', (select KeyID from CW_SubTemp where SubKind=3 and Code='1405'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 13, 2, '1407', (select KeyID from CW_SubTemp where SubKind=3 and Code='1407'), null, -1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 14, 1, '1411', (select KeyID from CW_SubTemp where SubKind=3 and Code='1411'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 15, 1, '1901', (select KeyID from CW_SubTemp where SubKind=3 and Code='1901'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 1, null, null, 2, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 2, null, null, 3, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 3, null, null, 4, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 4, null, null, 5, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 5, null, null, 6, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 6, null, null, 7, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 7, null, null, 8, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 8, null, null, 9, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 9, null, null, 10, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 16, 10, null, null, 15, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 18, 1, '1501', (select KeyID from CW_SubTemp where SubKind=3 and Code='1501'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 19, 1, '1511', (select KeyID from CW_SubTemp where SubKind=3 and Code='1511'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 20, 1, '1601', (select KeyID from CW_SubTemp where SubKind=3 and Code='1601'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 21, 1, '1602', (select KeyID from CW_SubTemp where SubKind=3 and Code='1602'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 22, 1, null, null, 20, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 22, 2, null, null, 21, -1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 23, 1, '1604', (select KeyID from CW_SubTemp where SubKind=3 and Code='1604'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 24, 1, '1605', (select KeyID from CW_SubTemp where SubKind=3 and Code='1605'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 25, 1, '1606', (select KeyID from CW_SubTemp where SubKind=3 and Code='1606'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 26, 1, '1621', (select KeyID from CW_SubTemp where SubKind=3 and Code='1621'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 26, 2, '1622', (select KeyID from CW_SubTemp where SubKind=3 and Code='1622'), null, -1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 27, 1, '1701', (select KeyID from CW_SubTemp where SubKind=3 and Code='1701'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 27, 2, '1702', (select KeyID from CW_SubTemp where SubKind=3 and Code='1702'), null, -1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 28, 1, '4301', (select KeyID from CW_SubTemp where SubKind=3 and Code='4301'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 29, 1, '1801', (select KeyID from CW_SubTemp where SubKind=3 and Code='1801'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 1, null, null, 18, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 2, null, null, 19, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 3, null, null, 22, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 4, null, null, 23, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 5, null, null, 24, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 6, null, null, 25, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 7, null, null, 26, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 8, null, null, 27, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 9, null, null, 28, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 10, null, null, 29, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 31, 11, null, null, 30, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 32, 1, null, null, 16, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 32, 2, null, null, 31, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 34, 1, '2001', (select KeyID from CW_SubTemp where SubKind=3 and Code='2001'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 35, 1, '2201', (select KeyID from CW_SubTemp where SubKind=3 and Code='2201'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 36, 1, '2202', (select KeyID from CW_SubTemp where SubKind=3 and Code='2202'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 37, 1, '2203', (select KeyID from CW_SubTemp where SubKind=3 and Code='2203'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 38, 1, '2211', (select KeyID from CW_SubTemp where SubKind=3 and Code='2211'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 39, 1, '2221', (select KeyID from CW_SubTemp where SubKind=3 and Code='2221'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 40, 1, '2231', (select KeyID from CW_SubTemp where SubKind=3 and Code='2231'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 41, 1, '2232', (select KeyID from CW_SubTemp where SubKind=3 and Code='2232'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 42, 1, '2241', (select KeyID from CW_SubTemp where SubKind=3 and Code='2241'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 1, null, null, 34, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 2, null, null, 35, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 3, null, null, 36, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 4, null, null, 37, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 5, null, null, 38, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 6, null, null, 39, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 7, null, null, 40, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 8, null, null, 41, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 9, null, null, 42, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 44, 10, null, null, 43, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 46, 1, '2501', (select KeyID from CW_SubTemp where SubKind=3 and Code='2501'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 47, 1, '2701', (select KeyID from CW_SubTemp where SubKind=3 and Code='2701'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 48, 1, '2401', (select KeyID from CW_SubTemp where SubKind=3 and Code='2401'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 50, 1, null, null, 46, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 50, 2, null, null, 47, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 50, 3, null, null, 48, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 50, 4, null, null, 49, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 51, 1, null, null, 44, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 51, 2, null, null, 50, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 53, 1, '3001', (select KeyID from CW_SubTemp where SubKind=3 and Code='3001'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 54, 1, '3002', (select KeyID from CW_SubTemp where SubKind=3 and Code='3002'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 55, 1, '3101', (select KeyID from CW_SubTemp where SubKind=3 and Code='3101'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 56, 1, '3103', (select KeyID from CW_SubTemp where SubKind=3 and Code='3103'), null, 1, 0
GO
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) select 3, 56, 2, '3104', (select KeyID from CW_SubTemp where SubKind=3 and Code='3104'), null, 1, 0
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 57, 1, null, null, 53, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 57, 2, null, null, 54, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 57, 3, null, null, 55, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 57, 4, null, null, 56, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 58, 1, null, null, 51, 1, 0)
insert into CW_BSheetS(SubKind, KeyID, SecID, SubCode, SubID, SequNo, ZJTag, DCTag) values (3, 58, 2, null, null, 57, 1, 0)
GO

-- Income-statement lines (report type 101).
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 1, 101, '一、营业收入', 1, 1, 1, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 2, 101, '    减：营业成本', 2, 2, 2, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 3, 101, '    营业税金及附加', 3, 3, 3, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 4, 101, '    其中：消费税', 4, 4, 4, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 5, 101, '    营业税', 5, 5, 5, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 6, 101, '    城市维护建设税', 6, 6, 6, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 7, 101, '    资源税', 7, 7, 7, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 8, 101, '    土地增值税', 8, 8, 8, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 9, 101, '    城镇土地使用税、房产税、车船税、印花税', 9, 9, 9, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 10, 101, '    教育费附加、矿产资源补偿费、排污费', 10, 10, 10, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 11, 101, '    销售费用', 11, 11, 11, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 12, 101, '    其中：商品维修费', 12, 12, 12, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 13, 101, '    广告费和业务宣传费', 13, 13, 13, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 14, 101, '    管理费用', 14, 14, 14, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 15, 101, '    其中：开办费', 15, 15, 15, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 16, 101, '    业务招待费', 16, 16, 16, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 17, 101, '    研究费用', 17, 17, 17, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 18, 101, '    财务费用', 18, 18, 18, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 19, 101, '    其中：利息费用（收入以“-”号填列）', 19, 19, 19, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 20, 101, '    加：投资收益（损失以“-”号填列）', 20, 20, 20, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 21, 101, '二、营业利润（亏损以“-”号填列）', 21, 21, 21, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 22, 101, '    加：营业外收入', 22, 22, 22, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 23, 101, '    其中：政府补助', 23, 23, 23, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 24, 101, '    减：营业外支出', 24, 24, 24, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 25, 101, '    其中：坏账损失', 25, 25, 25, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 26, 101, '    无法收回的长期债券投资损失', 26, 26, 26, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 27, 101, '    无法收回的长期股权投资损失', 27, 27, 27, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 28, 101, '    自然灾害等不可抗力因素造成的损失', 28, 28, 28, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 29, 101, '    税收滞纳金', 29, 29, 29, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 30, 101, '三、利润总额（亏损总额以“-”号填列）', 30, 30, 30, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 31, 101, '    减：所得税费用', 31, 31, 31, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 32, 101, '四、净利润（净亏损以“-”号填列）', 32, 32, 32, 0, 2, null)
GO

-- Income-statement items: revenue subjects by their net credit turnover
-- (FDTypeID 4), cost and expense subjects by their net debit turnover (3);
-- total lines combine other lines by SequNo.
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 1, 1, 0, 1, 4, '5001', (select KeyID from CW_SubTemp where SubKind=3 and Code='5001'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 1, 2, 0, 1, 4, '5051', (select KeyID from CW_SubTemp where SubKind=3 and Code='5051'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 2, 1, 0, 1, 3, '5401', (select KeyID from CW_SubTemp where SubKind=3 and Code='5401'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 2, 2, 0, 1, 3, '5402', (select KeyID from CW_SubTemp where SubKind=3 and Code='5402'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 3, 1, 0, 1, 3, '5403', (select KeyID from CW_SubTemp where SubKind=3 and Code='5403'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 11, 1, 0, 1, 3, '5601', (select KeyID from CW_SubTemp where SubKind=3 and Code='5601'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 14, 1, 0, 1, 3, '5602', (select KeyID from CW_SubTemp where SubKind=3 and Code='5602'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 18, 1, 0, 1, 3, '5603', (select KeyID from CW_SubTemp where SubKind=3 and Code='5603'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 20, 1, 0, 1, 4, '5111', (select KeyID from CW_SubTemp where SubKind=3 and Code='5111'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 1, 0, 1, null, null, null, 1, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 2, 0, -1, null, null, null, 2, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 3, 0, -1, null, null, null, 3, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 4, 0, -1, null, null, null, 11, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 5, 0, -1, null, null, null, 14, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 6, 0, -1, null, null, null, 18, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 21, 7, 0, 1, null, null, null, 20, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 22, 1, 0, 1, 4, '5301', (select KeyID from CW_SubTemp where SubKind=3 and Code='5301'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 24, 1, 0, 1, 3, '5711', (select KeyID from CW_SubTemp where SubKind=3 and Code='5711'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 30, 1, 0, 1, null, null, null, 21, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 30, 2, 0, 1, null, null, null, 22, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 30, 3, 0, -1, null, null, null, 24, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) select 3, 31, 1, 0, 1, 3, '5801', (select KeyID from CW_SubTemp where SubKind=3 and Code='5801'), null, null
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 32, 1, 0, 1, null, null, null, 30, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 32, 2, 0, -1, null, null, null, 31, null)
GO

-- Cash-flow statement lines (report type 401).
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 101, 401, '一、经营活动产生的现金流量：', 101, 101, null, 0, 0, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 102, 401, '    销售产成品、商品、提供劳务收到的现金', 102, 102, 1, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 103, 401, '    收到其他与经营活动有关的现金', 103, 103, 2, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 104, 401, '    购买原材料、商品、接受劳务支付的现金', 104, 104, 3, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 105, 401, '    支付的职工薪酬', 105, 105, 4, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 106, 401, '    支付的税费', 106, 106, 5, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 107, 401, '    支付其他与经营活动有关的现金', 107, 107, 6, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 108, 401, '    经营活动产生的现金流量净额', 108, 108, 7, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 109, 401, '二、投资活动产生的现金流量：', 109, 109, null, 0, 0, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 110, 401, '    收回短期投资、长期债券投资和长期股权投资收到的现金', 110, 110, 8, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 111, 401, '    取得投资收益收到的现金', 111, 111, 9, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 112, 401, '    处置固定资产、无形资产和其他非流动资产收回的现金净额', 112, 112, 10, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 113, 401, '    短期投资、长期债券投资和长期股权投资支付的现金', 113, 113, 11, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 114, 401, '    购建固定资产、无形资产和其他非流动资产支付的现金', 114, 114, 12, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 115, 401, '    投资活动产生的现金流量净额', 115, 115, 13, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 116, 401, '三、筹资活动产生的现金流量：', 116, 116, null, 0, 0, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 117, 401, '    取得借款收到的现金', 117, 117, 14, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 118, 401, '    吸收投资者投资收到的现金', 118, 118, 15, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 119, 401, '    偿还借款本金支付的现金', 119, 119, 16, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 120, 401, '    偿还借款利息支付的现金', 120, 120, 17, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 121, 401, '    分配利润支付的现金', 121, 121, 18, 0, 1, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 122, 401, '    筹资活动产生的现金流量净额', 122, 122, 19, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 123, 401, '四、现金净增加额', 123, 123, 20, 0, 2, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 124, 401, '加：期初现金余额', 124, 124, 21, 0, 3, null)
insert into CW_Sheet(SubKind, KeyID, RptTypeID, Name, SequNo, OrderNo, RowNo, LRTag, CalcKind, FixValue) values (3, 125, 401, '五、期末现金余额', 125, 125, 22, 0, 2, null)
GO

-- How the total lines of the cash-flow statement are summed, by SequNo.
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 1, 0, 1, null, null, null, 102, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 2, 0, 1, null, null, null, 103, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 3, 0, -1, null, null, null, 104, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 4, 0, -1, null, null, null, 105, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 5, 0, -1, null, null, null, 106, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 108, 6, 0, -1, null, null, null, 107, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 115, 1, 0, 1, null, null, null, 110, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 115, 2, 0, 1, null, null, null, 111, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 115, 3, 0, 1, null, null, null, 112, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 115, 4, 0, -1, null, null, null, 113, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 115, 5, 0, -1, null, null, null, 114, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 122, 1, 0, 1, null, null, null, 117, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 122, 2, 0, 1, null, null, null, 118, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 122, 3, 0, -1, null, null, null, 119, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 122, 4, 0, -1, null, null, null, 120, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 122, 5, 0, -1, null, null, null, 121, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 123, 1, 0, 1, null, null, null, 108, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 123, 2, 0, 1, null, null, null, 115, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 123, 3, 0, 1, null, null, null, 122, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 125, 1, 0, 1, null, null, null, 123, null)
insert into CW_SheetS(SubKind, KeyID, SecID, YMTag, ZJTag, FDTypeID, SubCode, SubID, SequNo, FixValue) values (3, 125, 2, 0, 1, null, null, null, 124, null)
GO

-- Cash-flow items summed into the item lines (CashFlowID of CW_CashFlow),
-- with the item's own IOTag: +1 cash received, -1 cash paid.
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 102, 1, 1, 3, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 103, 1, 1, 4, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 103, 2, 1, 5, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 103, 3, 1, 6, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 103, 4, 1, 7, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 104, 1, 1, 9, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 105, 1, 1, 11, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 106, 1, 1, 12, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 106, 2, 1, 13, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 106, 3, 1, 14, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 107, 1, 1, 10, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 107, 2, 1, 15, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 110, 1, 1, 18, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 110, 2, 1, 21, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 111, 1, 1, 19, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 111, 2, 1, 23, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 111, 3, 1, 24, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 112, 1, 1, 20, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 113, 1, 1, 27, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 113, 2, 1, 28, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 113, 3, 1, 29, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 113, 4, 1, 30, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 114, 1, 1, 26, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 117, 1, 1, 34, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 118, 1, 1, 32, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 118, 2, 1, 33, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 118, 3, 1, 35, null, null, 1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 119, 1, 1, 37, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 120, 1, 1, 38, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 120, 2, 1, 40, null, null, -1)
insert into CW_SheetC(SubKind, KeyID, SecID, ZJTag, CashFlowID, SequNo, FixValue, IOTag) values (3, 121, 1, 1, 39, null, null, -1)
GO
