// The account-set manager TSrvAccManageForm: the list of active account
// sets and the buttons that create, attach, back up, restore, delete,
// rename them and open the recycle bin. The window only chooses the row
// and reloads the list; the work is done by the commands of
// accsetcommands.h, which ask the operator whatever they need.
//
// Every button is always enabled: a command that needs a selected row
// looks for one itself and does nothing on an empty list.
#pragma once

#include "acclist.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTableView;

// The styling the account-set grids share: read-only, whole rows selected
// one at a time and kept visible when the grid loses the focus, titles
// centred and not clickable, no row numbers.
void StyleAccListGrid(QTableView* grid);
// The selected row of such a grid, or -1 when it lists nothing (a list
// that holds rows always has one selected; the first when none is).
int SelectedGridRow(const QTableView* grid);
// Selects the whole row `row` and makes it current (visible); the first
// row when `row` is out of range; nothing on an empty grid.
void SelectGridRow(QTableView* grid, int row);

class TSrvAccManageForm : public QDialog {
    Q_OBJECT

public:
    explicit TSrvAccManageForm(QWidget* parent = nullptr);
    ~TSrvAccManageForm() override;

    // Creation: the list is read (RefreshAccList(false)).
    void FormCreate();
    // Reloads the list. With keepSelection the row selected before stays
    // selected while it is still listed; otherwise the first row is.
    void RefreshAccList(bool keepSelection);
    // Selects the row of this KeyID or code (letter case ignored); the
    // first row when it is not listed. Nothing on an empty list.
    void selectKeyID(int keyId);
    void selectCode(const QString& code);

    const TAccListModel& accList() const { return *qryAccList; }
    QTableView* grid() const { return DBGridList; }
    // The selected row's index, or -1 on an empty list.
    int selectedIndex() const;

    void btnNewClick();
    void btnImportClick();
    void btnBackupClick();
    void btnRestoreClick();
    void btnDeleteClick();
    void btnRecycleClick();
    void btnRenameClick();
    void btnExitClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The columns share the grid's width in the proportion of their
    // designed widths (117 and 235).
    void fitColumns();

    TAccListModel* qryAccList = nullptr;
    QLabel* LabelTitle = nullptr;
    QTableView* DBGridList = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnBackup = nullptr;
    QPushButton* btnRestore = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnRecycle = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnExit = nullptr;
};
