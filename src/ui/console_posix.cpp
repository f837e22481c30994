#include "console.h"

namespace quorva::ui {

// A program started from a terminal writes to it as it is, in UTF-8.
void useStartingConsole() {}

} // namespace quorva::ui
