// The grid column helpers on a real table view.
#include "gridhelpers.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

TEST(GridHelpers, AddColumnsWithFieldTitleWidthAndStyle)
{
    QTableView grid;
    QStandardItemModel model;
    grid.setModel(&model);

    std::optional<int> code = AddGridColumn(&grid, "Code", "科目编码", 150, true);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(model.horizontalHeaderItem(0)->text(), "科目编码");
    EXPECT_EQ(model.horizontalHeaderItem(0)->textAlignment(), Qt::AlignCenter);
    EXPECT_EQ(grid.columnWidth(0), 150);
    EXPECT_TRUE(grid.horizontalHeader()->sectionsClickable());
    EXPECT_EQ(gridColumnField(&model, 0), "Code");

    model.setRowCount(2);
    std::optional<int> end = AddGridColumnEx(&grid, "EndDate", "结束日期", 120, true, QColor(255, 255, 225));
    ASSERT_EQ(end, 1);
    EXPECT_EQ(gridColumnField(&model, 1), "EndDate");
    for (int row = 0; row < 2; ++row) {
        ASSERT_NE(model.item(row, 1), nullptr);
        EXPECT_FALSE(model.item(row, 1)->isEditable());
        EXPECT_EQ(model.item(row, 1)->background().color(), QColor(255, 255, 225));
    }
}

TEST(GridHelpers, AGridWithoutItsModelRefusesTheColumn)
{
    QTableView grid;
    EXPECT_FALSE(AddGridColumn(&grid, "Code", "科目编码", 150, false).has_value());
    EXPECT_FALSE(AddGridColumnEx(nullptr, "Code", "科目编码", 150, false, QColor()).has_value());
}
