#include "store/controls/DBText.h"

DBText::DBText(QWidget* parent)
    : QLabel(parent), m_link(
                          this, [this] { setText(m_link.shownText()); }, [] {})
{
    // Record texts are shown as they are, never as markup.
    setTextFormat(Qt::PlainText);
}

void DBText::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    m_link.controlShown();
}
