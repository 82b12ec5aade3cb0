// Helpers of the account-set windows' tests: acting on a modal window
// while its exec() runs, clicking buttons by object name, and reading a
// grid as the operator sees it.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

namespace vqtest {

// Acts on the modal dialog of type T as soon as its exec() runs; rejects it
// afterwards if it is still open, so that a failing test cannot hang.
template <typename T>
void whileModal(std::function<void(T*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the expected dialog is not open";
        action(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

template <typename W>
W* child(const QWidget* window, const char* name)
{
    W* widget = window->findChild<W*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Clicks the window's button of that name with the mouse.
inline void clickButton(const QWidget* window, const char* name)
{
    QPushButton* button = child<QPushButton>(window, name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

// A grid's column, top to bottom.
inline QStringList gridColumn(const QTableView* grid, int column)
{
    QStringList out;
    const QAbstractItemModel* model = grid->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

// The column titles of a grid, left to right.
inline QStringList gridTitles(const QTableView* grid)
{
    QStringList out;
    const QAbstractItemModel* model = grid->model();
    for (int column = 0; column < model->columnCount(); ++column)
        out << model->headerData(column, Qt::Horizontal).toString();
    return out;
}

// The first column's text of the selected row: the current row, selected
// whole; "" when nothing is.
inline QString selectedText(const QTableView* grid)
{
    const QModelIndex current = grid->currentIndex();
    if (!current.isValid() || !grid->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return {};
    return grid->model()->index(current.row(), 0).data().toString();
}

// Clicks the grid's row `row` as the operator does.
inline void clickRow(QTableView* grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

}  // namespace vqtest
