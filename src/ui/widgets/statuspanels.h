#pragma once

#include <QLabel>
#include <QStatusBar>
#include <array>

namespace quorva::ui {

// A status bar of two text panels: the first of a fixed width, the second
// stretching to the bar's end.
class StatusPanels : public QStatusBar
{
    Q_OBJECT

public:
    static constexpr int kFirstPanelWidth = 100;

    explicit StatusPanels(QWidget* parent = nullptr);

    QString panelText(int index) const { return m_panels.at(size_t(index))->text(); }
    void setPanelText(int index, const QString& text) { m_panels.at(size_t(index))->setText(text); }

private:
    std::array<QLabel*, 2> m_panels{};
};

} // namespace quorva::ui
