// The baseline for start-up time and memory: a Qt Widgets window and nothing else.
#include "startupprobe.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("minimal"));
    window.resize(575, 600);
    reportFirstFrame(window);
    window.show();
    return app.exec();
}
