#include "radiogroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace quorva::ui {

RadioGroup::RadioGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(0);
    m_buttons.setExclusive(true);
    connect(&m_buttons, &QButtonGroup::idClicked, this, [this](int id) { select(id); });
}

void RadioGroup::setItems(const QStringList& items)
{
    m_items = items;
    m_index = -1;
    rebuild();
}

void RadioGroup::clearItems()
{
    setItems({});
}

void RadioGroup::appendItem(const QString& text)
{
    m_items.append(text);
    rebuild();
    if (m_index >= 0)
        m_buttons.button(m_index)->setChecked(true);
}

void RadioGroup::rebuild()
{
    for (QAbstractButton* button : m_buttons.buttons()) {
        m_buttons.removeButton(button);
        delete button;
    }
    for (int i = 0; i < m_items.size(); ++i) {
        auto* button = new QRadioButton(m_items.at(i), this);
        button->setObjectName(QStringLiteral("%1_item%2").arg(objectName()).arg(i));
        m_buttons.addButton(button, i);
        // Items share the group's height evenly, as a designed radio group does.
        layout()->addWidget(button);
        static_cast<QVBoxLayout*>(layout())->setStretch(i, 1);
        // At once, not on the layout's queued show: a key may come first.
        button->show();
    }
    emit itemsRebuilt();
}

QList<QWidget*> RadioGroup::itemWidgets() const
{
    QList<QWidget*> widgets;
    for (int i = 0; i < m_items.size(); ++i)
        widgets << m_buttons.button(i);
    return widgets;
}

void RadioGroup::setItemIndex(int index)
{
    if (index < 0 || index >= m_items.size())
        index = -1;
    if (index == m_index)
        return;
    if (index < 0) {
        m_index = -1;
        // An exclusive group will not uncheck its last button.
        m_buttons.setExclusive(false);
        for (QAbstractButton* button : m_buttons.buttons())
            button->setChecked(false);
        m_buttons.setExclusive(true);
        return;
    }
    select(index);
}

void RadioGroup::select(int index)
{
    m_buttons.button(index)->setChecked(true);
    if (index == m_index)
        return;
    m_index = index;
    emit clicked();
}

} // namespace quorva::ui
