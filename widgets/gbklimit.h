// An edit box held to a number of GBK bytes, the unit of the program's
// length limits.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

// Holds the edit box to a number of GBK bytes. Like the old edit control's
// byte limit it refuses what would not fit: of an insertion, as much of the
// inserted text is dropped from its end as needed, so a typed character
// that does not fit is refused and a paste is cut short. A text that was
// already longer (set by the program, not typed) may still be shortened.
class GbkLimitValidator : public QValidator {
public:
    explicit GbkLimitValidator(QObject* parent) : QValidator(parent) {}

    int maxBytes = 0;
    // The edit box's text as last accepted.
    QString accepted;

    State validate(QString& input, int& pos) const override;
};

// Holds the edit box to `maxBytes` GBK bytes (0: no limit) and keeps the
// validator's accepted text in step with the box; returns the validator.
GbkLimitValidator* LimitGbkBytes(QLineEdit* edit, int maxBytes);
