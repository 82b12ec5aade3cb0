// Grid column helpers (see gridhelpers.h).
#include "gridhelpers.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

namespace {

constexpr int kReadOnlyRole = kGridFieldRole + 1;
constexpr int kColourRole = kGridFieldRole + 2;

std::optional<int> addColumn(QTableView* grid, const QString& field, const QString& title, int width)
{
    auto* model = grid ? qobject_cast<QStandardItemModel*>(grid->model()) : nullptr;
    if (!model)
        return std::nullopt;
    const int column = model->columnCount();
    auto* header = new QStandardItem(title);
    header->setTextAlignment(Qt::AlignCenter);
    header->setData(field, kGridFieldRole);
    model->setHorizontalHeaderItem(column, header);
    grid->setColumnWidth(column, width);
    return column;
}

}  // namespace

std::optional<int> AddGridColumn(QTableView* grid, const QString& field, const QString& title, int width,
                                 bool titleIsButton)
{
    std::optional<int> column = addColumn(grid, field, title, width);
    if (column)
        grid->horizontalHeader()->setSectionsClickable(titleIsButton);
    return column;
}

std::optional<int> AddGridColumnEx(QTableView* grid, const QString& field, const QString& title, int width,
                                   bool readOnly, const QColor& colour)
{
    std::optional<int> column = addColumn(grid, field, title, width);
    if (!column)
        return column;
    auto* model = static_cast<QStandardItemModel*>(grid->model());
    QStandardItem* header = model->horizontalHeaderItem(*column);
    header->setData(readOnly, kReadOnlyRole);
    header->setData(colour, kColourRole);
    applyGridColumnStyle(model, *column);
    return column;
}

QString gridColumnField(const QStandardItemModel* model, int column)
{
    const QStandardItem* header = model ? model->horizontalHeaderItem(column) : nullptr;
    return header ? header->data(kGridFieldRole).toString() : QString();
}

void applyGridColumnStyle(QStandardItemModel* model, int column)
{
    const QStandardItem* header = model ? model->horizontalHeaderItem(column) : nullptr;
    if (!header || !header->data(kReadOnlyRole).isValid())
        return;
    const bool readOnly = header->data(kReadOnlyRole).toBool();
    const QColor colour = header->data(kColourRole).value<QColor>();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStandardItem* item = model->item(row, column);
        if (!item) {
            item = new QStandardItem;
            model->setItem(row, column, item);
        }
        item->setEditable(!readOnly);
        if (colour.isValid())
            item->setBackground(colour);
    }
}
