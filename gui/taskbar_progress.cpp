#include "gui/taskbar_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace tarnfield {

namespace {
const char kEntryPath[] = "/com/canonical/unity/launcherentry/tarnfield";
const char kEntryInterface[] = "com.canonical.Unity.LauncherEntry";
} // namespace

std::unique_ptr<TaskbarProgress> TaskbarProgress::Create() {
    if (!QDBusConnection::sessionBus().isConnected()) return nullptr;
    return std::unique_ptr<TaskbarProgress>(new TaskbarProgress);
}

void TaskbarProgress::SetState(State state) {
    state_ = state;
    Send();
}

void TaskbarProgress::SetValue(quint64 done, quint64 total) {
    progress_ = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
    Send();
}

void TaskbarProgress::Send() {
    QVariantMap properties;
    // The launcher has no paused or indeterminate bar: a paused run keeps its bar, a run that ended
    // in the background asks for attention until the window is activated.
    const bool visible = state_ == State::Normal || state_ == State::Paused;
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("progress"), progress_);
    properties.insert(QStringLiteral("urgent"), state_ == State::Indeterminate);
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kEntryPath), QString::fromLatin1(kEntryInterface), QStringLiteral("Update"));
    signal << QStringLiteral("application://") + QString::fromLatin1(kDesktopEntryName) << properties;
    QDBusConnection::sessionBus().send(signal);
}

} // namespace tarnfield
