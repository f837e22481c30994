#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace quorva::ui {

// A framed list of exclusive choices with an item index: -1 for none, and a
// clicked() raised whenever an item becomes selected, by the user or by code,
// but not when the selection is cleared or the selected item is set again.
class RadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    explicit RadioGroup(const QString& caption, QWidget* parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items);
    void clearItems();
    void appendItem(const QString& text);

    int itemIndex() const { return m_index; }
    // An index that names no item clears the selection: a value the group
    // cannot show is better shown as no choice than as another one.
    void setItemIndex(int index);

    // The item buttons, in order: new ones are made whenever the items change.
    QList<QWidget*> itemWidgets() const;

signals:
    void clicked();
    // The item buttons were made anew (keyboard order must follow).
    void itemsRebuilt();

private:
    void rebuild();
    void select(int index);

    QStringList m_items;
    QButtonGroup m_buttons;
    int m_index = -1;
};

} // namespace quorva::ui
