#pragma once
// The window title during the file phase of a run.

#include <QString>

namespace tarnfield {

/// "マヴレルGUI - 40% - 残り3ファイル - a.eml" / "Mavrel - 40% - 3files remaining - a.eml"; the name is
/// the part of the list entry after its last "/".
QString FilePhaseTitle(bool japanese, quint64 processed, quint64 found, const QString& entry);

} // namespace tarnfield
