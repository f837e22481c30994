#include "commands.h"

#include "cli/interrupt.h"
#include "cli/ownedlink.h"
#include "cli/systemfiles.h"
#include "sim/ptyserver.h"

#include <QCoreApplication>

namespace quorva::cli {

int simulate(const SimulateOptions& options, Output& o)
{
    sim::TransmitterModel device;
    device.setDrift(options.drift);
    if (options.modelCode >= 0)
        device.setRegister(transmitter::Register::ModelCode, quint16(options.modelCode));
    sim::PtyServer server(device);
    if (options.turnaroundMs >= 0)
        server.setTurnaroundMs(options.turnaroundMs);
    server.setNoise(options.noiseMs);
    if (!options.fault.isEmpty()) {
        const QString name = options.fault.section(u':', 0, 0);
        sim::Fault fault{};
        if (!sim::faultFromName(name, fault))
            return o.fail(QStringLiteral("falha desconhecida '%1'; conhecidas: %2")
                              .arg(name, sim::lineFaultNames().join(u' ')),
                          kExitUsage);
        // Started anyway, it would answer normally under a fault's name.
        if (sim::isDriverFault(fault))
            return o.fail(QStringLiteral("a falha %1 não se aplica ao pseudo-terminal; "
                                         "as que se aplicam: %2")
                              .arg(name, sim::lineFaultNames().join(u' ')),
                          kExitUsage);
        // Only an exception carries a code; one given to another fault would be ignored.
        if (options.fault.contains(u':') && fault != sim::Fault::ExceptionReply)
            return o.fail(
                QStringLiteral("a falha %1 não leva código: '%2'").arg(name, options.fault),
                kExitUsage);
        bool ok = true;
        const int code =
            options.fault.contains(u':') ? options.fault.section(u':', 1).toInt(&ok) : 4;
        if (!ok || code < 1 || code > 255)
            return o.fail(QStringLiteral("código de exceção inválido em '%1'").arg(options.fault),
                          kExitUsage);
        server.setFault(fault, code);
    }
    QString error;
    if (!server.start(&error))
        return o.fail(QStringLiteral("não foi possível criar o pseudo-terminal: ") +
                      systemErrorText(errorNumberOfText(error)));
    // Declared after the server: the link goes before its pseudo-terminal does.
    OwnedLink link;
    if (!options.linkPath.isEmpty() && !link.create(options.linkPath, server.devicePath(), &error))
        return o.fail(error, kExitUsage);
    if (o.json) {
        printJson(o.out, QJsonObject{{"device", server.devicePath()},
                                     {"link", options.linkPath},
                                     {"slave", 1},
                                     {"fault", options.fault}});
    } else {
        o.out << "Transmissor virtual (escravo 1, 9600 8N1) em " << server.devicePath() << Qt::endl;
        if (!options.linkPath.isEmpty())
            o.out << "Link: " << options.linkPath << Qt::endl;
        o.out << "Ctrl-C encerra." << Qt::endl;
    }
    if (!o.flushed())
        return o.outputFailure();
    const auto watch = watchInterrupt([] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return kExitOk;
}

} // namespace quorva::cli
