#include "commands.h"

#include "link/portline.h"
#include "link/usbserialdriver.h"

#include <QJsonArray>
#include <QSerialPortInfo>

namespace quorva::cli {

namespace {

QString hexId(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QChar(u'0'));
}

} // namespace

int listPorts(Output& o)
{
    const QString chosen = link::UsbSerialDriver().portForIndex(0);
    QJsonArray array;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& p : ports) {
        const QString port = link::PortLine::nameOf(p);
        const bool isChosen = port == chosen;
        if (o.json) {
            QJsonObject entry{
                {"port", port}, {"description", p.description()}, {"deviceIndex0", isChosen}};
            entry["vendorId"] =
                p.hasVendorIdentifier() ? QJsonValue(hexId(p.vendorIdentifier())) : QJsonValue();
            entry["productId"] =
                p.hasProductIdentifier() ? QJsonValue(hexId(p.productIdentifier())) : QJsonValue();
            array.append(entry);
            continue;
        }
        const QString ids = p.hasVendorIdentifier()
                                ? hexId(p.vendorIdentifier()) + u':' + hexId(p.productIdentifier())
                                : QStringLiteral("    -    ");
        o.out << (isChosen ? "* " : "  ")
              << QStringLiteral("%1 %2 %3").arg(port, -20).arg(ids).arg(p.description())
              << Qt::endl;
    }
    if (o.json) {
        printJson(o.out, array);
    } else if (ports.isEmpty()) {
        o.out << "Nenhuma porta serial encontrada." << Qt::endl;
    } else {
        o.out << (chosen.isEmpty()
                      ? QStringLiteral("Nenhum cabo USB-serial FTDI (0403): use --port.")
                      : QStringLiteral("* é a porta que o dispositivo 0 abre."))
              << Qt::endl;
    }
    return kExitOk;
}

} // namespace quorva::cli
