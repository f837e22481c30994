#include "maskedit.h"

#include "transmitter/configwrite.h"

#include <QKeyEvent>

namespace quorva::ui {

MaskEdit::MaskEdit(QWidget* parent) : QLineEdit(parent)
{
    render(0);
}

bool MaskEdit::isEmpty() const
{
    for (int i = 0; i < kPositions; ++i) {
        if (i != kCommaPosition && !m_positions[size_t(i)].isNull())
            return false;
    }
    return true;
}

QString MaskEdit::maskedText() const
{
    if (isEmpty())
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

bool MaskEdit::accepts(int position, QChar c) const
{
    if (position == 0)
        return c.isDigit() || c == u'-' || c == u'+' || c == u' ';
    return c.isDigit();
}

void MaskEdit::render(int cursor)
{
    QString shown;
    const bool blankAsUnderscore = hasFocus() || !isEmpty();
    for (int i = 0; i < kPositions; ++i) {
        const QChar c = m_positions[size_t(i)];
        if (i == kCommaPosition)
            shown += blankAsUnderscore ? QChar(u',') : QChar();
        else if (!c.isNull())
            shown += c;
        else if (i == 0 && !isEmpty())
            shown += QChar(u' '); // the absent sign shows as a leading blank
        else if (blankAsUnderscore)
            shown += QChar(u'_');
    }
    shown.remove(QChar());
    QLineEdit::setText(shown);
    setCursorPosition(std::clamp(cursor, 0, int(shown.size())));
}

void MaskEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    render(0);
}

void MaskEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    render(0);
}

void MaskEdit::keyPressEvent(QKeyEvent* event)
{
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    int pos = std::clamp(cursorPosition(), 0, kPositions);
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Backspace:
        if (pos > 0) {
            --pos;
            if (pos == kCommaPosition)
                --pos;
            m_positions[size_t(pos)] = QChar();
        }
        render(pos);
        return;
    case Qt::Key_Delete:
        if (pos < kPositions && pos != kCommaPosition)
            m_positions[size_t(pos)] = QChar();
        render(pos);
        return;
    default:
        break;
    }
    const QString typed = event->text();
    if (typed.size() != 1) {
        event->ignore();
        return;
    }
    const QChar c = typed.at(0);
    if (c == u',' && pos <= kCommaPosition) {
        // "5," means 5 units: a lone digit typed first moves next to the comma.
        if (m_positions[1].isNull() && m_positions[0].isDigit())
            std::swap(m_positions[0], m_positions[1]);
        render(kCommaPosition + 1);
        return;
    }
    if (pos == kCommaPosition)
        ++pos;
    if (pos >= kPositions || !accepts(pos, c))
        return;
    m_positions[size_t(pos)] = c == u' ' ? QChar() : c;
    ++pos;
    if (pos == kCommaPosition)
        ++pos;
    render(pos);
}

} // namespace quorva::ui
