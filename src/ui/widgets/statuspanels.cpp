#include "statuspanels.h"

namespace quorva::ui {

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("panel%1").arg(i));
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        m_panels[i]->setContentsMargins(2, 0, 2, 0);
    }
    m_panels[0]->setFixedWidth(kFirstPanelWidth);
    addPermanentWidget(m_panels[0], 0);
    addPermanentWidget(m_panels[1], 1);
}

} // namespace quorva::ui
