#pragma once
// One run of the console program over a folder tree, as its own object: the worker thread, the run
// gate, the file list, the counters and the children. It touches no widget; the dialog follows it
// through its signals, which reach the dialog's thread queued.

#include <atomic>
#include <thread>

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include "gui/console_child.h"
#include "gui/log_text.h"
#include "gui/run_gate.h"
#include "gui/run_summary.h"

namespace tarnfield {

/// What a run works on, fixed when it starts.
struct RunSettings {
    QString baseCommand;    ///< the command without the file argument
    QString rootPath;       ///< the target folder, full path
    QString relativeTarget; ///< the target as the children see it, the head of every list entry
    ChildSettings child;
};

} // namespace tarnfield

class CTarnfieldRun : public QObject {
    Q_OBJECT
  public:
    explicit CTarnfieldRun(QObject* parent = nullptr);
    /// A run still going is aborted and waited for (without serving events: nobody is listening).
    ~CTarnfieldRun() override;

    /// Starts the worker: the search, then one child per entry. Only while idle.
    void Start(const tarnfield::RunSettings& settings);
    /// Asks the run to end at the worker's next wait; the gate is left as it is.
    void Abort() { abort_ = true; }
    /// The gate: reset pauses the worker at its next wait, set lets it go on.
    tarnfield::RunGate& Gate() { return gate_; }

    bool IsIdle() const { return idle_; }
    bool IsSearching() const { return searching_; }
    quint64 FoundCount() const { return found_; }
    quint64 ProcessedCount() const { return processed_; }
    const tarnfield::RunSettings& Settings() const { return settings_; }
    /// Everything the children of every run printed; emptied only by its owner.
    tarnfield::LogText& Log() { return log_; }
    const tarnfield::LogText& Log() const { return log_; }
    /// True once after a child added text to the log.
    bool TakeNewOutput() { return newOutput_.exchange(false); }
    /// The numbers of the last run that ended.
    const tarnfield::RunSummary& Summary() const { return summary_; }

  signals:
    /// The search is over and the file phase begins (not sent when the search was aborted).
    void searchFinished(quint64 found);
    /// A child is about to be started for entry.
    void fileStarting(quint64 processed, quint64 found, const QString& entry);
    /// A child has been handled.
    void fileDone(quint64 processed, quint64 found);
    /// The command for an entry is too long: the run ends before any child. Sent from the worker;
    /// a receiver connected with Qt::BlockingQueuedConnection holds the worker until it returns.
    void commandTooLong(const QString& command);
    /// The worker has ended and the run is idle again.
    void finished(bool completed);

  private:
    void Work();
    bool MayGoOn();
    void Take(QString&& entry);
    void FilePhase();
    void Finish(bool completed);

    tarnfield::RunSettings settings_;
    tarnfield::RunGate gate_;
    tarnfield::LogText log_;
    QStringList fileList_; // the worker's alone while a run is active
    QElapsedTimer clock_;
    tarnfield::RunSummary summary_;
    tarnfield::RunSummary counting_; // filled by the worker, handed over at the end
    std::thread worker_;
    std::atomic<quint64> found_{0};
    std::atomic<quint64> processed_{0};
    std::atomic<bool> idle_{true};
    std::atomic<bool> searching_{false};
    std::atomic<bool> abort_{false};
    std::atomic<bool> newOutput_{false};
};
