// The preset chart preview (see syssubjectview.h).
#include "syssubjectview.h"

#include "linkdm.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "newaccset.h"

#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

TSysSubjectViewForm::TSysSubjectViewForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SysSubjectViewForm");
    setWindowTitle(PreviewCaption(3));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    resize(500, 420);

    qrySubject = new QStandardItemModel(0, 2, this);
    qrySubject->setHorizontalHeaderLabels({QStringLiteral("科目编码"), QStringLiteral("科目名称")});
    DBGridSubject = new QTableView(this);
    DBGridSubject->setObjectName("DBGridSubject");
    DBGridSubject->setModel(qrySubject);
    DBGridSubject->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridSubject->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridSubject->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGridSubject->setAlternatingRowColors(true);
    DBGridSubject->verticalHeader()->hide();
    DBGridSubject->verticalHeader()->setDefaultSectionSize(20);
    DBGridSubject->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    DBGridSubject->setColumnWidth(0, 150);
    DBGridSubject->setColumnWidth(1, 300);

    btnExit = new QPushButton(QStringLiteral("退出(&X)"), this);
    btnExit->setObjectName("btnExit");
    btnExit->setFixedSize(85, 25);
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DBGridSubject);
    layout->addWidget(btnExit, 0, Qt::AlignRight);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TSysSubjectViewForm::PreviewCaption(int kind)
{
    switch (kind) {
    case 0: return QStringLiteral("查看预设科目--2001企业会计制度科目");
    case 1: return QStringLiteral("查看预设科目--小企业会计制度科目");
    case 2: return QStringLiteral("查看预设科目--2006企业会计制度科目");
    default: return QStringLiteral("查看预设科目");
    }
}

QString TSysSubjectViewForm::PreviewSql(int kind, int L2, int L3)
{
    return QStringLiteral("select KeyID, ") + SubjectCodeExpression(L2, L3) +
           QStringLiteral(" as Code, (case when len(Code)=4 then Name when len(Code)=7 then '  '+Name "
                          "when len(Code)>7 then '    '+Name end) as Name from VQTCWPack.dbo.CW_SubTemp "
                          "where SubKind=") +
           QString::number(kind) + QStringLiteral(" order by Code");
}

bool TSysSubjectViewForm::ShowSubjectPreview(int kind, int L2, int L3)
{
    setWindowTitle(PreviewCaption(kind));
    bool loaded = false;
    runGuarded([&] {
        LinkData->AccListDB.setCommandTimeout(TLinkData::kDefaultTimeout);
        const vqsql::ResultSet rs = LinkData->AccListDB.query(PreviewSql(kind, L2, L3).toStdString());
        const int code = rs.columnIndex("Code");
        const int name = rs.columnIndex("Name");
        qrySubject->setRowCount(0);
        for (const auto& row : rs.rows) {
            QList<QStandardItem*> items{
                new QStandardItem(QString::fromStdString(row[static_cast<std::size_t>(code)].toString())),
                new QStandardItem(QString::fromStdString(row[static_cast<std::size_t>(name)].toString()))};
            qrySubject->appendRow(items);
        }
        loaded = true;
    });
    return loaded;
}
