#include "gui/run_summary.h"

namespace tarnfield {

QString SummaryText(bool japanese, const RunSummary& summary) {
    const QString files = summary.filesCounted ? QString::number(summary.files) : QStringLiteral("-");
    // Tenths of a second, rounded, whatever the locale's decimal sign.
    const qint64 tenths = (summary.milliseconds + 50) / 100;
    const QString seconds = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    if (japanese)
        return (summary.completed ? QStringLiteral("完了: ") : QStringLiteral("中止: ")) +
               QStringLiteral("メール %1 通、書き出したファイル %2 個、失敗 %3 件、%4 秒")
                   .arg(summary.mails)
                   .arg(files)
                   .arg(summary.failures)
                   .arg(seconds);
    return (summary.completed ? QStringLiteral("Finished: ") : QStringLiteral("Aborted: ")) +
           QStringLiteral("%1 mails, %2 files written, %3 failed, %4 s")
               .arg(summary.mails)
               .arg(files)
               .arg(summary.failures)
               .arg(seconds);
}

} // namespace tarnfield
