#pragma once

#include "link/linkfailure.h"
#include "link/modbusmaster.h"

#include <QString>
#include <optional>

// How a step with the device ended, as `read`, `monitor`, `write`, a
// campaign, the record and the report name it: one code for scripts and
// the record ("no-reply"), and its words for people.
namespace quorva::cli {

enum class Outcome {
    Ok,               // the step did what it was for
    NoReply,          // the device did not answer in time
    BadReply,         // an answer that did not check out
    Exception,        // the device refused the request
    ReadFailed,       // the port failed while a reply was awaited
    SendFailed,       // the port failed the request
    LineBusy,         // bytes kept the line from the request
    NotSent,          // the line never came into step: nothing went out
    PortNotFound,     // no such port, or no cable
    PortBusy,         // another program holds the port
    PortGone,         // the port stopped answering (cable pulled)
    PermissionDenied, // the user may not open the port
    OpenFailed,       // the port would not open, for another reason
    Interrupted,      // Ctrl-C, SIGTERM or SIGHUP
    Refused,          // a configuration the checks refuse: nothing sent
    SentUnconfirmed,  // the request went out, and no answer confirmed it
    UnknownModel,     // a model code no known model has: nothing sent
    ReadBackFailed,   // confirmed, but not read back
    ReadBackDiffers,  // confirmed, and read back otherwise than sent
    RecordFailed,     // the attempt's record line did not reach its file
};

// The code of an outcome ("read-back-differs").
QString outcomeCode(Outcome outcome);
// The outcome a record names by its code; none for a code not known.
std::optional<Outcome> outcomeOfCode(const QString& code);
// The outcome in a few words ("a releitura difere do que foi enviado").
QString outcomeWords(Outcome outcome);

// A transaction's outcome as the command line names it.
Outcome outcomeOf(link::ReplyOutcome outcome);
// A port that would not open, by why.
Outcome outcomeOf(link::FailureKind kind);

} // namespace quorva::cli
