// The termination signals (SIGTERM, SIGINT, SIGHUP) as a Qt signal on the
// main thread: `kill <pid>`, Ctrl+C on the terminal or a closed terminal
// ask the program to end, and it does so in an orderly way (listener
// closed, login rows closed) instead of dying where it stands.
//
// A handler may do almost nothing, so it only writes the signal number to
// a pipe; a socket notifier on the pipe's other end wakes the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT

public:
    // Catches the signals for as long as the object lives (one at a time).
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

signals:
    // Emitted on the main thread, once for each signal received.
    void requested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};
