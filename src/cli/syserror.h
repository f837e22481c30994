#pragma once

#include <QString>

namespace quorva::cli {

// The system's reason for a failed file or device operation, in Portuguese:
// the errors an output meets (a full disk, a read-only mount, a quota...)
// have texts of their own; any other keeps its number beside the C library's text.
QString systemErrorText(int err);

} // namespace quorva::cli
