#pragma once

#include <QLineEdit>
#include <array>

namespace quorva::ui {

// A four-position edit for a value such as "-0,5": an optional sign or digit
// (blank when absent), a digit, a fixed comma and a digit. Empty positions
// show as "_". Its text is what the positions hold, with a blank for an
// empty one, or the empty text when every position is empty.
//
// Every edit ends in the positions: keys, paste, cut and delete by keys or
// by the context menu, whatever the line edit changes is read back into the
// positions and shown again from them, so what the field shows is always
// what maskedText() gives.
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

private:
    static constexpr int kPositions = 4;
    static constexpr int kCommaPosition = 2;
    using Positions = std::array<QChar, kPositions>;

    static bool isEmpty(const Positions& positions);
    // Puts a typed character at `position`; the cursor after it, or -1 when
    // the position refuses it.
    static int put(Positions& positions, int position, QChar c);
    void takeEdit(const QString& edited);
    void rememberSelection();
    void render(int cursor);

    Positions m_positions{};
    QString m_shown;    // what render() last showed
    int m_editFrom = 0; // the selection, or the cursor, before the
    int m_editTo = 0;   // line edit's own change of its text
};

} // namespace quorva::ui
