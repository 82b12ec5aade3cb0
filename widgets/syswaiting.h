// The please-wait window TSysWaitingForm: one borderless window for the
// whole program, shown while a long database operation blocks the user
// interface thread. It exists only between ShowWaiting and CloseWaiting;
// while it exists the mouse pointer is the hourglass.
#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;

// The small looping animation at the window's left: frames 1 to 8 of a
// searching magnifier, drawn in code.
class TSearchAnimation : public QWidget {
    Q_OBJECT

public:
    static constexpr int kStartFrame = 1;
    static constexpr int kStopFrame = 8;

    explicit TSearchAnimation(QWidget* parent = nullptr);

    void start();
    void stop();
    // The next frame, painted at once (for a caller that blocks the thread).
    void advance();
    bool active() const;
    int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_ = nullptr;
    int frame_ = kStartFrame;
};

class TSysWaitingForm : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 63;

    // Shows the window, creating it when there is none, with the message
    // action + tail; returns it.
    static TSysWaitingForm* ShowWaiting(const QString& action, const QString& tail);
    // Shows how far the long operation has got (0 to 100) in a bar below
    // the message and turns the animation on by a frame, repainting at once:
    // it is called from inside the blocking operation, so the event loop is
    // not run. Does nothing without a window.
    static void ShowProgress(int percent);
    // Destroys the window if there is one.
    static void CloseWaiting();
    // The window while it exists, otherwise nullptr.
    static TSysWaitingForm* instance();

    // 320 for a message of up to 32 GBK bytes, 8 more for every further byte.
    static int widthFor(const QString& message);

    ~TSysWaitingForm() override;

    QString message() const;
    // The percentage shown, or -1 while no progress was reported.
    int progress() const;

private:
    TSysWaitingForm();
    void setMessage(const QString& message);

    QFrame* Panel1 = nullptr;
    TSearchAnimation* Animate1 = nullptr;
    QLabel* LabelWaiting = nullptr;
    QProgressBar* ProgressBar = nullptr;
};
