// The base of the two log viewers, TSrvBaseLogForm: a modal window with a
// top panel (the subclasses fill it), the grid of login-log rows and a
// bottom panel with the exit button. Showing it reads the rows
// (RefreshLog, which each viewer defines) and lays out the seven columns.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTableView;
class QWidget;
class TClientLogModel;

class TSrvBaseLogForm : public QDialog {
    Q_OBJECT

public:
    explicit TSrvBaseLogForm(QWidget* parent = nullptr);
    ~TSrvBaseLogForm() override;

    // Reads the rows the viewer lists; the base lists none.
    virtual void RefreshLog() {}
    // The seven columns with their titles and widths, in order.
    void SetupColumns();
    // Reads the rows, then lays out the columns (when the window is shown).
    void FormShow();

    TClientLogModel& rows() const { return *qryClientLog; }
    QTableView* grid() const { return DBGridClientLog; }

protected:
    void showEvent(QShowEvent* event) override;
    // Runs the query on the catalogue; a failure is shown in an error box
    // and leaves the grid empty.
    void openLog(const QString& select);

    QWidget* PanelTop = nullptr;
    QWidget* PanelBottom = nullptr;
    QPushButton* btnExit = nullptr;

private:
    TClientLogModel* qryClientLog = nullptr;
    QTableView* DBGridClientLog = nullptr;
};
