// The attach dialog (see pubselefunddb.h).
#include "pubselefunddb.h"

#include "accsetcommands.h"
#include "gridhelpers.h"
#include "linkdm.h"
#include "srvaccmanage.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QWindow>

namespace {

// The window's size with its frame and caption.
constexpr int kOuterWidth = 286;
constexpr int kOuterHeight = 318;

}  // namespace

TPubSeleFundDBForm::TPubSeleFundDBForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("PubSeleFundDBForm");
    setWindowTitle(QStringLiteral("选择账套"));
    // A sizeable border; no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    resize(kOuterWidth, kOuterHeight);   // until the frame is known

    Label1 = new QLabel(QStringLiteral("选择要引入的账套："), this);
    Label1->setObjectName("Label1");
    Label1->move(26, 16);
    Label1->adjustSize();

    qryDBList = new QStandardItemModel(this);
    DBGridList = new QTableView(this);
    DBGridList->setObjectName("DBGridList");
    DBGridList->setModel(qryDBList);
    DBGridList->setGeometry(23, 43, 229, 175);
    StyleAccListGrid(DBGridList);
    AddGridColumn(DBGridList, QStringLiteral("name"), QStringLiteral("账套代号"), 160, false);

    btnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("确定(&O)"), this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(26, 245, 81, 24);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("取消(&C)"), this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(165, 244, 81, 24);

    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    // Escape rejects a QDialog, as the cancel button does.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    placeOnScreen();
    FormCreate();
}

TPubSeleFundDBForm::~TPubSeleFundDBForm() = default;

void TPubSeleFundDBForm::FormCreate()
{
    runGuarded([&] {
        for (const QString& code : AttachCandidates(*LinkData)) {
            auto* item = new QStandardItem(code);
            item->setEditable(false);
            qryDBList->appendRow(item);
        }
    });
    SelectGridRow(DBGridList, 0);
}

QStringList TPubSeleFundDBForm::codes() const
{
    QStringList out;
    for (int row = 0; row < qryDBList->rowCount(); ++row)
        out << qryDBList->item(row)->text();
    return out;
}

QString TPubSeleFundDBForm::selectedCode() const
{
    const int row = SelectedGridRow(DBGridList);
    return row >= 0 ? qryDBList->item(row)->text() : QString();
}

void TPubSeleFundDBForm::btnOkClick()
{
    const QString code = selectedCode();
    if (!code.isEmpty())
        runGuarded([&] { AttachAccountSet(*LinkData, code); });
    accept();
}

void TPubSeleFundDBForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    placeOnScreen();
    // A window manager may report the frame only once the window is up.
    QTimer::singleShot(0, this, [this] { placeOnScreen(); });
}

void TPubSeleFundDBForm::placeOnScreen()
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    resize(kOuterWidth - frame.left() - frame.right(), kOuterHeight - frame.top() - frame.bottom());
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
}
