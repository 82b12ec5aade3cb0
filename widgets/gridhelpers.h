// The two helpers that add a column to a data grid (a QTableView over a
// QStandardItemModel): the field it shows, its title (centred) and its
// width; one also makes the title act as a button, the other sets whether
// the column is read-only and its colour. Both return the new column's
// index, or nothing when the grid refuses (it has no such model).
#pragma once

#include <QColor>
#include <QString>

#include <optional>

class QTableView;
class QStandardItemModel;

// The role under which a column's header keeps the name of its field.
constexpr int kGridFieldRole = 0x0100 + 1;   // Qt::UserRole + 1

std::optional<int> AddGridColumn(QTableView* grid, const QString& field, const QString& title, int width,
                                 bool titleIsButton);
std::optional<int> AddGridColumnEx(QTableView* grid, const QString& field, const QString& title, int width,
                                   bool readOnly, const QColor& colour);

// The field a column shows ("" when none); and applies the column's
// read-only flag and colour to the items it holds now (after rows are added).
QString gridColumnField(const QStandardItemModel* model, int column);
void applyGridColumnStyle(QStandardItemModel* model, int column);
