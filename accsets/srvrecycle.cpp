// The recycle bin (see srvrecycle.h).
#include "srvrecycle.h"

#include "accsetcommands.h"
#include "linkdm.h"
#include "srvaccmanage.h"

#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QWidget>

TSrvRecycleForm::TSrvRecycleForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SrvRecycleForm");
    setWindowTitle(QStringLiteral("账套回收站"));
    // A dialog border: no minimise or maximise box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(461, 255);

    // The grid fills the window above the button band.
    qryAccList = new TAccListModel(this);
    DBGridList = new QTableView(this);
    DBGridList->setObjectName("DBGridList");
    DBGridList->setModel(qryAccList);
    DBGridList->setGeometry(0, 0, 461, 255 - 41);
    StyleAccListGrid(DBGridList);
    DBGridList->setAlternatingRowColors(true);
    DBGridList->setColumnWidth(0, 117);
    DBGridList->setColumnWidth(1, 235);

    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName("PanelBottom");
    PanelBottom->setGeometry(0, 255 - 41, 461, 41);
    auto makeButton = [this](const QString& text, const char* name, int x, QStyle::StandardPixmap picture) {
        auto* button = new QPushButton(style()->standardIcon(picture), text, PanelBottom);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, 10, 85, 25);
        return button;
    };
    btnUndo = makeButton(QStringLiteral("撤消删除"), "btnUndo", 32, QStyle::SP_ArrowBack);
    btnDelete = makeButton(QStringLiteral("永久删除"), "btnDelete", 176, QStyle::SP_TrashIcon);
    btnExit = makeButton(QStringLiteral("退出"), "btnExit", 320, QStyle::SP_DialogCloseButton);

    connect(btnUndo, &QPushButton::clicked, this, [this] { btnUndoClick(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
    // Escape rejects a QDialog, as the exit button does.
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TSrvRecycleForm::~TSrvRecycleForm() = default;

void TSrvRecycleForm::FormCreate()
{
    RefreshList(0);
}

int TSrvRecycleForm::selectedIndex() const
{
    return SelectedGridRow(DBGridList);
}

void TSrvRecycleForm::RefreshList(int keyId)
{
    runGuarded([&] { qryAccList->reload(*LinkData, RecycledAccListSql()); });
    SelectGridRow(DBGridList, qryAccList->indexOfKeyID(keyId));
}

void TSrvRecycleForm::btnUndoClick()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const TAccListRow row = qryAccList->rows()[static_cast<std::size_t>(index)];
    const int nextKeyId = qryAccList->keyIdAfterRemoval(index);
    runGuarded([&] {
        UndeleteAccountSet(*LinkData, row);
        RefreshList(nextKeyId);
    });
}

void TSrvRecycleForm::btnDeleteClick()
{
    const int index = selectedIndex();
    if (index < 0)
        return;
    const TAccListRow row = qryAccList->rows()[static_cast<std::size_t>(index)];
    const int nextKeyId = qryAccList->keyIdAfterRemoval(index);
    runGuarded([&] {
        if (!PurgeAccountSet(*LinkData, row))
            return;
        qryAccList->reload(*LinkData, RecycledAccListSql());
        // Still listed when its database could not be dropped.
        const int stillThere = qryAccList->indexOfKeyID(row.KeyID);
        SelectGridRow(DBGridList, stillThere >= 0 ? stillThere : qryAccList->indexOfKeyID(nextKeyId));
    });
}
