// The preview of a preset chart of accounts, TSysSubjectViewForm: the
// chart of the chosen kind as the creation would write it, its codes
// converted to the chosen level lengths and its names indented by level.
#pragma once

#include <QDialog>

class QPushButton;
class QStandardItemModel;
class QTableView;

class TSysSubjectViewForm : public QDialog {
    Q_OBJECT

public:
    explicit TSysSubjectViewForm(QWidget* parent = nullptr);

    // The caption for a subject kind (0..4).
    static QString PreviewCaption(int kind);
    // The preview query for the kind and the lengths of levels 2 and 3.
    static QString PreviewSql(int kind, int L2, int L3);

    // Sets the caption and loads the chart on the catalogue connection.
    // False, after the error was shown, when the query failed: the window
    // is then not to be opened.
    bool ShowSubjectPreview(int kind, int L2, int L3);

private:
    QTableView* DBGridSubject = nullptr;
    QStandardItemModel* qrySubject = nullptr;
    QPushButton* btnExit = nullptr;
};
