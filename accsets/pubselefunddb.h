// The attach dialog TPubSeleFundDBForm ("引入账套"): lists the databases
// of the server that look like account sets but are not active in the
// catalogue, and attaches the chosen one (AttachAccountSet). OK closes
// the dialog with OK in every case, also after a notice and with an empty
// list, so the manager always reloads its list afterwards.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

class TPubSeleFundDBForm : public QDialog {
    Q_OBJECT

public:
    explicit TPubSeleFundDBForm(QWidget* parent = nullptr);
    ~TPubSeleFundDBForm() override;

    // Creation: the candidates are read once.
    void FormCreate();

    QTableView* grid() const { return DBGridList; }
    // The codes listed, in order; and the selected one (empty text when
    // none is listed).
    QStringList codes() const;
    QString selectedCode() const;

    void btnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Gives the window its outer size, frame and caption included, once
    // the frame is known; and centres it.
    void placeOnScreen();

    QStandardItemModel* qryDBList = nullptr;
    QLabel* Label1 = nullptr;
    QTableView* DBGridList = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
};
