#include "store/controls/DBText.h"

DBText::DBText(QWidget* parent)
    : DataAware(
          parent, [this] { setText(m_link.shownText()); }, [] {})
{
    // Record texts are shown as they are, never as markup.
    setTextFormat(Qt::PlainText);
}
