// The run of the main dialog: the command, the search for mail files, the file phase with one child
// per file, abort, and the return to idle.

#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "gui/command_line.h"
#include "gui/console_child.h"
#include "gui/mail_search.h"
#include "gui/my_edit.h"
#include "gui/path_routines.h"
#include "gui/run_title.h"
#include "gui/tarnfield_dlg.h"

using tarnfield::TaskbarProgress;
namespace text = tarnfield::text;

namespace {
constexpr int kRefreshWindowLines = 20;
constexpr quint64 kProgressRangeLimit = 2147483647;
} // namespace

template <typename Function> void CTarnfieldDlg::Post(Function&& function) {
    QMetaObject::invokeMethod(this, std::forward<Function>(function), Qt::QueuedConnection);
}

void CTarnfieldDlg::PrepareCommand(QString target, QString output) {
    tarnfield::NormalizeSeparators(target);
    tarnfield::NormalizeSeparators(output);
    output = tarnfield::FullPath(output);
    // The console program resolves relative paths against its own folder, and is started there.
    runFolder_ = tarnfield::ConsoleHomeFolder(consoleFolders_);
    tarnfield::MakeRelativePath(runFolder_, output);

    if (forward_->isChecked()) {
        const QString name =
            tarnfield::CleanForwardName(forwardName_->text().left(tarnfield::kForwardNameLimit));
        forwardName_->setText(name);
        fragments_.forwardName =
            QStringLiteral(" /FW ") +
            tarnfield::QuoteArgument(name.isEmpty() ? QStringLiteral("[UNKNOWN-MESSAGE]") : name);
    }
    baseCommand_ = tarnfield::BuildBaseCommand(fragments_, timestamp_->isChecked(), output);
}

void CTarnfieldDlg::StartRun(const QString& target, const QString& output) {
    if (worker_.joinable()) worker_.join(); // the previous run's worker has ended: the dialog is idle
    PrepareCommand(target, output);

    exportButton_->setText(Tr(text::kAbort));
    for (QWidget* control : std::initializer_list<QWidget*>{
             targetBrowse_, outputBrowse_, senderFolder_, dateFolder_, reverseFolders_, inlineParts_, noBody_,
             fullWidth_, timestamp_, logFile_, noPrint_, forward_})
        control->setEnabled(false);
    targetField_->setReadOnly(true);
    outputField_->setReadOnly(true);
    forwardName_->setReadOnly(true);

    found_ = 0;
    processed_ = 0;
    relativeTarget_.clear();
    fileList_.clear();

    QString normalized = target;
    tarnfield::NormalizeSeparators(normalized);
    rootPath_ = tarnfield::FullPath(normalized);
    relativeTarget_ = rootPath_;
    tarnfield::MakeRelativePath(runFolder_, relativeTarget_);
    runPrint_ = !noPrint_->isChecked();
    runTimestamp_ = timestamp_->isChecked();

    progress_->setValue(0);
    searching_ = true;
    setWindowTitle(Tr(text::kSearchingTitle));
    abort_ = false;
    completed_ = false;
    idle_ = false;

    gate_.Create();
    activateWindow();
    worker_ = std::thread([this] { RunWorker(); });
}

void CTarnfieldDlg::AbortRun() {
    abortQuestion_ = true;
    if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Paused);
    const bool timerWasRunning = refreshTimer_.isActive();
    refreshTimer_.stop();
    gate_.Reset();
    const bool yes = ShowMessage(QMessageBox::Question, text::kConfirm, Tr(text::kAbortQuestion),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Normal);
    if (yes)
        abort_ = true;
    else if (timerWasRunning && !idle_)
        refreshTimer_.start();
    gate_.Set();
    abortQuestion_ = false;
}

void CTarnfieldDlg::RestoreIdleState(bool completed) {
    targetBrowse_->setEnabled(true);
    outputBrowse_->setEnabled(true);
    exportButton_->setText(Tr(text::kExport));
    exportButton_->setEnabled(true);
    timestamp_->setEnabled(true);
    if (!timestamp_->isChecked()) {
        for (QCheckBox* box : {senderFolder_, dateFolder_, reverseFolders_, inlineParts_, noBody_, fullWidth_,
                               logFile_, forward_})
            box->setEnabled(true);
        if (forward_->isChecked()) forwardName_->setReadOnly(false);
    }
    noPrint_->setEnabled(true);
    targetField_->setReadOnly(false);
    outputField_->setReadOnly(false);
    setWindowTitle(IdleTitle());
    logView_->CatchUp(log_);
    if (taskbar_) {
        const bool attention = completed && !isActiveWindow();
        taskbar_->SetState(attention ? TaskbarProgress::State::Indeterminate
                                     : TaskbarProgress::State::NoProgress);
    }
}

void CTarnfieldDlg::RefreshLogView() {
    if (!newOutput_.exchange(false)) return;
    // Only when the last line lies within 20 lines of the first one in view: a reader who scrolled up
    // is not pulled away.
    if (logView_->EndInView(kRefreshWindowLines)) logView_->CatchUp(log_);
}

void CTarnfieldDlg::StartRefreshTimer() {
    if (!quitting_) refreshTimer_.start();
}

bool CTarnfieldDlg::MayGoOn() {
    gate_.Wait();
    return !abort_;
}

void CTarnfieldDlg::TakeMailFile(QString&& entry) {
    const qsizetype length = baseCommand_.size() + 1 + tarnfield::QuoteArgument(entry).size();
    if (length > tarnfield::kCommandLineLimit && !abort_) {
        const QString command = tarnfield::ChildCommandLine(baseCommand_, entry);
        // The message box belongs to the dialog's thread; the worker waits for its answer.
        QMetaObject::invokeMethod(
            this,
            [this, command] {
                ShowMessage(QMessageBox::Warning, text::kInformation, Tr(text::kCommandTooLong) + command);
            },
            Qt::BlockingQueuedConnection);
        abort_ = true;
    }
    fileList_.append(std::move(entry));
    ++found_;
}

void CTarnfieldDlg::RunWorker() {
    const tarnfield::SearchEnd end = tarnfield::SearchMailFiles(
        rootPath_, relativeTarget_,
        {[this] { return MayGoOn(); }, [this](QString&& e) { TakeMailFile(std::move(e)); }});
    (void)end; // a target that cannot be searched ends as a run that found nothing
    searching_ = false;
    const QString idleTitle = IdleTitle();
    Post([this, idleTitle] { setWindowTitle(idleTitle); });
    if (abort_) {
        gate_.Close();
        Post([this] { FinishRun(false); });
        return;
    }
    const quint64 found = found_;
    Post([this, found] {
        progress_->setRange(0, static_cast<int>(std::min(found, kProgressRangeLimit)));
        progress_->setValue(0);
        if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Normal);
        if (runPrint_) StartRefreshTimer();
    });
    FilePhase();
}

void CTarnfieldDlg::FilePhase() {
    tarnfield::ChildSettings settings;
    settings.consoleFolders = consoleFolders_;
    settings.workingFolder = runFolder_;
    settings.print = runPrint_;
    settings.timestampMode = runTimestamp_;
    settings.multiProcess = multiProcess_;
    settings.processLimit = processLimit_;
    settings.japanese = japanese_;

    const quint64 found = found_;
    bool aborted = false;
    for (qsizetype index = 0; index < fileList_.size(); ++index) {
        if (!MayGoOn()) {
            aborted = true;
            break;
        }
        const QString& entry = fileList_[index];
        const QString title = tarnfield::FilePhaseTitle(japanese_, processed_, found, entry);
        Post([this, title] { setWindowTitle(title); });

        const tarnfield::ChildOutcome outcome =
            tarnfield::RunOneFile(settings, tarnfield::ChildCommandLine(baseCommand_, entry), log_);
        if (outcome.newOutput) newOutput_ = true;

        const quint64 processed = ++processed_;
        Post([this, processed, found] {
            progress_->setValue(static_cast<int>(std::min(processed, kProgressRangeLimit)));
            if (taskbar_) taskbar_->SetValue(processed, found);
        });
    }
    tarnfield::ReapFinishedChildren();
    gate_.Close();
    Post([this, aborted] { FinishRun(!aborted); });
}

void CTarnfieldDlg::FinishRun(bool completed) {
    refreshTimer_.stop();
    if (worker_.joinable()) worker_.join();
    fileList_.clear();
    searching_ = false;
    if (completed) idle_ = true;
    RestoreIdleState(completed);
    idle_ = true;
    emit runFinished();
}

void CTarnfieldDlg::WaitForWorker() {
    // The worker's title changes, message boxes and its end are served while we wait.
    if (idle_) return;
    QEventLoop loop;
    connect(this, &CTarnfieldDlg::runFinished, &loop, &QEventLoop::quit);
    if (!idle_) loop.exec();
}
