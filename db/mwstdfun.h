// The operator's message boxes (modal, owned by the application): the
// information box, the error box and the two questions. The captions the
// program uses are "提示" with ShowInfo, "错误" with ShowError and "询问" with
// the questions. They go through the operator-dialog seam.
#pragma once

#include "operatordialogs.h"

void ShowInfo(const QString& text, const QString& caption = QStringLiteral("提示"));
void ShowError(const QString& text, const QString& caption = QStringLiteral("错误"));
// True for Yes.
bool AskYesNo(const QString& text, const QString& caption = QStringLiteral("询问"));
DialogAnswer AskYesNoCancel(const QString& text, const QString& caption = QStringLiteral("询问"));
