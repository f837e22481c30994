#pragma once

// Tells when a frame has reached the window system: Qt paints the dirty
// widgets into the backing store and flushes it while it handles an expose or
// an update request, so the watch handles those itself and then, if a widget
// it cares about was painted meanwhile, calls back.
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <functional>

class FrameWatch final : public QObject
{
public:
    // `counts` picks the widgets whose painting makes a frame worth reporting.
    FrameWatch(QObject* parent, std::function<bool(const QWidget&)> counts,
               std::function<void()> onFrame)
        : QObject(parent), m_counts(std::move(counts)), m_onFrame(std::move(onFrame))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (const auto* widget = qobject_cast<QWidget*>(watched); widget && m_counts(*widget))
                m_painted = true;
            return false;
        }
        if (event->type() != QEvent::Expose && event->type() != QEvent::UpdateRequest)
            return false;
        watched->event(event);
        if (m_painted) {
            m_painted = false;
            m_onFrame();
        }
        return true; // handled above
    }

private:
    std::function<bool(const QWidget&)> m_counts;
    std::function<void()> m_onFrame;
    bool m_painted = false;
};
