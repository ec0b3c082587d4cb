#pragma once
// Limits on what a user may type into a plain edit, and how a password edit shows its
// characters. A limit on typing leaves programmatic texts alone: a stored value or a
// picked path longer than the limit goes in whole and is never cut.

#include <QValidator>

class QLineEdit;

class TypedLengthValidator : public QValidator
{
public:
    // Installs itself on `edit` and lifts the edit's own length limit, which would cut
    // texts set by the program.
    TypedLengthValidator(QLineEdit* edit, int limit);

    State validate(QString& input, int& pos) const override;

    // Whether a user's change from `before` to `after` characters is refused: it would
    // leave more than `limit` characters and more than there were.
    static bool refuses(int limit, qsizetype before, qsizetype after);

private:
    QLineEdit* m_edit;
    int m_limit;
    qsizetype m_accepted = 0; // length of the text the edit last held
};

// Each typed character of a password edit shows as "*", whatever the style's default.
void showPasswordAsAsterisks(QLineEdit* edit);
