// TSysWaitingForm and its animation.
#include "syswaiting.h"

#include "textcodec.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The window while it exists.
TSysWaitingForm* g_waiting = nullptr;

constexpr int kAnimationWidth = 56;
constexpr int kMessageLeft = 71;
constexpr int kMessageTop = 23;

}  // namespace

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent)
{
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] {
        frame_ = frame_ >= kStopFrame ? kStartFrame : frame_ + 1;
        update();
    });
}

void TSearchAnimation::start()
{
    frame_ = kStartFrame;
    timer_->start();
    update();
}

void TSearchAnimation::advance()
{
    frame_ = frame_ >= kStopFrame ? kStartFrame : frame_ + 1;
    repaint();
}

void TSearchAnimation::stop()
{
    timer_->stop();
}

bool TSearchAnimation::active() const
{
    return timer_->isActive();
}

void TSearchAnimation::paintEvent(QPaintEvent*)
{
    // A magnifier circling over a small screen, one eighth of a turn a frame.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QRectF screen(centre.x() - 14, centre.y() - 11, 28, 20);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRect(screen);
    p.drawLine(QPointF(centre.x() - 6, screen.bottom() + 3), QPointF(centre.x() + 6, screen.bottom() + 3));

    const double angle = (frame_ - kStartFrame) * std::numbers::pi / 4.0;
    const QPointF lens(centre.x() + 8 * std::cos(angle), centre.y() - 2 + 6 * std::sin(angle));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette().color(QPalette::WindowText), 2));
    p.drawEllipse(lens, 5, 5);
    p.drawLine(lens + QPointF(3.5, 3.5), lens + QPointF(8, 8));
}

TSysWaitingForm::TSysWaitingForm() : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("SysWaitingForm"));
    setFixedHeight(kHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    Animate1 = new TSearchAnimation(Panel1);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(2, 2, kAnimationWidth, kHeight - 4);

    LabelWaiting = new QLabel(Panel1);
    LabelWaiting->setObjectName(QStringLiteral("LabelWaiting"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    font.setBold(true);
    LabelWaiting->setFont(font);
    LabelWaiting->setAlignment(Qt::AlignCenter);

    // Hidden until the operation reports how far it has got.
    ProgressBar = new QProgressBar(Panel1);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();

    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TSysWaitingForm::~TSysWaitingForm()
{
    if (g_waiting == this)
        g_waiting = nullptr;
    QApplication::restoreOverrideCursor();
}

int TSysWaitingForm::widthFor(const QString& message)
{
    const int bytes = gbkLength(message);
    return bytes <= 32 ? 320 : 320 + 8 * (bytes - 32);
}

void TSysWaitingForm::setMessage(const QString& message)
{
    const int w = widthFor(message);
    setFixedWidth(w);
    Panel1->setGeometry(0, 0, w, kHeight);
    LabelWaiting->setText(message);
    LabelWaiting->setGeometry(kMessageLeft, kMessageTop, w - kMessageLeft - 8, LabelWaiting->sizeHint().height());
}

void TSysWaitingForm::ShowProgress(int percent)
{
    TSysWaitingForm* form = g_waiting;
    if (!form)
        return;
    percent = std::clamp(percent, 0, 100);
    if (!form->ProgressBar->isVisible() || form->ProgressBar->value() != percent) {
        form->ProgressBar->setGeometry(kMessageLeft, kHeight - 16, form->width() - kMessageLeft - 12, 8);
        form->ProgressBar->setValue(percent);
        form->ProgressBar->show();
    }
    form->Animate1->advance();
    form->repaint();
}

int TSysWaitingForm::progress() const
{
    return ProgressBar->isVisible() ? ProgressBar->value() : -1;
}

QString TSysWaitingForm::message() const
{
    return LabelWaiting->text();
}

TSysWaitingForm* TSysWaitingForm::ShowWaiting(const QString& action, const QString& tail)
{
    const bool created = g_waiting == nullptr;
    if (created)
        g_waiting = new TSysWaitingForm;
    TSysWaitingForm* form = g_waiting;
    form->setMessage(action + tail);
    // Centred when first shown; a later message keeps the place.
    if (created) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            form->move(screen->geometry().center() - QPoint(form->width() / 2, form->height() / 2));
    }
    form->show();
    form->Animate1->start();
    form->repaint();
    // Once, so that the window is on the screen before the caller blocks.
    QApplication::processEvents();
    return form;
}

void TSysWaitingForm::CloseWaiting()
{
    delete g_waiting;
}

TSysWaitingForm* TSysWaitingForm::instance()
{
    return g_waiting;
}
