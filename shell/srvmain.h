// The server's main window: the operator's console. For now it only tells
// that the server is starting; the service state, the connection count and
// the operator commands join it as the server grows.
#pragma once

#include <QMainWindow>

class QLabel;

class TSrvMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSrvMainForm(QWidget* parent = nullptr);

    // The short fixed text naming the product; it begins the captions.
    static QString productTitle();

private:
    QLabel* LabelMainTitle = nullptr;
    QLabel* lbState = nullptr;
};
