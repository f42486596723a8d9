#include "gui/tarnfield_run.h"

#include "gui/command_line.h"
#include "gui/mail_search.h"

#include <algorithm>

CTarnfieldRun::CTarnfieldRun(QObject* parent) : QObject(parent) {}

CTarnfieldRun::~CTarnfieldRun() {
    disconnect();
    abort_ = true;
    gate_.Set();
    if (worker_.joinable()) worker_.join();
}

void CTarnfieldRun::Start(const tarnfield::RunSettings& settings) {
    if (worker_.joinable()) worker_.join(); // the previous run's worker has ended: the run is idle
    settings_ = settings;
    fileList_.clear();
    found_ = 0;
    processed_ = 0;
    counting_ = {};
    counting_.filesCounted = settings_.child.print;
    searching_ = true;
    abort_ = false;
    idle_ = false;
    clock_.start();
    gate_.Create();
    worker_ = std::thread([this] { Work(); });
}

bool CTarnfieldRun::MayGoOn() {
    gate_.Wait();
    return !abort_;
}

void CTarnfieldRun::Take(QString&& entry) {
    const qsizetype length = settings_.baseCommand.size() + 1 + tarnfield::QuoteArgument(entry).size();
    if (length > tarnfield::kCommandLineLimit && !abort_) {
        emit commandTooLong(tarnfield::ChildCommandLine(settings_.baseCommand, entry));
        abort_ = true;
    }
    fileList_.append(std::move(entry));
    ++found_;
}

void CTarnfieldRun::Work() {
    // A target that cannot be searched ends as a run that found nothing.
    (void)tarnfield::SearchMailFiles(
        settings_.rootPath, settings_.relativeTarget,
        {[this] { return MayGoOn(); }, [this](QString&& entry) { Take(std::move(entry)); }});
    searching_ = false;
    if (abort_) {
        gate_.Close();
        QMetaObject::invokeMethod(
            this, [this] { Finish(false); }, Qt::QueuedConnection);
        return;
    }
    emit searchFinished(found_);
    FilePhase();
}

void CTarnfieldRun::FilePhase() {
    const quint64 found = found_;
    bool aborted = false;
    for (qsizetype index = 0; index < fileList_.size(); ++index) {
        if (!MayGoOn()) {
            aborted = true;
            break;
        }
        const QString& entry = fileList_[index];
        emit fileStarting(processed_, found, entry);
        const tarnfield::ChildOutcome outcome = tarnfield::RunOneFile(
            settings_.child, tarnfield::ChildCommandLine(settings_.baseCommand, entry), log_);
        if (outcome.newOutput) newOutput_ = true;
        // A mail file is one message; an archive is as many as its child reported, at least one.
        counting_.mails += std::max<quint64>(1, outcome.messages);
        counting_.files += outcome.files;
        if (outcome.failed) ++counting_.failures;
        emit fileDone(++processed_, found);
    }
    tarnfield::ReapFinishedChildren();
    gate_.Close();
    QMetaObject::invokeMethod(
        this, [this, aborted] { Finish(!aborted); }, Qt::QueuedConnection);
}

void CTarnfieldRun::Finish(bool completed) {
    if (worker_.joinable()) worker_.join();
    fileList_.clear();
    searching_ = false;
    summary_ = counting_;
    summary_.completed = completed;
    summary_.milliseconds = clock_.elapsed();
    idle_ = true;
    emit finished(completed);
}
