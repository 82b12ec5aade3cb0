// The new account-set wizard TSysNewAccSetForm: eight steps on a page area
// whose tabs are hidden, moved through with 上一步/下一步; every forward move
// checks the step it leaves. Nothing is written before 创建账套(&B) on the
// last step, which runs the create sequence (TNewAccSetCreator) on the
// choices entered; the window only gathers them and shows the checks'
// messages.
#pragma once

#include "newaccset.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableView;
class TAccSetCalendar;

class TSysNewAccSetForm : public QDialog {
    Q_OBJECT

public:
    explicit TSysNewAccSetForm(QWidget* parent = nullptr);
    ~TSysNewAccSetForm() override;

    int currentStep() const { return step_; }
    int stepCount() const { return stepCount_; }
    // The choices as the fields hold them now.
    TNewAccSetChoices choices() const;

    // The hints of the status bar.
    static QString DBNameHint();
    static QString PasswordHint();
    static QString Password2Hint();
    static QString CorpNameHint();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void ShowStep();
    bool ValidateStep();
    void btnPriorClick();
    void btnNextClick();
    void btnCancelClick();
    void btnCreateAccSetClick();
    // Step 4.
    void rbOtherClick();
    void rbStandardClick();
    void btnSubjectClick();
    // Step 5.
    void RadioGroupCalendarKindClick();
    void SpinEditYearChange(int year);
    void SetCalendarColumns();
    void cdsCalendarAfterScroll();

    QWidget* buildWelcomePage();
    QWidget* buildParamsPage();
    QWidget* buildCorpPage();
    QWidget* buildSubjectPage();
    QWidget* buildCalendarPage();
    QWidget* buildVoucherPage();
    QWidget* buildClosingPage();
    QWidget* buildCreatePage();
    // A label and an edit box in a row of a page; maxBytes 0: no limit.
    QLineEdit* addEdit(QWidget* page, const char* name, const QString& label, int row, int maxBytes,
                       bool password = false);
    // Gives the focus to the field with this object name.
    void focusField(const QString& name);

    int step_ = 1;
    int stepCount_ = 8;
    QStringList captions_;
    QList<QWidget*> entryFields_;   // the field focused on entering each step (or nullptr)

    QLabel* lblHint = nullptr;
    QLabel* lblStep = nullptr;
    QStackedWidget* PageControl = nullptr;
    QPushButton* btnPrior = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnCreateAccSet = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* StatusBarTip = nullptr;

    QLineEdit* EditDBName = nullptr;
    QLineEdit* EditAccName = nullptr;
    QLineEdit* EditPassword = nullptr;
    QLineEdit* EditPassword2 = nullptr;

    QLineEdit* EditCorpName = nullptr;
    QLineEdit* EditLegalRep = nullptr;
    QLineEdit* EditOrganizationNo = nullptr;
    QLineEdit* EditTaxNo = nullptr;
    QLineEdit* EditBankAccNo = nullptr;
    QLineEdit* EditLinkman = nullptr;
    QLineEdit* EditTel = nullptr;
    QLineEdit* EditFax = nullptr;
    QLineEdit* EditZip = nullptr;
    QLineEdit* EditAddress = nullptr;
    QLineEdit* EditEMail = nullptr;
    QLineEdit* EditURL = nullptr;

    QRadioButton* rbStandard = nullptr;
    QRadioButton* rbOther = nullptr;
    QComboBox* cmbSubKind = nullptr;
    QPushButton* btnSubject = nullptr;
    QComboBox* DBLkupEmAccList = nullptr;
    QCheckBox* ckbCopyList = nullptr;
    QSpinBox* SpinEditSub[6] = {};
    bool accListRead_ = false;

    QSpinBox* SpinEditYear = nullptr;
    QSpinBox* SpinEditMonth = nullptr;
    QButtonGroup* RadioGroupCalendarKind = nullptr;
    QTableView* DBGridCalendar = nullptr;
    TAccSetCalendar* cdsCalendar = nullptr;

    QCheckBox* ckbVouAudiKind = nullptr;
    QButtonGroup* rgVouWordGroup = nullptr;
    QComboBox* ComboBoxClearPL = nullptr;
};
