// The one-line input dialog TMWInputForm, shared by the windows that ask the
// operator for a code, a name or a password. The password form is the same
// window with a masked edit box.
//
// The edit box's limit counts GBK bytes, as the rest of the program does:
// a Chinese character takes two of them.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class GbkLimitValidator;

class TMWInputForm : public QDialog {
    Q_OBJECT

public:
    // The password form's limit, in bytes.
    static constexpr int kPasswordLimit = 128;

    explicit TMWInputForm(QWidget* parent = nullptr);

    // Shows the dialog modally and destroys it afterwards. The text when
    // closed with OK, nullopt when cancelled or closed.
    // maxBytes 0 leaves the edit box unlimited.
    static std::optional<QString> ShowInputDialog(const QString& caption, const QString& prompt,
                                                  const QString& initialText, int maxBytes);
    // The masked form: limit 128, no initial text, OK enabled at first.
    static std::optional<QString> ShowPasswordDialog(const QString& caption, const QString& prompt);

    // Sets the window up for one question.
    void prepare(const QString& caption, const QString& prompt, const QString& initialText, int maxBytes);
    void preparePassword(const QString& caption, const QString& prompt);

    // The limit in GBK bytes (0: none).
    void setMaxBytes(int maxBytes);
    int maxBytes() const;
    QString text() const;

    // OK follows the edit box: enabled while it holds text.
    void EditInputChange();

private:
    QLabel* LabelTip = nullptr;
    QLineEdit* EditInput = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    GbkLimitValidator* limit_ = nullptr;
};
