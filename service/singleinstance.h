// The single-instance rule: a second start of the program hands over to
// the first and ends. The first listens on a local socket named after its
// window class ("VQTCWServer"); a second instance connects to it, sends
// the message number 0x802 and exits with code 0.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class TSingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr int kShowMessage = 0x802;

    explicit TSingleInstance(const QString& name = QStringLiteral("VQTCWServer"), QObject* parent = nullptr);
    // True when another instance answered and was told to show itself.
    bool handOverToRunningInstance();
    // Starts listening; `onShow` runs whenever a later instance starts.
    bool listen(std::function<void()> onShow);

private:
    QString name_;
    QLocalServer* server_ = nullptr;
    std::function<void()> onShow_;
};
