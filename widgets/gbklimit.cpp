// The GBK byte limit of edit boxes (see gbklimit.h).
#include "gbklimit.h"

#include "textcodec.h"

#include <QLineEdit>

#include <algorithm>

QValidator::State GbkLimitValidator::validate(QString& input, int& pos) const
{
    if (maxBytes <= 0)
        return Acceptable;
    const int bytes = gbkLength(input);
    if (bytes <= maxBytes)
        return Acceptable;
    const int allowed = std::max(maxBytes, gbkLength(accepted));
    if (bytes <= allowed)
        return Acceptable;
    // The new characters stand just before the cursor.
    qsizetype added = input.size() - accepted.size();
    while (added > 0 && pos > 0 && gbkLength(input) > allowed) {
        const int n = pos >= 2 && input.at(pos - 1).isLowSurrogate() && input.at(pos - 2).isHighSurrogate() ? 2 : 1;
        input.remove(pos - n, n);
        pos -= n;
        added -= n;
    }
    return gbkLength(input) <= allowed ? Acceptable : Invalid;
}

GbkLimitValidator* LimitGbkBytes(QLineEdit* edit, int maxBytes)
{
    auto* limit = new GbkLimitValidator(edit);
    limit->maxBytes = maxBytes;
    limit->accepted = edit->text();
    edit->setValidator(limit);
    QObject::connect(edit, &QLineEdit::textChanged, limit, [limit](const QString& text) { limit->accepted = text; });
    return limit;
}
