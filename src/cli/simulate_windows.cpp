// Windows has no pseudo-terminals to serve the virtual transmitter on; every
// command and the window carry it built in (--simulate).
#include "commands.h"

namespace quorva::cli {

int simulate(const SimulateOptions&, Output& o)
{
    return o.fail(QStringLiteral("simulate serve o transmissor virtual num pseudo-terminal, "
                                 "que o Windows não tem; use --simulate, que o traz embutido: "
                                 "quorva-cli read --simulate, quorva --simulate"),
                  kExitUsage);
}

} // namespace quorva::cli
