#pragma once

#include <QString>

class QWidget;

namespace quorva::ui {

// The program's title, also the caption of every message box.
inline constexpr char kApplicationTitle[] = "QUORVA-V1.01";

// Where the window's messages go: modal boxes in the program, a record in
// tests, so that no test waits inside a modal dialog.
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    // One text, one OK button.
    virtual void showMessage(const QString& text) = 0;
    // The same with a second text beneath it (the box's informative text):
    // why it happened and what to do. A sink that shows one text only shows
    // the first.
    virtual void showMessageWithReason(const QString& text, const QString& reason)
    {
        static_cast<void>(reason);
        showMessage(text);
    }
    // A question with the buttons "Sim" and "Não", "Não" the default; true for "Sim".
    virtual bool ask(const QString& text) = 0;
    // An error that escaped a handler, in the standard error box.
    virtual void showException(const QString& text) = 0;
};

class DialogMessageSink final : public MessageSink
{
public:
    explicit DialogMessageSink(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void showMessage(const QString& text) override;
    void showMessageWithReason(const QString& text, const QString& reason) override;
    bool ask(const QString& text) override;
    void showException(const QString& text) override;

private:
    QWidget* m_parent;
};

// For programs that run the window unattended (the screenshot, the
// benchmarks): every text goes to standard error and a question is answered
// "Não", as the box's default button would be.
class PrintedMessageSink final : public MessageSink
{
public:
    void showMessage(const QString& text) override;
    void showMessageWithReason(const QString& text, const QString& reason) override;
    bool ask(const QString& text) override;
    void showException(const QString& text) override { showMessage(text); }
};

} // namespace quorva::ui
