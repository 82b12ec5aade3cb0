// The operator's message boxes over the operator-dialog seam.
#include "mwstdfun.h"

void ShowInfo(const QString& text, const QString& caption)
{
    operatorDialogs().showInfo(text, caption);
}

void ShowError(const QString& text, const QString& caption)
{
    operatorDialogs().showError(text, caption);
}

bool AskYesNo(const QString& text, const QString& caption)
{
    return operatorDialogs().askYesNo(text, caption) == DialogAnswer::Yes;
}

DialogAnswer AskYesNoCancel(const QString& text, const QString& caption)
{
    return operatorDialogs().askYesNoCancel(text, caption);
}

void ShowWaiting(const QString& action, const QString& tail)
{
    operatorDialogs().showWaiting(action, tail);
}

void CloseWaiting()
{
    operatorDialogs().closeWaiting();
}

std::optional<QString> ShowInputDialog(const QString& caption, const QString& prompt, const QString& initial,
                                       int maxBytes)
{
    return operatorDialogs().inputText(caption, prompt, initial, maxBytes);
}

std::optional<QString> ShowPasswordDialog(const QString& caption, const QString& prompt)
{
    return operatorDialogs().inputPassword(caption, prompt);
}
