#pragma once
// The main dialog: the folders, the option boxes, the Export button, the log view, the progress and
// the end-of-run summary. The run itself is an object of its own, which the dialog starts and follows.

#include <memory>

#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "gui/command_line.h"
#include "gui/dialog_texts.h"
#include "gui/tarnfield_run.h"
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

    bool IsMultiProcess() const { return multiProcess_; }
    int ProcessLimit() const { return processLimit_; }
    bool IsQuitting() const { return quitting_; }
    QString IdleTitle() const;
    const tarnfield::OptionFragments& Fragments() const { return fragments_; }
    /// The run the dialog starts and follows; its log text is the dialog's log.
    CTarnfieldRun& Run() { return run_; }

    /// Turns the folders and boxes into what a run works on (the first step of a run).
    tarnfield::RunSettings PrepareRun(QString target, QString output);
    /// Builds the command, locks the dialog and starts the worker; returns at once.
    void StartRun(const QString& target, const QString& output);
    /// Pauses the run and asks whether to abort it.
    void AbortRun();
    /// Unlocks the dialog after a run; completed tells a run that was not aborted.
    void RestoreIdleState(bool completed);
    /// Carries new output into the log view while its end is in view (the 16 ms timer).
    void RefreshLogView();
    /// Shows the output folder of the last run in the desktop's file manager.
    void OpenOutputFolder();

  signals:
    /// The run is over and the dialog idle again, its summary shown.
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

    // Following the run; every slot runs on the dialog's thread.
    void ConnectRun();
    void OnSearchFinished(quint64 found);
    void OnFileStarting(quint64 processed, quint64 found, const QString& entry);
    void OnFileDone(quint64 processed, quint64 found);
    void OnCommandTooLong(const QString& command);
    void OnRunFinished(bool completed);
    void ShowSummary();
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
    QLabel* statusLine_ = nullptr;
    QPushButton* openOutput_ = nullptr;

    std::unique_ptr<tarnfield::TaskbarProgress> taskbar_;
    QStringList consoleFolders_;
    bool japanese_ = false;
    bool multiProcess_ = false;
    int processLimit_ = 1;
    tarnfield::OptionFragments fragments_;

    CTarnfieldRun run_;
    QString outputFolder_; // full path of the last run's output, which the button opens
    QTimer refreshTimer_;
    bool quitting_ = false;
    bool abortQuestion_ = false;
    bool closing_ = false;
};
