#pragma once
// The main dialog: the folders, the option boxes, the Export button, the log view and the progress;
// it owns the run (the worker thread, the run gate, the file list) and the log text.

#include <atomic>
#include <memory>
#include <thread>

#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "gui/command_line.h"
#include "gui/dialog_texts.h"
#include "gui/log_text.h"
#include "gui/run_gate.h"
#include "gui/taskbar_progress.h"

class CMyEdit;
class CMyEdit2;
class CMyEdit3;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CTarnfieldDlg : public QDialog {
    Q_OBJECT
  public:
    /// arguments are the program's own (the first may be "/MP" with a limit); japanese chooses the texts.
    CTarnfieldDlg(const QStringList& arguments, bool japanese, QWidget* parent = nullptr);
    ~CTarnfieldDlg() override;

    /// Where the console program is looked for (own folder, then the current folder, by default).
    void SetConsoleFolders(const QStringList& folders) { consoleFolders_ = folders; }
    const QStringList& ConsoleFolders() const { return consoleFolders_; }

    bool IsJapanese() const { return japanese_; }
    bool IsMultiProcess() const { return multiProcess_; }
    int ProcessLimit() const { return processLimit_; }
    bool IsIdle() const { return idle_; }
    bool IsSearching() const { return searching_; }
    bool IsQuitting() const { return quitting_; }
    QString IdleTitle() const;
    const tarnfield::OptionFragments& Fragments() const { return fragments_; }
    QString BaseCommand() const { return baseCommand_; }
    QString RelativeTarget() const { return relativeTarget_; }
    /// The folder the children run in, which the relative target and output are relative to.
    QString RunFolder() const { return runFolder_; }
    quint64 FoundCount() const { return found_; }
    quint64 ProcessedCount() const { return processed_; }
    const tarnfield::LogText& LogText() const { return log_; }
    tarnfield::RunGate& Gate() { return gate_; }
    tarnfield::TaskbarProgress* Taskbar() const { return taskbar_.get(); }

    /// Turns the folders and boxes into the base command (the first step of a run).
    void PrepareCommand(QString target, QString output);
    /// Builds the command, locks the dialog and starts the worker; returns at once.
    void StartRun(const QString& target, const QString& output);
    /// Pauses the run and asks whether to abort it.
    void AbortRun();
    /// Unlocks the dialog after a run; completed tells a run that was not aborted.
    void RestoreIdleState(bool completed);
    /// Carries new output into the log view while its end is in view (the 16 ms timer).
    void RefreshLogView();

  signals:
    /// The run is over and the dialog idle again.
    void runFinished();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reject() override;

  private:
    QString Tr(const tarnfield::UiText& text) const;
    void BuildControls();
    void SetInitialStates(const QStringList& arguments);
    QMessageBox::StandardButton
    ShowMessage(QMessageBox::Icon icon, const tarnfield::UiText& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    void OnSenderFolderClicked();
    void OnDateFolderClicked();
    void OnReverseFoldersClicked();
    void OnInlinePartsClicked();
    void OnNoBodyClicked();
    void OnFullWidthClicked();
    void OnTimestampClicked();
    void OnLogFileClicked();
    void OnNoPrintClicked();
    void OnForwardClicked();
    void BrowseTarget();
    void BrowseOutput();
    void BrowseInto(QLineEdit* field, const tarnfield::UiText& title);
    void OnExportClicked();

    // The run, on the worker thread.
    void RunWorker();
    bool MayGoOn();
    void TakeMailFile(QString&& entry);
    void FilePhase();
    // Worker to dialog: every widget is touched on the dialog's thread.
    template <typename Function> void Post(Function&& function);
    void FinishRun(bool completed);
    void WaitForWorker();
    void StartRefreshTimer();

    // Controls, in tab order.
    CMyEdit* logView_ = nullptr;
    CMyEdit2* targetField_ = nullptr;
    CMyEdit3* outputField_ = nullptr;
    QPushButton* targetBrowse_ = nullptr;
    QPushButton* outputBrowse_ = nullptr;
    QCheckBox* senderFolder_ = nullptr;
    QCheckBox* dateFolder_ = nullptr;
    QCheckBox* reverseFolders_ = nullptr;
    QCheckBox* inlineParts_ = nullptr;
    QCheckBox* noBody_ = nullptr;
    QCheckBox* fullWidth_ = nullptr;
    QCheckBox* timestamp_ = nullptr;
    QCheckBox* logFile_ = nullptr;
    QLabel* targetLabel_ = nullptr;
    QLabel* outputLabel_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QCheckBox* noPrint_ = nullptr;
    QCheckBox* forward_ = nullptr;
    QLineEdit* forwardName_ = nullptr;
    QLabel* emlSuffix_ = nullptr;

    std::unique_ptr<tarnfield::TaskbarProgress> taskbar_;
    QStringList consoleFolders_;
    bool japanese_ = false;
    bool multiProcess_ = false;
    int processLimit_ = 1;
    tarnfield::OptionFragments fragments_;

    // Run state. Settings are copied at the start of a run; the worker reads only those copies.
    QString baseCommand_;
    QString relativeTarget_;
    QString runFolder_; // the children's current folder; relative paths are relative to it
    QString rootPath_;
    QStringList fileList_;
    bool runPrint_ = true;
    bool runTimestamp_ = false;
    std::atomic<quint64> found_{0};
    std::atomic<quint64> processed_{0};
    std::atomic<bool> idle_{true};
    std::atomic<bool> searching_{false};
    std::atomic<bool> abort_{false};
    std::atomic<bool> quitting_{false};
    std::atomic<bool> abortQuestion_{false};
    std::atomic<bool> newOutput_{false};
    std::atomic<bool> completed_{false};
    tarnfield::RunGate gate_;
    tarnfield::LogText log_;
    QTimer refreshTimer_;
    std::thread worker_;
    bool closing_ = false;
};
