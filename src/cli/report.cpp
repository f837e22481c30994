#include "report.h"

// Placeholder until the report itself joins this branch.
namespace quorva::cli {

bool reportPathAccepted(const QString&, QString*)
{
    return true;
}

bool writeReport(const QList<QJsonObject>&, const ReportSource&, const QString&, QString* error)
{
    *error = QStringLiteral("relatório indisponível");
    return false;
}

} // namespace quorva::cli
