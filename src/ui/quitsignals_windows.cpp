// Windows ends a window program with the user's session by messages to its
// windows: once WM_ENDSESSION has been handled the process may be ended at
// any moment, so the program lets its port go while handling it.
#include "quitsignals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <windows.h>

namespace quorva::ui {

struct QuitSignals::Private : QAbstractNativeEventFilter
{
    QuitSignals* owner = nullptr;
    bool ended = false; // every top-level window hears it: one is enough

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        const MSG* msg = static_cast<const MSG*>(message);
        if (eventType == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam &&
            !ended) {
            ended = true;
            emit owner->received();
        }
        return false; // Qt goes on to handle it as well
    }
};

QuitSignals::QuitSignals(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->owner = this;
    QCoreApplication::instance()->installNativeEventFilter(d.get());
}

QuitSignals::~QuitSignals()
{
    QCoreApplication::instance()->removeNativeEventFilter(d.get());
}

} // namespace quorva::ui
