// The active-connections viewer TSrvActiveLogForm: the logins that are
// open now, newest first, read once when the window opens.
#pragma once

#include "srvbaselog.h"

class TSrvActiveLogForm : public TSrvBaseLogForm {
    Q_OBJECT

public:
    explicit TSrvActiveLogForm(QWidget* parent = nullptr);

    void RefreshLog() override;
};
