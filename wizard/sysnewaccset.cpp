// The new account-set wizard (see sysnewaccset.h).
#include "sysnewaccset.h"

#include "accsetcalendar.h"
#include "gbklimit.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwstdfun.h"
#include "syssubjectview.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>

namespace {

constexpr int kWidth = 560;
constexpr int kBandHeight = 64;      // the white title band
constexpr int kPageHeight = 300;     // the page area
constexpr int kButtonTop = kBandHeight + kPageHeight + 10;
constexpr int kStatusTop = kButtonTop + 36;
constexpr int kHeight = kStatusTop + 20;

constexpr int kLabelLeft = 70;
constexpr int kEditLeft = 190;
constexpr int kEditWidth = 240;
constexpr int kRowHeight = 30;

QFont fontOf(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* addLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

}  // namespace

TSysNewAccSetForm::TSysNewAccSetForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SysNewAccSetForm");
    setWindowTitle(QStringLiteral("新建账套"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(fontOf(QStringLiteral("宋体"), 12));
    setFixedSize(kWidth, kHeight);

    // The white title band: the page's caption, the step counter, a picture.
    auto* band = new QFrame(this);
    band->setObjectName("PanelTitle");
    band->setGeometry(0, 0, kWidth, kBandHeight);
    band->setAutoFillBackground(true);
    QPalette white = band->palette();
    white.setColor(QPalette::Window, Qt::white);
    band->setPalette(white);
    lblHint = new QLabel(band);
    lblHint->setObjectName("lblHint");
    lblHint->setFont(fontOf(QStringLiteral("宋体"), 14, true));
    lblHint->setGeometry(20, 12, 300, 20);
    lblStep = new QLabel(band);
    lblStep->setObjectName("lblStep");
    lblStep->setGeometry(40, 38, 300, 16);
    auto* picture = new QLabel(band);
    picture->setObjectName("ImageTitle");
    picture->setPixmap(style()->standardIcon(QStyle::SP_FileDialogNewFolder).pixmap(40, 40));
    picture->setGeometry(kWidth - 60, 12, 40, 40);

    PageControl = new QStackedWidget(this);
    PageControl->setObjectName("PageControl");
    PageControl->setGeometry(0, kBandHeight, kWidth, kPageHeight);
    PageControl->addWidget(buildWelcomePage());
    PageControl->addWidget(buildParamsPage());
    PageControl->addWidget(buildCorpPage());
    PageControl->addWidget(buildSubjectPage());
    PageControl->addWidget(buildCalendarPage());
    PageControl->addWidget(buildVoucherPage());
    PageControl->addWidget(buildClosingPage());
    PageControl->addWidget(buildCreatePage());
    captions_ = {QStringLiteral("欢迎"),     QStringLiteral("账套参数"), QStringLiteral("企业信息"),
                 QStringLiteral("会计科目"), QStringLiteral("会计月历"), QStringLiteral("凭证选项"),
                 QStringLiteral("结转损益"), QStringLiteral("创建账套")};
    entryFields_ = {nullptr, EditDBName, EditCorpName, cmbSubKind, SpinEditYear, ckbVouAudiKind, ComboBoxClearPL,
                    nullptr};

    auto makeButton = [this](const QString& text, const char* name, int x) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, kButtonTop, 90, 25);
        button->setAutoDefault(false);
        return button;
    };
    btnPrior = makeButton(QStringLiteral("< 上一步(&P)"), "btnPrior", 160);
    btnNext = makeButton(QStringLiteral("下一步(&N) >"), "btnNext", 256);
    btnCreateAccSet = makeButton(QStringLiteral("创建账套(&B)"), "btnCreateAccSet", 352);
    btnCancel = makeButton(QStringLiteral("取消退出(&X)"), "btnCancel", 456);
    connect(btnPrior, &QPushButton::clicked, this, [this] { btnPriorClick(); });
    connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
    connect(btnCreateAccSet, &QPushButton::clicked, this, [this] { btnCreateAccSetClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    // The one-line status bar for the fields' hints, in the tooltip colour.
    StatusBarTip = new QLabel(this);
    StatusBarTip->setObjectName("StatusBarTip");
    StatusBarTip->setGeometry(0, kStatusTop, kWidth, 20);
    StatusBarTip->setAutoFillBackground(true);
    QPalette tip = StatusBarTip->palette();
    tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::WindowText, tip.color(QPalette::ToolTipText));
    StatusBarTip->setPalette(tip);
    StatusBarTip->setIndent(4);

    for (QLineEdit* edit : {EditDBName, EditPassword, EditPassword2, EditCorpName})
        edit->installEventFilter(this);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TSysNewAccSetForm::~TSysNewAccSetForm() = default;

QString TSysNewAccSetForm::DBNameHint()
{
    return QStringLiteral("提示：账套代号将作为创建数据库文件的一部分，在文件命名中不能使用的字符在此也都不能使用。");
}

QString TSysNewAccSetForm::PasswordHint()
{
    return QStringLiteral("提示：每个新建账套都预设有一名管理员，在此可输入新建账套的管理员的口令。");
}

QString TSysNewAccSetForm::Password2Hint()
{
    return QStringLiteral("提示：\"确认口令\"应当与\"管理员口令\"保持一致，否则您所输入的口令无效。");
}

QString TSysNewAccSetForm::CorpNameHint()
{
    return QStringLiteral("提示：\"单位名称\"就是您单位的名称，将会在单据，报表等需要打印单位名称的地方使用。");
}

// ---- the pages ----------------------------------------------------------------

QLineEdit* TSysNewAccSetForm::addEdit(QWidget* page, const char* name, const QString& label, int row, int maxBytes,
                                      bool password)
{
    const int y = 20 + row * kRowHeight;
    addLabel(page, label, kLabelLeft, y + 3);
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(kEditLeft, y, kEditWidth, 21);
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    if (maxBytes > 0)
        LimitGbkBytes(edit, maxBytes);
    return edit;
}

QWidget* TSysNewAccSetForm::buildWelcomePage()
{
    auto* page = new QWidget;
    page->setObjectName("TabWelcome");
    auto* picture = new QLabel(page);
    picture->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(64, 64));
    picture->setGeometry(60, 100, 64, 64);
    auto* greeting = addLabel(page, QStringLiteral("欢迎使用新建账套向导!"), 160, 120);
    greeting->setObjectName("LabelWelcome");
    greeting->setFont(fontOf(QStringLiteral("宋体"), 16, true));
    greeting->adjustSize();
    return page;
}

QWidget* TSysNewAccSetForm::buildParamsPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabParams");
    EditDBName = addEdit(page, "EditDBName", QStringLiteral("账套代号："), 1, 24);
    EditDBName->setFixedWidth(120);
    addLabel(page, QStringLiteral("(请尽量只使用字母或数字来组成账套代号)"), kEditLeft + 126, 20 + kRowHeight + 3);
    EditAccName = addEdit(page, "EditAccName", QStringLiteral("账套名称："), 2, 40);
    EditPassword = addEdit(page, "EditPassword", QStringLiteral("管理员口令："), 3, 60, true);
    EditPassword2 = addEdit(page, "EditPassword2", QStringLiteral("确认口令："), 4, 60, true);
    return page;
}

QWidget* TSysNewAccSetForm::buildCorpPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabCorp");
    // Two columns of six fields.
    struct Field {
        QLineEdit** edit;
        const char* name;
        const char* label;
        int maxBytes;
    };
    const Field fields[] = {
        {&EditCorpName, "EditCorpName", "单位名称：", 40},     {&EditLegalRep, "EditLegalRep", "法人代表：", 20},
        {&EditOrganizationNo, "EditOrganizationNo", "组织机构代码：", 20},
        {&EditTaxNo, "EditTaxNo", "纳税账号：", 20},          {&EditBankAccNo, "EditBankAccNo", "银行账号：", 20},
        {&EditLinkman, "EditLinkman", "联系人：", 0},         {&EditTel, "EditTel", "电话：", 0},
        {&EditFax, "EditFax", "传真号码：", 0},               {&EditZip, "EditZip", "邮编：", 6},
        {&EditAddress, "EditAddress", "通信地址：", 64},      {&EditEMail, "EditEMail", "电子邮箱：", 0},
        {&EditURL, "EditURL", "单位网址：", 0},
    };
    int row = 0;
    for (const Field& f : fields)
        *f.edit = addEdit(page, f.name, QString::fromUtf8(f.label), row++, f.maxBytes);
    return page;
}

QWidget* TSysNewAccSetForm::buildSubjectPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabSubject");
    auto* chart = new QGroupBox(QStringLiteral("选择企业所用会计科目"), page);
    chart->setGeometry(20, 12, 520, 130);
    rbStandard = new QRadioButton(QStringLiteral("标准会计科目"), chart);
    rbStandard->setObjectName("rbStandard");
    rbStandard->setGeometry(16, 24, 120, 20);
    rbStandard->setChecked(true);
    cmbSubKind = new QComboBox(chart);
    cmbSubKind->setObjectName("cmbSubKind");
    cmbSubKind->addItems({QStringLiteral("企业会计制度"), QStringLiteral("小企业会计制度"), QStringLiteral("新企业会计准则"),
                          QStringLiteral("小企业会计准则[2013]"), QStringLiteral("民间非营利会计准则")});
    cmbSubKind->setCurrentIndex(3);
    cmbSubKind->setGeometry(150, 22, 220, 22);
    btnSubject = new QPushButton(QStringLiteral("查看预设科目"), chart);
    btnSubject->setObjectName("btnSubject");
    btnSubject->setGeometry(390, 21, 110, 25);
    btnSubject->setAutoDefault(false);
    rbOther = new QRadioButton(QStringLiteral("从选择的账套复制会计科目"), chart);
    rbOther->setObjectName("rbOther");
    rbOther->setGeometry(16, 62, 200, 20);
    DBLkupEmAccList = new QComboBox(chart);
    DBLkupEmAccList->setObjectName("DBLkupEmAccList");
    DBLkupEmAccList->setGeometry(220, 60, 280, 22);
    ckbCopyList = new QCheckBox(QStringLiteral("同时复制部门，项目，员工，往来单位资料"), chart);
    ckbCopyList->setObjectName("ckbCopyList");
    ckbCopyList->setGeometry(220, 96, 290, 20);
    ckbCopyList->hide();
    connect(rbOther, &QRadioButton::clicked, this, [this] { rbOtherClick(); });
    connect(rbStandard, &QRadioButton::clicked, this, [this] { rbStandardClick(); });
    connect(btnSubject, &QPushButton::clicked, this, [this] { btnSubjectClick(); });

    auto* lengths = new QGroupBox(QStringLiteral("会计科目每级级长"), page);
    lengths->setGeometry(20, 152, 520, 100);
    const char* labels[] = {"一级长度：", "二级长度：", "三级长度：", "四级长度：", "五级长度：", "六级长度："};
    for (int i = 0; i < 6; ++i) {
        const int x = 16 + (i % 3) * 168;
        const int y = 26 + (i / 3) * 34;
        addLabel(lengths, QString::fromUtf8(labels[i]), x, y + 3);
        auto* spin = new QSpinBox(lengths);
        spin->setObjectName(QStringLiteral("SpinEditSub%1").arg(i + 1));
        spin->setGeometry(x + 72, y, 60, 22);
        if (i == 0) {
            spin->setRange(4, 4);
            spin->setValue(4);
            spin->setEnabled(false);   // level 1 is always four characters
        } else {
            spin->setRange(2, 5);
            spin->setValue(3);
        }
        SpinEditSub[i] = spin;
    }
    return page;
}

QWidget* TSysNewAccSetForm::buildCalendarPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabCalendar");
    addLabel(page, QStringLiteral("账套开始年度："), 20, 16);
    SpinEditYear = new QSpinBox(page);
    SpinEditYear->setObjectName("SpinEditYear");
    SpinEditYear->setRange(TAccSetCalendar::kMinYear, TAccSetCalendar::kMaxYear);
    SpinEditYear->setGeometry(112, 12, 70, 22);
    addLabel(page, QStringLiteral("账套开始月份："), 20, 50);
    SpinEditMonth = new QSpinBox(page);
    SpinEditMonth->setObjectName("SpinEditMonth");
    SpinEditMonth->setRange(1, 12);
    SpinEditMonth->setGeometry(112, 46, 70, 22);

    auto* kind = new QGroupBox(QStringLiteral("会计期间"), page);
    kind->setObjectName("RadioGroupCalendarKind");
    kind->setGeometry(20, 84, 160, 76);
    RadioGroupCalendarKind = new QButtonGroup(this);
    auto* natural = new QRadioButton(QStringLiteral("采用自然月份"), kind);
    natural->setObjectName("rbNaturalMonths");
    natural->setGeometry(12, 22, 140, 20);
    natural->setChecked(true);
    auto* userDefined = new QRadioButton(QStringLiteral("采用用户自定义月份"), kind);
    userDefined->setObjectName("rbUserMonths");
    userDefined->setGeometry(12, 48, 140, 20);
    RadioGroupCalendarKind->addButton(natural, TAccSetCalendar::kNaturalMonths);
    RadioGroupCalendarKind->addButton(userDefined, TAccSetCalendar::kUserDefinedMonths);

    cdsCalendar = new TAccSetCalendar(QDate::currentDate().year(), this);
    DBGridCalendar = new QTableView(page);
    DBGridCalendar->setObjectName("DBGridCalendar");
    DBGridCalendar->setModel(cdsCalendar);
    DBGridCalendar->setGeometry(200, 12, 344, 276);
    DBGridCalendar->verticalHeader()->hide();
    DBGridCalendar->verticalHeader()->setDefaultSectionSize(21);
    DBGridCalendar->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridCalendar->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGridCalendar->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    DBGridCalendar->horizontalHeader()->setSectionsClickable(false);

    connect(RadioGroupCalendarKind, &QButtonGroup::idClicked, this, [this](int) { RadioGroupCalendarKindClick(); });
    connect(SpinEditYear, &QSpinBox::valueChanged, this, [this](int year) { SpinEditYearChange(year); });
    connect(DBGridCalendar->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { cdsCalendarAfterScroll(); });
    return page;
}

QWidget* TSysNewAccSetForm::buildVoucherPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabVoucher");
    ckbVouAudiKind = new QCheckBox(QStringLiteral("凭证制单与审核不可以是相同操作员(&U)"), page);
    ckbVouAudiKind->setObjectName("ckbVouAudiKind");
    ckbVouAudiKind->setGeometry(kLabelLeft, 24, 360, 20);
    auto* group = new QGroupBox(QStringLiteral("选择账套使用的凭证字组"), page);
    group->setObjectName("rgVouWordGroup");
    group->setGeometry(kLabelLeft, 60, 360, 150);
    rgVouWordGroup = new QButtonGroup(this);
    const char* items[] = {"记(&J)", "收、付、转(&F)", "现、银、转(&Y)", "现收、现付、银收、银付、转(&R)"};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(QString::fromUtf8(items[i]), group);
        button->setObjectName(QStringLiteral("rbVouWord%1").arg(i));
        button->setGeometry(20, 24 + i * 30, 300, 20);
        rgVouWordGroup->addButton(button, i);
    }
    rgVouWordGroup->button(0)->setChecked(true);
    return page;
}

QWidget* TSysNewAccSetForm::buildClosingPage()
{
    auto* page = new QWidget;
    page->setObjectName("TabClosing");
    addLabel(page, QStringLiteral("期末结转损益方式："), kLabelLeft, 27);
    ComboBoxClearPL = new QComboBox(page);
    ComboBoxClearPL->setObjectName("ComboBoxClearPL");
    ComboBoxClearPL->addItems({QStringLiteral("账结法"), QStringLiteral("表结法")});
    ComboBoxClearPL->setGeometry(kLabelLeft + 120, 24, 120, 22);
    auto* explanation = new QPlainTextEdit(page);
    explanation->setObjectName("MemoClearPL");
    explanation->setReadOnly(true);
    explanation->setGeometry(kLabelLeft, 64, 380, 130);
    explanation->setPlainText(QStringLiteral("期末结转损益方式说明：\n"
                                             "使用账结法结转损益时，必须在每次期末结账\n"
                                             "之前结转损益，否则系统不能进行期末结账。而\n"
                                             "当使用表结法结转损益时，可以不必每期结转损\n"
                                             "益，但年末必须进行结转损益处理，否则不能进\n"
                                             "行年末结账的工作。"));
    return page;
}

QWidget* TSysNewAccSetForm::buildCreatePage()
{
    auto* page = new QWidget;
    page->setObjectName("TabCreate");
    auto* note = new QPlainTextEdit(page);
    note->setObjectName("MemoCreate");
    note->setReadOnly(true);
    note->setGeometry(kLabelLeft, 40, 400, 120);
    note->setPlainText(QStringLiteral("新建账套的各项初始设置已经完成。\n\n"
                                      "按\"创建账套\"按钮将创建新的账套，\n"
                                      "账套创建后可以登录账套进行数据初始化。"));
    return page;
}

// ---- moving through the steps -------------------------------------------------

void TSysNewAccSetForm::FormCreate()
{
    step_ = 1;
    stepCount_ = PageControl->count();
    ShowStep();
    // The calendar page: the start period from today, natural months.
    const QDate today = Today();
    SpinEditYear->blockSignals(true);
    SpinEditYear->setValue(std::clamp(today.year(), TAccSetCalendar::kMinYear, TAccSetCalendar::kMaxYear));
    SpinEditYear->blockSignals(false);
    SpinEditMonth->setValue(today.month());
    cdsCalendar->FillNaturalMonths(SpinEditYear->value());
    SetCalendarColumns();
}

void TSysNewAccSetForm::ShowStep()
{
    PageControl->setCurrentIndex(step_ - 1);
    lblHint->setText(captions_.value(step_ - 1));
    lblStep->setText(QStringLiteral("第%1步/共%2步").arg(step_).arg(stepCount_));
    btnPrior->setEnabled(step_ > 1);
    const bool last = step_ == stepCount_;
    btnCreateAccSet->setVisible(last);
    btnNext->setEnabled(!last);
    if (QWidget* field = entryFields_.value(step_ - 1))
        field->setFocus();
}

bool TSysNewAccSetForm::ValidateStep()
{
    QString focus;
    QString message;
    switch (step_) {
    case 2:
        runGuarded([&] {
            message = CheckAccSetParams(*LinkData, EditDBName->text(), EditAccName->text(), EditPassword->text(),
                                        EditPassword2->text(), &focus);
        });
        break;
    case 3: message = CheckCorpInfo(EditCorpName->text(), &focus); break;
    case 4: {
        const bool copy = rbOther->isChecked();
        message = CheckChartChoice(copy, copy ? DBLkupEmAccList->currentData().toString() : QString(), &focus);
        break;
    }
    default: break;
    }
    if (message.isEmpty())
        return true;
    ShowInfo(message, QStringLiteral("提示"));
    focusField(focus);
    return false;
}

void TSysNewAccSetForm::focusField(const QString& name)
{
    if (auto* field = findChild<QWidget*>(name))
        field->setFocus();
}

void TSysNewAccSetForm::btnPriorClick()
{
    if (step_ > 1) {
        --step_;
        ShowStep();
    }
}

void TSysNewAccSetForm::btnNextClick()
{
    if (step_ < stepCount_ && ValidateStep()) {
        ++step_;
        ShowStep();
    }
}

void TSysNewAccSetForm::btnCancelClick()
{
    reject();
}

void TSysNewAccSetForm::btnCreateAccSetClick()
{
    bool created = false;
    runGuarded([&] {
        TNewAccSetCreator creator(*LinkData);
        created = creator.Create(choices());
    });
    if (created)
        accept();
}

TNewAccSetChoices TSysNewAccSetForm::choices() const
{
    TNewAccSetChoices c;
    c.code = EditDBName->text();
    c.name = EditAccName->text();
    c.password = EditPassword->text();
    c.corpName = EditCorpName->text();
    c.legalRep = EditLegalRep->text();
    c.organizationNo = EditOrganizationNo->text();
    c.taxNo = EditTaxNo->text();
    c.bankAccNo = EditBankAccNo->text();
    c.linkman = EditLinkman->text();
    c.tel = EditTel->text();
    c.fax = EditFax->text();
    c.zip = EditZip->text();
    c.address = EditAddress->text();
    c.email = EditEMail->text();
    c.url = EditURL->text();
    c.subjectKind = cmbSubKind->currentIndex();
    for (int i = 0; i < 6; ++i)
        c.lengths[static_cast<std::size_t>(i)] = SpinEditSub[i]->value();
    c.copyChart = rbOther->isChecked();
    c.copyFromCode = c.copyChart ? DBLkupEmAccList->currentData().toString() : QString();
    c.copyLists = c.copyChart && ckbCopyList->isChecked();
    c.startYear = SpinEditYear->value();
    c.startMonth = SpinEditMonth->value();
    c.calendarKind = cdsCalendar->kind();
    for (const TCalendarMonth& month : cdsCalendar->months())
        c.calendar.append(month);
    c.vouAudiKind = ckbVouAudiKind->isChecked();
    c.vouWordGroup = rgVouWordGroup->checkedId();
    c.clearPLKind = ComboBoxClearPL->currentIndex();
    return c;
}

// ---- step 4: the chart of accounts ------------------------------------------

void TSysNewAccSetForm::rbOtherClick()
{
    if (!accListRead_) {
        accListRead_ = true;
        runGuarded([&] {
            LinkData->AccListDB.setCommandTimeout(TLinkData::kDefaultTimeout);
            const vqsql::ResultSet rs = LinkData->AccListDB.query(
                "select *, DBName+' '+AccName as ListName from AccList where DelFlag=0");
            const int code = rs.columnIndex("DBName");
            const int list = rs.columnIndex("ListName");
            for (const auto& row : rs.rows)
                DBLkupEmAccList->addItem(QString::fromStdString(row[static_cast<std::size_t>(list)].toString()),
                                         QString::fromStdString(row[static_cast<std::size_t>(code)].toString()));
        });
        // The first set is chosen when there is one; otherwise nothing is.
        DBLkupEmAccList->setCurrentIndex(DBLkupEmAccList->count() > 0 ? 0 : -1);
    }
    ckbCopyList->show();
}

void TSysNewAccSetForm::rbStandardClick()
{
    ckbCopyList->hide();
}

void TSysNewAccSetForm::btnSubjectClick()
{
    TSysSubjectViewForm preview(this);
    if (preview.ShowSubjectPreview(cmbSubKind->currentIndex(), SpinEditSub[1]->value(), SpinEditSub[2]->value()))
        preview.exec();
}

// ---- step 5: the calendar ----------------------------------------------------

void TSysNewAccSetForm::SetCalendarColumns()
{
    for (int column = 0; column < TAccSetCalendar::ColumnCount; ++column)
        DBGridCalendar->setColumnWidth(column, TAccSetCalendar::columnWidth(column));
    cdsCalendarAfterScroll();
}

void TSysNewAccSetForm::RadioGroupCalendarKindClick()
{
    cdsCalendar->setKind(RadioGroupCalendarKind->checkedId());
    SetCalendarColumns();
}

void TSysNewAccSetForm::SpinEditYearChange(int year)
{
    cdsCalendar->setStartYear(year);
}

void TSysNewAccSetForm::cdsCalendarAfterScroll()
{
    // Editable only on a row whose end date may be typed.
    const int row = DBGridCalendar->currentIndex().isValid() ? DBGridCalendar->currentIndex().row() : 0;
    DBGridCalendar->setEditTriggers(cdsCalendar->isRowEditable(row)
                                        ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                              QAbstractItemView::AnyKeyPressed
                                        : QAbstractItemView::NoEditTriggers);
}

// ---- the hints ------------------------------------------------------------------

bool TSysNewAccSetForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == EditDBName)
            StatusBarTip->setText(DBNameHint());
        else if (watched == EditPassword)
            StatusBarTip->setText(PasswordHint());
        else if (watched == EditPassword2)
            StatusBarTip->setText(Password2Hint());
        else if (watched == EditCorpName)
            StatusBarTip->setText(CorpNameHint());
    } else if (event->type() == QEvent::FocusOut) {
        StatusBarTip->clear();
    }
    return QDialog::eventFilter(watched, event);
}
