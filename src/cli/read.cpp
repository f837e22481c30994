#include "commands.h"

#include "cli/interrupt.h"
#include "cli/jsonschema.h"

namespace quorva::cli {

using namespace transmitter;

int readOnce(CliLink& link, Output& o)
{
    LinkError error;
    RegisterImage image{};
    if (!link.open(&error) || !link.readImage(image, &error)) {
        if (o.json)
            printJson(o.out, errorJson(error));
        return o.fail(error.message, error.isInterruption() ? kExitInterrupted : kExitFailed);
    }
    const ReadingReport report = describeReading(image);
    if (o.json)
        printJson(o.out, reportJson(report));
    else
        printReport(o.out, report);
    return kExitOk;
}

} // namespace quorva::cli
