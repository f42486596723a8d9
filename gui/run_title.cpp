#include "gui/run_title.h"

namespace tarnfield {

QString FilePhaseTitle(bool japanese, quint64 processed, quint64 found, const QString& entry) {
    const quint64 percent = found == 0 ? 0 : processed * 100 / found;
    const quint64 remaining = found - processed;
    const QString name = entry.mid(entry.lastIndexOf(u'/') + 1);
    const QString percentText = QStringLiteral(" - %1% - ").arg(percent);
    if (japanese)
        return QStringLiteral("マヴレルGUI") + percentText + QStringLiteral("残り") +
               QString::number(remaining) + QStringLiteral("ファイル - ") + name;
    return QStringLiteral("Mavrel") + percentText + QString::number(remaining) +
           QStringLiteral("files remaining - ") + name;
}

} // namespace tarnfield
