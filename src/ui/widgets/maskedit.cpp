#include "maskedit.h"

#include "transmitter/configwrite.h"

#include <QKeyEvent>
#include <algorithm>

namespace quorva::ui {

namespace {
constexpr QChar kEmptyShown = u'_';

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
// A blank or the "_" an empty position shows: typed or pasted, it empties the position.
bool marksEmpty(QChar c)
{
    return c == u' ' || c == kEmptyShown;
}
} // namespace

MaskEdit::MaskEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &MaskEdit::takeEdit);
    connect(this, &QLineEdit::selectionChanged, this, &MaskEdit::rememberSelection);
    connect(this, &QLineEdit::cursorPositionChanged, this, &MaskEdit::rememberSelection);
    render(0);
}

bool MaskEdit::isEmpty(const Positions& positions)
{
    return std::all_of(positions.begin(), positions.end(), [](QChar c) { return c.isNull(); });
}

QString MaskEdit::maskedText() const
{
    if (isEmpty(m_positions))
        return QString();
    QString text;
    for (int i = 0; i < kPositions; ++i) {
        const QChar c = m_positions[size_t(i)];
        text += i == kCommaPosition ? QChar(u',') : (c.isNull() ? QChar(u' ') : c);
    }
    return text;
}

void MaskEdit::setMaskedText(const QString& text)
{
    m_positions = {};
    if (quorva::transmitter::isZeroFieldText(text)) {
        // Right-aligned: a three-character text leaves the sign position empty.
        const QString full = text.size() == 3 ? QStringLiteral(" ") + text : text;
        if (full.at(0) != u' ')
            m_positions[0] = full.at(0);
        m_positions[1] = full.at(1);
        m_positions[3] = full.at(3);
    }
    render(0);
}

int MaskEdit::put(Positions& positions, int position, QChar c)
{
    if (c == u',' && position <= kCommaPosition + 1) {
        // "5," means 5 units: a lone digit typed first moves next to the comma.
        // Right after the comma, as "-1," leaves the cursor, it changes nothing.
        if (positions[1].isNull() && isDigit(positions[0]))
            std::swap(positions[0], positions[1]);
        return kCommaPosition + 1;
    }
    if (position == kCommaPosition)
        ++position;
    const bool sign = position == 0 && (c == u'-' || c == u'+');
    if (position >= kPositions || !(isDigit(c) || sign || marksEmpty(c)))
        return -1;
    positions[size_t(position)] = marksEmpty(c) ? QChar() : c;
    ++position;
    return position == kCommaPosition ? position + 1 : position;
}

// The line edit changed its own text (typing, paste, cut, delete): find what
// it replaced, empty those positions and put the new characters in one by
// one, as if typed there. The selection it had is where the change is; a change
// elsewhere is found by what differs.
void MaskEdit::takeEdit(const QString& edited)
{
    if (edited == m_shown)
        return;
    const int oldSize = int(m_shown.size());
    const int newSize = int(edited.size());
    int from = m_editFrom;
    int to = m_editTo;
    int insertedSize = newSize - (oldSize - (to - from));
    const bool atSelection = insertedSize >= 0 && edited.left(from) == m_shown.left(from) &&
                             edited.mid(from + insertedSize) == m_shown.mid(to);
    if (!atSelection) {
        const int shorter = std::min(oldSize, newSize);
        from = 0;
        while (from < shorter && edited[from] == m_shown[from])
            ++from;
        int same = 0;
        while (same < shorter - from && edited[newSize - 1 - same] == m_shown[oldSize - 1 - same])
            ++same;
        to = oldSize - same;
        insertedSize = newSize - same - from;
    }

    Positions next = m_positions;
    for (int i = from; i < std::min(to, kPositions); ++i)
        next[size_t(i)] = QChar();
    int cursor = from;
    for (const QChar c : edited.mid(from, insertedSize)) {
        cursor = put(next, cursor, c);
        if (cursor < 0)
            break;
    }
    // Text that does not fit as a whole changes nothing, as a refused key
    // does not: a paste of "-12,34" must not leave some other number.
    if (cursor >= 0)
        m_positions = next;
    else
        cursor = m_editFrom;
    render(cursor);
}

void MaskEdit::rememberSelection()
{
    if (m_shown != QLineEdit::text())
        return; // the line edit is inside its own change
    if (hasSelectedText()) {
        m_editFrom = selectionStart();
        m_editTo = selectionEnd();
    } else {
        m_editFrom = m_editTo = cursorPosition();
    }
}

void MaskEdit::render(int cursor)
{
    const bool empty = isEmpty(m_positions);
    QString shown;
    for (int i = 0; i < kPositions; ++i) {
        const QChar c = m_positions[size_t(i)];
        if (i == kCommaPosition)
            shown += u',';
        else if (!c.isNull())
            shown += c;
        else if (i == 0 && !empty)
            shown += u' '; // the absent sign shows as a leading blank
        else
            shown += kEmptyShown;
    }
    m_shown = shown;
    QLineEdit::setText(shown);
    setCursorPosition(std::clamp(cursor, 0, kPositions));
    rememberSelection();
}

void MaskEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    render(0);
}

void MaskEdit::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const bool backspace = event->key() == Qt::Key_Backspace;
    if (isReadOnly() || hasSelectedText() || !plain ||
        (!backspace && event->key() != Qt::Key_Delete)) {
        // Whatever this changes comes back through takeEdit().
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Backspace and Delete empty one position; the comma is stepped over.
    int pos = std::clamp(cursorPosition(), 0, kPositions);
    if (backspace) {
        if (pos > 0) {
            --pos;
            if (pos == kCommaPosition)
                --pos;
            m_positions[size_t(pos)] = QChar();
        }
    } else if (pos < kPositions && pos != kCommaPosition) {
        m_positions[size_t(pos)] = QChar();
    }
    render(pos);
}

} // namespace quorva::ui
