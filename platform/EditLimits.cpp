#include "platform/EditLimits.h"

#include <QLineEdit>
#include <QProxyStyle>

TypedLengthValidator::TypedLengthValidator(QLineEdit* edit, int limit)
    : QValidator(edit), m_edit(edit), m_limit(limit), m_accepted(edit->text().size())
{
    edit->setMaxLength(32767);
    edit->setValidator(this);
    // The validator runs before the change is signalled, whatever the order in which the
    // edit then sends textEdited and textChanged; the length is read back from the edit,
    // which holds the final text even when a handler replaced it meanwhile.
    connect(edit, &QLineEdit::textChanged, this, [this] { m_accepted = m_edit->text().size(); });
}

bool TypedLengthValidator::refuses(int limit, qsizetype before, qsizetype after)
{
    return after > limit && after > before;
}

QValidator::State TypedLengthValidator::validate(QString& input, int& pos) const
{
    Q_UNUSED(pos);
    // setText() starts a fresh undo history, so an unmodified edit is being set by the
    // program (a loaded setting, a picked file): that text goes in whole. A keystroke, a
    // paste or a drop marks the edit modified before it is checked here.
    if (!m_edit->isModified())
        return Acceptable;
    return refuses(m_limit, m_accepted, input.size()) ? Invalid : Acceptable;
}

namespace {

class AsteriskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void showPasswordAsAsterisks(QLineEdit* edit)
{
    // A widget does not own the style it is given.
    auto* style = new AsteriskStyle;
    style->setParent(edit);
    edit->setStyle(style);
    edit->setEchoMode(QLineEdit::Password);
}
