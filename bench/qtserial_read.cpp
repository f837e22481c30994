// The least a Qt SerialPort program does to read the transmitter once: opens
// PORT at 9600 8N1, sends the request for holding registers 1 to 37 of slave
// 1, waits for the 79-byte reply (1 s at most), prints its length and exits.
// Beside the libmodbus reader it tells what the Qt libraries cost a command.
//
//   bench_qtserial_read PORT
#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite) || !port.setBaudRate(9600)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(port.errorString()));
        return 1;
    }
    // Function 3, registers 1 to 37 (address 0, count 0x25), CRC 0x1184.
    constexpr char kRequest[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x25, char(0x84), 0x11};
    constexpr int kReplyLength = 5 + 2 * 37;
    port.write(kRequest, sizeof kRequest);
    port.flush();
    QByteArray reply;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        reply += port.readAll();
        if (reply.size() >= kReplyLength)
            QCoreApplication::quit();
    });
    QTimer::singleShot(1000, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("%d bytes\n", int(reply.size()));
    return reply.size() == kReplyLength ? 0 : 1;
}
