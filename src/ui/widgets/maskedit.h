#pragma once

#include <QLineEdit>
#include <array>

namespace quorva::ui {

// A four-position edit for a value such as "-0,5": an optional sign or digit
// (blank when absent), a digit, a fixed comma and a digit. Empty positions
// show as "_". Its text is what the positions hold, with a blank for an
// empty one, or the empty text when every position is empty.
class MaskEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit MaskEdit(QWidget* parent = nullptr);

    QString maskedText() const;
    // A text that does not fit the four positions empties the field rather
    // than show some other number.
    void setMaskedText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static constexpr int kPositions = 4;
    static constexpr int kCommaPosition = 2;
    bool isEmpty() const;
    bool accepts(int position, QChar c) const;
    void render(int cursor);

    std::array<QChar, kPositions> m_positions{};
};

} // namespace quorva::ui
