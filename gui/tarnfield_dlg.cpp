#include "gui/tarnfield_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QUrl>

#include <algorithm>
#include <vector>

#include "gui/command_line.h"
#include "gui/console_child.h"
#include "gui/my_edit.h"
#include "gui/path_routines.h"
#include "gui/run_title.h"

using tarnfield::TaskbarProgress;
using tarnfield::UiText;
namespace text = tarnfield::text;

namespace {

// The template is 359 x 296 dialog units in a 9-point font; a line below it holds the summary of the
// last run and the button that opens its output folder.
constexpr int kDialogWidthUnits = 359;
constexpr int kDialogHeightUnits = 312;
constexpr int kFontPoints = 9;
constexpr int kLongPathWarningLength = 260;
constexpr int kRefreshWindowLines = 20;
constexpr quint64 kProgressRangeLimit = 2147483647;

struct DialogUnits {
    int baseX; // average character width
    int baseY; // character height

    QRect Rect(int x, int y, int width, int height) const {
        auto scale = [](int value, int base, int divisor) { return (value * base + divisor / 2) / divisor; };
        return {scale(x, baseX, 4), scale(y, baseY, 8), scale(width, baseX, 4), scale(height, baseY, 8)};
    }
};

QFont DialogFont(bool japanese) {
    QFont font;
    // Japanese texts in a proportional Japanese face, as the template's; English texts in a Latin face
    // first, so that a backslash is not drawn as a yen sign.
    QStringList families{QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                         QStringLiteral("VL PGothic")};
    if (!japanese) families.prepend(QStringLiteral("DejaVu Sans"));
    font.setFamilies(families);
    font.setPointSize(kFontPoints);
    return font;
}

DialogUnits UnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the Latin letters, as the dialog manager measures it.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    return {width > 0 ? width : 6, metrics.height() > 0 ? metrics.height() : 12};
}

// An envelope with a paper clip.
QIcon MakeAppIcon() {
    QPixmap image(32, 32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 70, 120), 2));
    painter.setBrush(QColor(235, 240, 250));
    painter.drawRect(3, 9, 26, 18);
    painter.drawLine(3, 9, 16, 20);
    painter.drawLine(29, 9, 16, 20);
    painter.setPen(QPen(QColor(200, 90, 30), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(20, 2, 6, 14, 3, 3);
    return QIcon(image);
}

// The Linux system counts as version 10.0: taskbar progress is tried, the Explorer path warning never shown.
void GetSystemVersion(int& major, int& minor) {
    major = 10;
    minor = 0;
}

} // namespace

CTarnfieldDlg::CTarnfieldDlg(const QStringList& arguments, bool japanese, QWidget* parent)
    : QDialog(parent), consoleFolders_(tarnfield::DefaultConsoleFolders()), japanese_(japanese) {
    BuildControls();
    SetInitialStates(arguments);
    refreshTimer_.setInterval(16);
    connect(&refreshTimer_, &QTimer::timeout, this, &CTarnfieldDlg::RefreshLogView);
    ConnectRun();
    qApp->installEventFilter(this);
}

CTarnfieldDlg::~CTarnfieldDlg() {
    qApp->removeEventFilter(this);
    if (!run_.IsIdle()) {
        run_.Abort();
        run_.Gate().Set();
        WaitForWorker();
    }
}

QString CTarnfieldDlg::Tr(const UiText& t) const {
    return QString::fromUtf8(japanese_ ? t.ja : t.en);
}

QString CTarnfieldDlg::IdleTitle() const {
    QString title = Tr(text::kIdleTitle);
    if (multiProcess_) title += Tr(text::kMultiProcessSuffix);
    return title;
}

void CTarnfieldDlg::BuildControls() {
    const QFont font = DialogFont(japanese_);
    setFont(font);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QString::fromUtf8(text::kIdleTitle.ja));
    setWindowIcon(MakeAppIcon());
    setObjectName(QStringLiteral("tarnfieldDialog"));

    // Controls are placed in dialog units once all exist, so that the units can be widened until
    // every text fits: fonts here are not the template's, and a cut-off label helps nobody.
    struct UnitRect {
        int x, y, width, height;
    };
    std::vector<std::pair<QWidget*, UnitRect>> placements;
    auto place = [&](QWidget* widget, const char* name, UnitRect rect) {
        widget->setObjectName(QString::fromLatin1(name));
        placements.emplace_back(widget, rect);
    };
    auto button = [&](const char* name, const UiText& t, UnitRect rect) {
        auto* b = new QPushButton(Tr(t), this);
        b->setAutoDefault(false);
        place(b, name, rect);
        return b;
    };
    auto check = [&](const char* name, const UiText& t, UnitRect rect) {
        auto* c = new QCheckBox(Tr(t), this);
        place(c, name, rect);
        return c;
    };
    auto label = [&](const char* name, const UiText& t, UnitRect rect) {
        auto* l = new QLabel(Tr(t), this);
        l->setTextFormat(Qt::PlainText);
        place(l, name, rect);
        return l;
    };

    logView_ = new CMyEdit(this);
    place(logView_, "logView", UnitRect{7, 140, 345, 140});
    targetField_ = new CMyEdit2(this);
    place(targetField_, "targetField", UnitRect{7, 21, 295, 15});
    outputField_ = new CMyEdit3(this);
    place(outputField_, "outputField", UnitRect{7, 50, 295, 16});
    targetBrowse_ = button("targetBrowseButton", text::kTargetBrowse, UnitRect{302, 21, 50, 15});
    outputBrowse_ = button("outputBrowseButton", text::kOutputBrowse, UnitRect{302, 50, 50, 16});
    senderFolder_ = check("senderFolderCheck", text::kSenderFolder, UnitRect{7, 71, 112, 10});
    dateFolder_ = check("dateFolderCheck", text::kDateFolder, UnitRect{119, 71, 112, 10});
    reverseFolders_ = check("reverseFoldersCheck", text::kReverseFolders, UnitRect{231, 71, 121, 10});
    inlineParts_ = check("inlinePartsCheck", text::kInlineParts, UnitRect{7, 88, 112, 10});
    noBody_ = check("noBodyCheck", text::kNoBody, UnitRect{119, 88, 112, 10});
    fullWidth_ = check("fullWidthCheck", text::kFullWidth, UnitRect{231, 88, 121, 10});
    timestamp_ = check("timestampCheck", text::kTimestamp, UnitRect{7, 105, 112, 10});
    logFile_ = check("logFileCheck", text::kLogFile, UnitRect{119, 105, 112, 10});
    targetLabel_ = label("targetLabel", text::kTargetLabel, UnitRect{7, 11, 59, 8});
    outputLabel_ = label("outputLabel", text::kOutputLabel, UnitRect{7, 40, 59, 8});
    exportButton_ = button("exportButton", text::kExport, UnitRect{302, 102, 50, 31});
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    place(progress_, "progressBar", UnitRect{7, 280, 345, 9});
    noPrint_ = check("noPrintCheck", text::kNoPrint, UnitRect{231, 105, 71, 10});
    forward_ = check("forwardCheck", text::kForward, UnitRect{7, 122, 112, 10});
    forwardName_ = new QLineEdit(this);
    place(forwardName_, "forwardNameField", UnitRect{119, 121, 83, 12});
    emlSuffix_ = label("emlSuffixLabel", text::kEmlSuffix, UnitRect{203, 124, 14, 8});
    emlSuffix_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusLine_ = new QLabel(this);
    statusLine_->setTextFormat(Qt::PlainText);
    place(statusLine_, "statusLine", UnitRect{7, 295, 255, 10});
    openOutput_ = button("openOutputButton", text::kOpenOutput, UnitRect{267, 293, 85, 14});
    openOutput_->setEnabled(false);
    logView_->setFocusPolicy(Qt::ClickFocus);

    DialogUnits scale = UnitsOf(font);
    for (const auto& [widget, rect] : placements) {
        if (!qobject_cast<QCheckBox*>(widget) && !qobject_cast<QLabel*>(widget)) continue;
        if (widget == statusLine_) continue; // empty until a run ends; a long summary may be cut
        const int needed = widget->sizeHint().width();
        scale.baseX = std::max(scale.baseX, (needed * 4 + rect.width - 1) / rect.width);
    }
    for (const auto& [widget, rect] : placements)
        widget->setGeometry(scale.Rect(rect.x, rect.y, rect.width, rect.height));
    setFixedSize(scale.Rect(0, 0, kDialogWidthUnits, kDialogHeightUnits).size());

    // The tab order is the creation order; spell it out so that it cannot drift.
    QWidget* order[] = {targetField_, outputField_,    targetBrowse_, outputBrowse_, senderFolder_,
                        dateFolder_,  reverseFolders_, inlineParts_,  noBody_,       fullWidth_,
                        timestamp_,   logFile_,        exportButton_, noPrint_,      forward_,
                        forwardName_, openOutput_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(senderFolder_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnSenderFolderClicked);
    connect(dateFolder_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnDateFolderClicked);
    connect(reverseFolders_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnReverseFoldersClicked);
    connect(inlineParts_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnInlinePartsClicked);
    connect(noBody_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnNoBodyClicked);
    connect(fullWidth_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnFullWidthClicked);
    connect(timestamp_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnTimestampClicked);
    connect(logFile_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnLogFileClicked);
    connect(noPrint_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnNoPrintClicked);
    connect(forward_, &QCheckBox::clicked, this, &CTarnfieldDlg::OnForwardClicked);
    connect(targetBrowse_, &QPushButton::clicked, this, &CTarnfieldDlg::BrowseTarget);
    connect(outputBrowse_, &QPushButton::clicked, this, &CTarnfieldDlg::BrowseOutput);
    connect(exportButton_, &QPushButton::clicked, this, &CTarnfieldDlg::OnExportClicked);
    connect(openOutput_, &QPushButton::clicked, this, &CTarnfieldDlg::OpenOutputFolder);

    // Scrolling the log view pauses a run until the scroll bar is let go; a click shows what came meanwhile.
    connect(logView_, &CMyEdit::scrollPressed, this, [this] { run_.Gate().Reset(); });
    connect(logView_, &CMyEdit::scrollReleased, this, [this] { run_.Gate().Set(); });
    connect(logView_, &CMyEdit::clicked, this, [this] {
        if (run_.Gate().Exists()) logView_->CatchUp(run_.Log());
    });
}

void CTarnfieldDlg::ConnectRun() {
    connect(&run_, &CTarnfieldRun::searchFinished, this, &CTarnfieldDlg::OnSearchFinished);
    connect(&run_, &CTarnfieldRun::fileStarting, this, &CTarnfieldDlg::OnFileStarting);
    connect(&run_, &CTarnfieldRun::fileDone, this, &CTarnfieldDlg::OnFileDone);
    // The message box belongs to the dialog's thread; the worker waits for its answer.
    connect(&run_, &CTarnfieldRun::commandTooLong, this, &CTarnfieldDlg::OnCommandTooLong,
            Qt::BlockingQueuedConnection);
    connect(&run_, &CTarnfieldRun::finished, this, &CTarnfieldDlg::OnRunFinished);
}

void CTarnfieldDlg::SetInitialStates(const QStringList& arguments) {
    taskbar_ = tarnfield::TaskbarProgress::Create();
    int major = 0;
    int minor = 0;
    GetSystemVersion(major, minor);
    if (!(major > 6 || (major == 6 && minor > 0))) taskbar_.reset();

    senderFolder_->setChecked(true);
    dateFolder_->setChecked(true);
    inlineParts_->setChecked(true);
    forwardName_->setReadOnly(true);
    forwardName_->setMaxLength(tarnfield::kForwardNameLimit);

    run_.Log().Clear();
    fragments_.print = QStringLiteral(" /P");

    const int limit = arguments.isEmpty() ? 0 : tarnfield::ParseMultiProcessArgument(arguments.first());
    if (limit > 0) {
        multiProcess_ = true;
        processLimit_ = limit;
    }
    setWindowTitle(IdleTitle());
    targetField_->setFocus(Qt::OtherFocusReason);
}

QMessageBox::StandardButton CTarnfieldDlg::ShowMessage(QMessageBox::Icon icon, const UiText& title,
                                                       const QString& body,
                                                       QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, Tr(title), body, buttons, this);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void CTarnfieldDlg::OnSenderFolderClicked() {
    fragments_.noSenderFolder = senderFolder_->isChecked() ? QString() : QStringLiteral(" /NN");
}

void CTarnfieldDlg::OnDateFolderClicked() {
    fragments_.noDateFolder = dateFolder_->isChecked() ? QString() : QStringLiteral(" /ND");
}

void CTarnfieldDlg::OnReverseFoldersClicked() {
    fragments_.reverseFolders = reverseFolders_->isChecked() ? QStringLiteral(" /RF") : QString();
}

void CTarnfieldDlg::OnInlinePartsClicked() {
    if (inlineParts_->isChecked()) {
        fragments_.noInline.clear();
        return;
    }
    fragments_.noInline = QStringLiteral(" /NI");
    // A forwarded mail is an inline part too: without inline parts there is nothing to name.
    forward_->setChecked(false);
    OnForwardClicked();
}

void CTarnfieldDlg::OnNoBodyClicked() {
    fragments_.contentOnly = noBody_->isChecked() ? QStringLiteral(" /CO") : QString();
}

void CTarnfieldDlg::OnFullWidthClicked() {
    fragments_.fullWidth = fullWidth_->isChecked() ? QStringLiteral(" /CW") : QString();
}

void CTarnfieldDlg::OnTimestampClicked() {
    const bool ticked = timestamp_->isChecked();
    fragments_.timestampMode = ticked ? QStringLiteral(" /DM") : QString();
    // Date mode extracts nothing, so the extraction options mean nothing while it is ticked.
    for (QCheckBox* box :
         {senderFolder_, dateFolder_, reverseFolders_, inlineParts_, noBody_, fullWidth_, logFile_, forward_})
        box->setEnabled(!ticked);
    forwardName_->setReadOnly(ticked || !forward_->isChecked());
}

void CTarnfieldDlg::OnLogFileClicked() {
    fragments_.logFile = logFile_->isChecked() ? QStringLiteral(" /L") : QString();
}

void CTarnfieldDlg::OnNoPrintClicked() {
    fragments_.print = noPrint_->isChecked() ? QString() : QStringLiteral(" /P");
}

void CTarnfieldDlg::OnForwardClicked() {
    if (!forward_->isChecked()) {
        fragments_.forwardName.clear();
        forwardName_->setReadOnly(true);
        return;
    }
    fragments_.forwardName = QStringLiteral(" /FW");
    forwardName_->setReadOnly(false);
    inlineParts_->setChecked(true);
    OnInlinePartsClicked();
}

void CTarnfieldDlg::BrowseTarget() {
    BrowseInto(targetField_, text::kChooseTarget);
}

void CTarnfieldDlg::BrowseOutput() {
    BrowseInto(outputField_, text::kChooseOutput);
}

void CTarnfieldDlg::BrowseInto(QLineEdit* field, const UiText& title) {
    const QString current = field->text();
    const QString initial = tarnfield::PathExists(current) ? current : QString();
    const QString chosen =
        QFileDialog::getExistingDirectory(this, Tr(title), initial, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) field->setText(chosen);
}

void CTarnfieldDlg::OnExportClicked() {
    if (exportButton_->text() == Tr(text::kAbort)) {
        AbortRun();
        return;
    }
    if (tarnfield::LocateConsoleProgram(consoleFolders_).isEmpty()) {
        const QString first = consoleFolders_.isEmpty() ? QDir::currentPath() : consoleFolders_.first();
        const QString path = QDir(first).filePath(QString::fromLatin1(tarnfield::kConsoleProgramName));
        ShowMessage(QMessageBox::Warning, text::kConsoleMissingTitle, path + Tr(text::kConsoleMissing));
        return;
    }

    QString target = targetField_->text();
    tarnfield::TrimQuotesAndBlanks(target);
    bool isFolder = false;
    if (!target.isEmpty() && tarnfield::PathExists(target, &isFolder) && !isFolder)
        tarnfield::CutToParentFolder(target);
    targetField_->setText(target);
    if (target.isEmpty()) {
        ShowMessage(QMessageBox::Warning, text::kInformation, Tr(text::kTargetEmpty));
        return;
    }
    if (!tarnfield::PathExists(target)) {
        ShowMessage(QMessageBox::Warning, text::kInformation, Tr(text::kTargetMissing));
        return;
    }

    QString output = outputField_->text();
    tarnfield::TrimQuotesAndBlanks(output);
    outputField_->setText(output);
    if (!timestamp_->isChecked() && output.isEmpty()) {
        output = target;
        tarnfield::AppendSeparator(output);
        output += QStringLiteral("output");
        const QString question = Tr(text::kDefaultOutputBefore) + output + Tr(text::kDefaultOutputAfter);
        if (ShowMessage(QMessageBox::NoIcon, text::kConfirm, question, QMessageBox::Yes | QMessageBox::No,
                        QMessageBox::Yes) != QMessageBox::Yes) {
            outputField_->clear();
            return;
        }
        outputField_->setText(output);
    }

    int major = 0;
    int minor = 0;
    GetSystemVersion(major, minor);
    const QString fullOutput = tarnfield::FullPath(output);
    if (major < 10 && fullOutput.size() >= kLongPathWarningLength) {
        if (ShowMessage(QMessageBox::Question, text::kConfirm, Tr(text::kLongOutputPath).arg(fullOutput),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    StartRun(target, output);
}

bool CTarnfieldDlg::eventFilter(QObject* watched, QEvent* event) {
    // Keys of the dialog and of all its controls pass here first.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        case Qt::Key_Escape: {
            QTextCursor cursor = logView_->textCursor();
            cursor.clearSelection();
            logView_->setTextCursor(cursor);
            return true;
        }
        case Qt::Key_F4:
            if ((key->modifiers() & Qt::AltModifier) && quitting_) return true;
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTarnfieldDlg::reject() {
    // Every way of closing goes through the quit handling.
    close();
}

void CTarnfieldDlg::closeEvent(QCloseEvent* event) {
    if (quitting_ || closing_) {
        // Already waiting for the worker: a second request (Alt+F4, the title bar) changes nothing.
        event->ignore();
        return;
    }
    if (!run_.IsIdle()) {
        if (ShowMessage(QMessageBox::Question, text::kConfirm, Tr(text::kQuitQuestion),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        if (!run_.IsIdle()) {
            setWindowTitle(Tr(text::kQuittingTitle));
            exportButton_->setEnabled(false);
            refreshTimer_.stop();
            run_.Abort();
            quitting_ = true;
            // A pause begun by scrolling must not keep the worker from seeing the abort.
            run_.Gate().Set();
            WaitForWorker();
            quitting_ = false;
        }
    }
    closing_ = true;
    run_.Log().Clear();
    logView_->Restart();
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void CTarnfieldDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        if (taskbar_ && run_.IsIdle()) taskbar_->SetState(TaskbarProgress::State::NoProgress);
    } else if (!abortQuestion_) {
        // A pause begun by scrolling never outlives the window's focus.
        run_.Gate().Set();
    }
}

tarnfield::RunSettings CTarnfieldDlg::PrepareRun(QString target, QString output) {
    tarnfield::NormalizeSeparators(target);
    tarnfield::NormalizeSeparators(output);
    output = tarnfield::FullPath(output);
    outputFolder_ = timestamp_->isChecked() ? QString() : output;

    tarnfield::RunSettings settings;
    // The console program resolves relative paths against its own folder, and is started there.
    settings.child.workingFolder = tarnfield::ConsoleHomeFolder(consoleFolders_);
    tarnfield::MakeRelativePath(settings.child.workingFolder, output);

    if (forward_->isChecked()) {
        const QString name =
            tarnfield::CleanForwardName(forwardName_->text().left(tarnfield::kForwardNameLimit));
        forwardName_->setText(name);
        fragments_.forwardName =
            QStringLiteral(" /FW ") +
            tarnfield::QuoteArgument(name.isEmpty() ? QStringLiteral("[UNKNOWN-MESSAGE]") : name);
    }
    settings.baseCommand = tarnfield::BuildBaseCommand(fragments_, timestamp_->isChecked(), output);

    settings.rootPath = tarnfield::FullPath(target);
    settings.relativeTarget = settings.rootPath;
    tarnfield::MakeRelativePath(settings.child.workingFolder, settings.relativeTarget);
    settings.child.consoleFolders = consoleFolders_;
    settings.child.print = !noPrint_->isChecked();
    settings.child.timestampMode = timestamp_->isChecked();
    settings.child.multiProcess = multiProcess_;
    settings.child.processLimit = processLimit_;
    settings.child.japanese = japanese_;
    return settings;
}

void CTarnfieldDlg::StartRun(const QString& target, const QString& output) {
    const tarnfield::RunSettings settings = PrepareRun(target, output);

    exportButton_->setText(Tr(text::kAbort));
    for (QWidget* control : std::initializer_list<QWidget*>{
             targetBrowse_, outputBrowse_, senderFolder_, dateFolder_, reverseFolders_, inlineParts_, noBody_,
             fullWidth_, timestamp_, logFile_, noPrint_, forward_, openOutput_})
        control->setEnabled(false);
    targetField_->setReadOnly(true);
    outputField_->setReadOnly(true);
    forwardName_->setReadOnly(true);
    statusLine_->clear();

    progress_->setValue(0);
    setWindowTitle(Tr(text::kSearchingTitle));
    activateWindow();
    run_.Start(settings);
}

void CTarnfieldDlg::AbortRun() {
    abortQuestion_ = true;
    if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Paused);
    const bool timerWasRunning = refreshTimer_.isActive();
    refreshTimer_.stop();
    run_.Gate().Reset();
    const bool yes = ShowMessage(QMessageBox::Question, text::kConfirm, Tr(text::kAbortQuestion),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Normal);
    if (yes)
        run_.Abort();
    else if (timerWasRunning && !run_.IsIdle())
        refreshTimer_.start();
    run_.Gate().Set();
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
    logView_->CatchUp(run_.Log());
    if (taskbar_) {
        const bool attention = completed && !isActiveWindow();
        taskbar_->SetState(attention ? TaskbarProgress::State::Indeterminate
                                     : TaskbarProgress::State::NoProgress);
    }
}

void CTarnfieldDlg::RefreshLogView() {
    if (!run_.TakeNewOutput()) return;
    // Only when the last line lies within 20 lines of the first one in view: a reader who scrolled up
    // is not pulled away.
    if (logView_->EndInView(kRefreshWindowLines)) logView_->CatchUp(run_.Log());
}

void CTarnfieldDlg::OpenOutputFolder() {
    if (!outputFolder_.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(outputFolder_));
}

void CTarnfieldDlg::StartRefreshTimer() {
    if (!quitting_) refreshTimer_.start();
}

void CTarnfieldDlg::OnSearchFinished(quint64 found) {
    setWindowTitle(IdleTitle());
    progress_->setRange(0, static_cast<int>(std::min(found, kProgressRangeLimit)));
    progress_->setValue(0);
    if (taskbar_) taskbar_->SetState(TaskbarProgress::State::Normal);
    if (run_.Settings().child.print) StartRefreshTimer();
}

void CTarnfieldDlg::OnFileStarting(quint64 processed, quint64 found, const QString& entry) {
    setWindowTitle(tarnfield::FilePhaseTitle(japanese_, processed, found, entry));
}

void CTarnfieldDlg::OnFileDone(quint64 processed, quint64 found) {
    progress_->setValue(static_cast<int>(std::min(processed, kProgressRangeLimit)));
    if (taskbar_) taskbar_->SetValue(processed, found);
}

void CTarnfieldDlg::OnCommandTooLong(const QString& command) {
    ShowMessage(QMessageBox::Warning, text::kInformation, Tr(text::kCommandTooLong) + command);
}

void CTarnfieldDlg::OnRunFinished(bool completed) {
    refreshTimer_.stop();
    RestoreIdleState(completed);
    ShowSummary();
    emit runFinished();
}

void CTarnfieldDlg::ShowSummary() {
    const QString summary = tarnfield::SummaryText(japanese_, run_.Summary());
    statusLine_->setText(summary);
    // The log view gets it as a line of its own, after what the children printed.
    run_.Log().Append(QString(summary + QStringLiteral("\r\n")));
    logView_->CatchUp(run_.Log());
    openOutput_->setEnabled(!outputFolder_.isEmpty());
}

void CTarnfieldDlg::WaitForWorker() {
    // The worker's title changes, message boxes and its end are served while we wait.
    if (run_.IsIdle()) return;
    QEventLoop loop;
    connect(this, &CTarnfieldDlg::runFinished, &loop, &QEventLoop::quit);
    if (!run_.IsIdle()) loop.exec();
}
