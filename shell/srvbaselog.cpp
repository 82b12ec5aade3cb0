// The base of the log viewers (see srvbaselog.h).
#include "srvbaselog.h"

#include "clientlogmodel.h"
#include "linkdm.h"

#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kColumnWidths[TClientLogModel::ColumnCount] = {90, 100, 80, 120, 80, 120, 120};

}  // namespace

TSrvBaseLogForm::TSrvBaseLogForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SrvBaseLogForm");
    setWindowTitle(QStringLiteral("客户端登录日志"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    resize(752, 438);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PanelTop = new QWidget(this);
    PanelTop->setObjectName("PanelTop");
    PanelTop->setFixedHeight(41);
    layout->addWidget(PanelTop);

    qryClientLog = new TClientLogModel(this);
    DBGridClientLog = new QTableView(this);
    DBGridClientLog->setObjectName("DBGridClientLog");
    DBGridClientLog->setModel(qryClientLog);
    DBGridClientLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridClientLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridClientLog->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGridClientLog->setShowGrid(true);
    DBGridClientLog->setWordWrap(false);
    // A date and time takes 19 half-width characters: 114 pixels in 宋体
    // (or its stand-in with half-width Latin letters, WenQuanYi Zen Hei
    // Mono). Drawn without "..." it fits the 120-pixel time columns; a
    // longer text is cut at the cell's edge.
    QFont gridFont = DBGridClientLog->font();
    gridFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei Mono")});
    DBGridClientLog->setFont(gridFont);
    DBGridClientLog->setTextElideMode(Qt::ElideNone);
    // Keeps the selection visible when the grid loses the focus.
    QPalette palette = DBGridClientLog->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    DBGridClientLog->setPalette(palette);
    QHeaderView* header = DBGridClientLog->horizontalHeader();
    header->setSectionsClickable(false);   // a click on a title does nothing
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);   // the columns fill the window's width
    header->setDefaultAlignment(Qt::AlignCenter);
    DBGridClientLog->verticalHeader()->setDefaultSectionSize(20);
    layout->addWidget(DBGridClientLog, 1);

    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName("PanelBottom");
    PanelBottom->setFixedHeight(41);
    auto* bottom = new QHBoxLayout(PanelBottom);
    bottom->setContentsMargins(8, 8, 16, 8);
    bottom->addStretch(1);
    btnExit = new QPushButton(QStringLiteral("退出(&X)"), PanelBottom);
    btnExit->setObjectName("btnExit");
    btnExit->setFixedWidth(75);
    bottom->addWidget(btnExit);
    layout->addWidget(PanelBottom);
    // Escape rejects a QDialog, as the exit button does.
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TSrvBaseLogForm::~TSrvBaseLogForm() = default;

void TSrvBaseLogForm::SetupColumns()
{
    QHeaderView* header = DBGridClientLog->horizontalHeader();
    for (int c = 0; c < TClientLogModel::ColumnCount; ++c) {
        DBGridClientLog->setColumnHidden(c, false);
        header->resizeSection(c, kColumnWidths[c]);
    }
}

void TSrvBaseLogForm::FormShow()
{
    RefreshLog();
    SetupColumns();
}

void TSrvBaseLogForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TSrvBaseLogForm::openLog(const QString& select)
{
    runGuarded([&] {
        try {
            qryClientLog->open(LinkData->AccListDB.params(), select.toStdString());
        } catch (...) {
            qryClientLog->close();
            throw;
        }
    });
}
