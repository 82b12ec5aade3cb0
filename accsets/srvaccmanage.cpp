// The account-set manager (see srvaccmanage.h).
#include "srvaccmanage.h"

#include "accsetcommands.h"
#include "linkdm.h"
#include "mwstdfun.h"
#include "pubselefunddb.h"
#include "srvrecycle.h"
#include "sysnewaccset.h"

#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

namespace {

constexpr int kCodeWidth = 117;
constexpr int kNameWidth = 235;

QFont fontOf(const char* family, int pixels)
{
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

// ---- the grids' shared parts ---------------------------------------------------

void StyleAccListGrid(QTableView* grid)
{
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->setTabKeyNavigation(false);   // Tab goes on to the buttons
    // The selection stays as visible when the grid loses the focus.
    QPalette palette = grid->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    grid->setPalette(palette);
    QHeaderView* header = grid->horizontalHeader();
    header->setSectionsClickable(false);   // a click on a title does nothing
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setHighlightSections(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(20);
}

int SelectedGridRow(const QTableView* grid)
{
    const QAbstractItemModel* model = grid->model();
    if (!model || model->rowCount() == 0)
        return -1;
    const QModelIndex current = grid->currentIndex();
    if (current.isValid())
        return current.row();
    const QModelIndexList rows = grid->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row();
}

void SelectGridRow(QTableView* grid, int row)
{
    const QAbstractItemModel* model = grid->model();
    if (!model || model->rowCount() == 0)
        return;
    if (row < 0 || row >= model->rowCount())
        row = 0;
    const QModelIndex index = model->index(row, 0);
    grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    grid->scrollTo(index);
}

// ---- the window ------------------------------------------------------------------

TSrvAccManageForm::TSrvAccManageForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SrvAccManageForm");
    setWindowTitle(QStringLiteral("账套管理"));
    // A dialog border: no minimise or maximise box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(fontOf("宋体", 12));
    setFixedSize(459, 310);

    // The title band across the top.
    LabelTitle = new QLabel(QStringLiteral("账套管理"), this);
    LabelTitle->setObjectName("LabelTitle");
    LabelTitle->setFont(fontOf("隶书", 28));
    LabelTitle->setAlignment(Qt::AlignCenter);
    LabelTitle->setGeometry(0, 0, 459, 41);

    qryAccList = new TAccListModel(this);
    DBGridList = new QTableView(this);
    DBGridList->setObjectName("DBGridList");
    DBGridList->setModel(qryAccList);
    DBGridList->setGeometry(8, 48, 441, 161);
    StyleAccListGrid(DBGridList);
    DBGridList->setAlternatingRowColors(true);
    DBGridList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);   // the columns fill the width
    DBGridList->viewport()->installEventFilter(this);

    auto makeButton = [this](const QString& text, const char* name, int x, int y) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, y, 87, 25);
        return button;
    };
    btnNew = makeButton(QStringLiteral("新建账套(&N)"), "btnNew", 10, 224);
    btnImport = makeButton(QStringLiteral("引入账套(&I)"), "btnImport", 127, 224);
    btnBackup = makeButton(QStringLiteral("备份账套(&B)"), "btnBackup", 244, 224);
    btnRestore = makeButton(QStringLiteral("恢复账套(&R)"), "btnRestore", 362, 224);
    btnDelete = makeButton(QStringLiteral("删除账套(&D)"), "btnDelete", 10, 264);
    btnRecycle = makeButton(QStringLiteral("账套回收站"), "btnRecycle", 128, 264);
    btnRename = makeButton(QStringLiteral("账套改名(&G)"), "btnRename", 244, 264);
    btnExit = makeButton(QStringLiteral("退出(&X)"), "btnExit", 362, 264);

    connect(btnNew, &QPushButton::clicked, this, [this] { btnNewClick(); });
    connect(btnImport, &QPushButton::clicked, this, [this] { btnImportClick(); });
    connect(btnBackup, &QPushButton::clicked, this, [this] { btnBackupClick(); });
    connect(btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
    connect(btnRecycle, &QPushButton::clicked, this, [this] { btnRecycleClick(); });
    connect(btnRename, &QPushButton::clicked, this, [this] { btnRenameClick(); });
    connect(btnExit, &QPushButton::clicked, this, [this] { btnExitClick(); });

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TSrvAccManageForm::~TSrvAccManageForm() = default;

void TSrvAccManageForm::FormCreate()
{
    RefreshAccList(false);
}

// ---- the list ----------------------------------------------------------------------

int TSrvAccManageForm::selectedIndex() const
{
    return SelectedGridRow(DBGridList);
}

void TSrvAccManageForm::RefreshAccList(bool keepSelection)
{
    const int index = selectedIndex();
    const int keyId = index >= 0 ? qryAccList->rows()[static_cast<std::size_t>(index)].KeyID : 0;
    runGuarded([&] { qryAccList->reload(*LinkData, ActiveAccListSql()); });
    if (keepSelection && keyId > 0)
        selectKeyID(keyId);
    else
        SelectGridRow(DBGridList, 0);
    fitColumns();
}

void TSrvAccManageForm::selectKeyID(int keyId)
{
    SelectGridRow(DBGridList, qryAccList->indexOfKeyID(keyId));
}

void TSrvAccManageForm::selectCode(const QString& code)
{
    SelectGridRow(DBGridList, qryAccList->indexOfCode(code));
}

void TSrvAccManageForm::fitColumns()
{
    const int width = DBGridList->viewport()->width();
    const int codeWidth = width * kCodeWidth / (kCodeWidth + kNameWidth);
    DBGridList->setColumnWidth(0, codeWidth);
    DBGridList->setColumnWidth(1, width - codeWidth);
}

bool TSrvAccManageForm::eventFilter(QObject* watched, QEvent* event)
{
    // The viewport narrows when the vertical scroll bar comes.
    if (watched == DBGridList->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QDialog::eventFilter(watched, event);
}

// ---- the commands --------------------------------------------------------------------

void TSrvAccManageForm::btnNewClick()
{
    TSysNewAccSetForm wizard(this);
    if (wizard.exec() == QDialog::Accepted)
        RefreshAccList(false);
}

void TSrvAccManageForm::btnImportClick()
{
    TPubSeleFundDBForm dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        RefreshAccList(false);
}

void TSrvAccManageForm::btnBackupClick()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const TAccListRow row = qryAccList->rows()[static_cast<std::size_t>(index)];
    runGuarded([&] { BackupAccountSet(*LinkData, row); });
}

void TSrvAccManageForm::btnRestoreClick()
{
    runGuarded([&] {
        const QString code = RestoreAccountSet(*LinkData);
        if (code.isEmpty())
            return;
        RefreshAccList(false);
        selectCode(code);
    });
}

void TSrvAccManageForm::btnDeleteClick()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const TAccListRow row = qryAccList->rows()[static_cast<std::size_t>(index)];
    // The row to select afterwards is the one that takes its place.
    const int nextKeyId = qryAccList->keyIdAfterRemoval(index);
    runGuarded([&] {
        if (!DeleteAccountSet(*LinkData, row))
            return;
        RefreshAccList(false);
        selectKeyID(nextKeyId);
    });
}

void TSrvAccManageForm::btnRecycleClick()
{
    TSrvRecycleForm recycleBin(this);
    recycleBin.exec();
    // Whatever was done there, the list may have changed.
    RefreshAccList(true);
}

void TSrvAccManageForm::btnRenameClick()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const TAccListRow row = qryAccList->rows()[static_cast<std::size_t>(index)];
    runGuarded([&] {
        if (!RenameAccountSet(*LinkData, row))
            return;
        RefreshAccList(false);
        selectKeyID(row.KeyID);
    });
}

void TSrvAccManageForm::btnExitClick()
{
    reject();
}
