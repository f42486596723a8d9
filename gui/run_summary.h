#pragma once
// The end of a run in numbers, and the line that tells the user about it.

#include <QString>

namespace tarnfield {

struct RunSummary {
    bool completed = false;    ///< false when the run was aborted
    quint64 mails = 0;         ///< messages: what the children reported, at least one per child
    quint64 files = 0;         ///< files the children reported as written
    bool filesCounted = false; ///< the children printed (without printing nothing can be counted)
    quint64 failures = 0;      ///< children that could not start, or ended badly
    qint64 milliseconds = 0;   ///< from the start of the run to its end
};

/// "Finished: 3 mails, 5 files written, 1 failed, 2.5 s." or its Japanese form; an aborted run says
/// so, and files that were not counted show as "-".
QString SummaryText(bool japanese, const RunSummary& summary);

} // namespace tarnfield
