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

// The waiting window: the action text followed by the tail; and closing it.
void ShowWaiting(const QString& action, const QString& tail);
void CloseWaiting();
// A line of text from the operator (nullopt when cancelled); the limit
// counts GBK bytes.
std::optional<QString> ShowInputDialog(const QString& caption, const QString& prompt, const QString& initial,
                                       int maxBytes);
// A password (nullopt when cancelled).
std::optional<QString> ShowPasswordDialog(const QString& caption, const QString& prompt);
