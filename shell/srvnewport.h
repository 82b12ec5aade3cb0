// The port dialog TSrvNewPortForm: the operator types the server's new
// listening port. OK takes only a whole number from 1 to 65535 (a larger
// one could not be listened on); anything else is refused with a box and
// the dialog stays open.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TSrvNewPortForm : public QDialog {
    Q_OBJECT

public:
    explicit TSrvNewPortForm(QWidget* parent = nullptr);

    // The port accepted by OK.
    int newPort() const { return newPort_; }

    void btnOkClick();

private:
    QLineEdit* EditNewPort = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    int newPort_ = 0;
};

// The refusal text for a port entry, or empty text when it is a port the
// listener can use.
QString PortEntryProblem(const QString& entry);
