// The recycle bin TSrvRecycleForm: the account sets deleted from the
// manager. Undo takes one back into the list; purge drops its database for
// good (after the administrator's password and a question). The commands
// of accsetcommands.h do the work; the window reloads the list after each
// and selects the row that took the changed one's place.
#pragma once

#include "acclist.h"

#include <QDialog>

class QPushButton;
class QTableView;
class QWidget;

class TSrvRecycleForm : public QDialog {
    Q_OBJECT

public:
    explicit TSrvRecycleForm(QWidget* parent = nullptr);
    ~TSrvRecycleForm() override;

    // Creation: the recycled account sets are read.
    void FormCreate();
    // Reloads the list and selects the row of this KeyID, the first row
    // when it is no longer listed.
    void RefreshList(int keyId);

    const TAccListModel& accList() const { return *qryAccList; }
    QTableView* grid() const { return DBGridList; }
    // The selected row's index, or -1 on an empty list.
    int selectedIndex() const;

    void btnUndoClick();
    void btnDeleteClick();

private:
    TAccListModel* qryAccList = nullptr;
    QTableView* DBGridList = nullptr;
    QWidget* PanelBottom = nullptr;
    QPushButton* btnUndo = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnExit = nullptr;
};
