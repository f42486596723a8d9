// The main dialog: its controls and texts, the option boxes, the checks before a run, the keys, the
// folder pickers and dropped folders.

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "gui/my_edit.h"
#include "gui/path_routines.h"
#include "gui/tarnfield_dlg.h"
#include "test_support.h"

using testing_support::AnswerNextMessageBox;
using testing_support::SeenBox;
using testing_support::WriteFile;

namespace {

template <typename T = QWidget> T* Find(CTarnfieldDlg& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

QCheckBox* Box(CTarnfieldDlg& dialog, const char* name) {
    return Find<QCheckBox>(dialog, name);
}

std::unique_ptr<CTarnfieldDlg> MakeDialog(bool japanese, const QStringList& arguments = {}) {
    auto dialog = std::make_unique<CTarnfieldDlg>(arguments, japanese);
    dialog->SetConsoleFolders({testing_support::FakeConsoleFolder()});
    return dialog;
}

void Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

class TestDialog : public QObject {
    Q_OBJECT
  private slots:
    void controlsInTemplateOrder();
    void texts_data();
    void texts();
    void initialStates();
    void multiProcessTitle_data();
    void multiProcessTitle();
    void inlineAndForwardChain();
    void fragmentsFollowTheBoxes();
    void timestampModeDisablesExtractionOptions();
    void baseCommandForSettings();
    void missingConsoleProgram();
    void targetChecks_data();
    void targetChecks();
    void targetFileBecomesItsFolder();
    void defaultOutputQuestion();
    void timestampModeAsksNoOutput();
    void enterAndEscapeNeverClose();
    void logViewKeys();
    void folderPicker();
    void droppedItems();
};

void TestDialog::controlsInTemplateOrder() {
    auto dialog = MakeDialog(false);
    // Focusable controls in the template's tab order.
    const QStringList expected{
        "targetField",       "outputField",     "targetBrowseButton",  "outputBrowseButton",
        "senderFolderCheck", "dateFolderCheck", "reverseFoldersCheck", "inlinePartsCheck",
        "noBodyCheck",       "fullWidthCheck",  "timestampCheck",      "logFileCheck",
        "exportButton",      "noPrintCheck",    "forwardCheck",        "forwardNameField"};
    QStringList chain;
    QWidget* widget = Find(*dialog, "targetField");
    for (int i = 0; i < expected.size(); ++i) {
        chain << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (widget->focusPolicy() & Qt::TabFocus ? false : widget != Find(*dialog, "targetField"));
    }
    QCOMPARE(chain, expected);

    // The layout follows the template: rows top to bottom, buttons on the right, log and progress below.
    auto geometry = [&dialog](const char* name) { return Find(*dialog, name)->geometry(); };
    QVERIFY(geometry("targetLabel").bottom() <= geometry("targetField").top());
    QVERIFY(geometry("targetField").bottom() < geometry("outputField").top());
    QVERIFY(geometry("targetField").right() < geometry("targetBrowseButton").left() + 2);
    QCOMPARE(geometry("senderFolderCheck").top(), geometry("reverseFoldersCheck").top());
    QVERIFY(geometry("senderFolderCheck").top() < geometry("inlinePartsCheck").top());
    QVERIFY(geometry("exportButton").height() > geometry("targetBrowseButton").height());
    QVERIFY(geometry("forwardCheck").bottom() < geometry("logView").top());
    QVERIFY(geometry("logView").bottom() <= geometry("progressBar").top() + 1);
    QVERIFY(geometry("progressBar").bottom() < dialog->height());
    QCOMPARE(geometry("logView").width(), geometry("progressBar").width());
    QVERIFY(Find<QLabel>(*dialog, "emlSuffixLabel")->alignment() & Qt::AlignRight);
}

void TestDialog::texts_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QStringList>("texts");
    const QStringList names{
        "targetBrowseButton",  "outputBrowseButton", "senderFolderCheck", "dateFolderCheck",
        "reverseFoldersCheck", "inlinePartsCheck",   "noBodyCheck",       "fullWidthCheck",
        "timestampCheck",      "logFileCheck",       "targetLabel",       "outputLabel",
        "exportButton",        "noPrintCheck",       "forwardCheck",      "emlSuffixLabel"};
    QTest::newRow("japanese") << true
                              << QStringList{"参照(&S)...",
                                             "参照(&D)...",
                                             "送信者アドレスのフォルダを作成",
                                             "受信日時のフォルダを作成",
                                             "受信日時のフォルダを優先",
                                             "インライン表示のファイルを抽出",
                                             "本文なしのメールから抽出",
                                             "禁止文字（\\/?:*\"><|）を全角に変換",
                                             "EMLの作成日時を送受信日に変更",
                                             "ログファイルの作成（dornick.txt）",
                                             "作業元フォルダ",
                                             "出力先フォルダ",
                                             "抽出開始(&E)",
                                             "ログを画面出力しない",
                                             "インライン表示の転送メールを抽出",
                                             ".eml"};
    QTest::newRow("english") << false
                             << QStringList{"&Target...",
                                            "&Output...",
                                            "Create folder(Sender address)",
                                            "Create folder(Rcvd/Sent date)",
                                            "Reverse folder structure",
                                            "Export inline parts",
                                            "Search Email with no body",
                                            "Replace to double-width(\\/?:*\"><|)",
                                            "Modify EML's timestamp",
                                            "Save log file(dornick.txt)",
                                            "Target folder:",
                                            "Output folder:",
                                            "&Export",
                                            "No print log",
                                            "Export inline RFC822 message",
                                            ".eml"};
}

void TestDialog::texts() {
    QFETCH(bool, japanese);
    QFETCH(QStringList, texts);
    auto dialog = MakeDialog(japanese);
    const QStringList names{
        "targetBrowseButton",  "outputBrowseButton", "senderFolderCheck", "dateFolderCheck",
        "reverseFoldersCheck", "inlinePartsCheck",   "noBodyCheck",       "fullWidthCheck",
        "timestampCheck",      "logFileCheck",       "targetLabel",       "outputLabel",
        "exportButton",        "noPrintCheck",       "forwardCheck",      "emlSuffixLabel"};
    for (int i = 0; i < names.size(); ++i) {
        QWidget* widget = Find(*dialog, names[i].toLatin1().constData());
        const QString shown = qobject_cast<QAbstractButton*>(widget)
                                  ? qobject_cast<QAbstractButton*>(widget)->text()
                                  : qobject_cast<QLabel*>(widget)->text();
        QCOMPARE(shown, texts[i]);
    }
    QCOMPARE(dialog->windowTitle(), japanese ? QStringLiteral("マヴレルGUI") : QStringLiteral("Mavrel"));
}

void TestDialog::initialStates() {
    auto dialog = MakeDialog(true);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const QStringList ticked{"senderFolderCheck", "dateFolderCheck", "inlinePartsCheck"};
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        QVERIFY2(box->isChecked() == ticked.contains(box->objectName()), qPrintable(box->objectName()));
    auto* name = Find<QLineEdit>(*dialog, "forwardNameField");
    QVERIFY(name->isReadOnly());
    QCOMPARE(name->maxLength(), 251);
    QCOMPARE(dialog->Fragments().print, QStringLiteral(" /P"));
    QVERIFY(dialog->Fragments().noSenderFolder.isEmpty());
    QVERIFY(!dialog->IsMultiProcess());
    QCOMPARE(dialog->focusWidget(), Find(*dialog, "targetField"));
    QVERIFY(Find<CMyEdit>(*dialog, "logView")->isReadOnly());
    QCOMPARE(Find<QProgressBar>(*dialog, "progressBar")->value(), 0);
    QVERIFY(dialog->Run().IsIdle());
}

void TestDialog::multiProcessTitle_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("title");
    QTest::newRow("/mp3 japanese") << QStringList{"/mp3"} << true << 3 << "マヴレルGUI with MP";
    QTest::newRow("/MP english") << QStringList{"/MP"} << false << 5 << "Mavrel with MP";
    QTest::newRow("/MPx") << QStringList{"/MPx"} << false << 5 << "Mavrel with MP";
    QTest::newRow("only the first argument counts") << QStringList{"x", "/MP3"} << false << 1 << "Mavrel";
}

void TestDialog::multiProcessTitle() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, japanese);
    QFETCH(int, limit);
    QFETCH(QString, title);
    auto dialog = MakeDialog(japanese, arguments);
    QCOMPARE(dialog->ProcessLimit(), limit);
    QCOMPARE(dialog->IsMultiProcess(), limit != 1);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->IdleTitle(), title);
}

void TestDialog::inlineAndForwardChain() {
    auto dialog = MakeDialog(false);
    dialog->show();
    QCheckBox* inlineParts = Box(*dialog, "inlinePartsCheck");
    QCheckBox* forward = Box(*dialog, "forwardCheck");
    auto* name = Find<QLineEdit>(*dialog, "forwardNameField");

    QTest::mouseClick(forward, Qt::LeftButton);
    QVERIFY(forward->isChecked());
    QVERIFY(!name->isReadOnly());
    QCOMPARE(dialog->Fragments().forwardName, QStringLiteral(" /FW"));

    // Unticking inline parts unticks the forwarded messages too.
    QTest::mouseClick(inlineParts, Qt::LeftButton);
    QVERIFY(!inlineParts->isChecked());
    QVERIFY(!forward->isChecked());
    QVERIFY(name->isReadOnly());
    QCOMPARE(dialog->Fragments().noInline, QStringLiteral(" /NI"));
    QVERIFY(dialog->Fragments().forwardName.isEmpty());

    // Ticking forwarded messages ticks inline parts again.
    QTest::mouseClick(forward, Qt::LeftButton);
    QVERIFY(inlineParts->isChecked());
    QVERIFY(dialog->Fragments().noInline.isEmpty());
    QCOMPARE(dialog->Fragments().forwardName, QStringLiteral(" /FW"));

    QTest::mouseClick(forward, Qt::LeftButton);
    QVERIFY(name->isReadOnly());
    QVERIFY(inlineParts->isChecked());
}

void TestDialog::fragmentsFollowTheBoxes() {
    struct Row {
        const char* box;
        QString tarnfield::OptionFragments::*fragment;
        const char* whenClickedOnce;
    } rows[] = {
        {"senderFolderCheck", &tarnfield::OptionFragments::noSenderFolder, " /NN"},
        {"dateFolderCheck", &tarnfield::OptionFragments::noDateFolder, " /ND"},
        {"reverseFoldersCheck", &tarnfield::OptionFragments::reverseFolders, " /RF"},
        {"inlinePartsCheck", &tarnfield::OptionFragments::noInline, " /NI"},
        {"noBodyCheck", &tarnfield::OptionFragments::contentOnly, " /CO"},
        {"fullWidthCheck", &tarnfield::OptionFragments::fullWidth, " /CW"},
        {"timestampCheck", &tarnfield::OptionFragments::timestampMode, " /DM"},
        {"logFileCheck", &tarnfield::OptionFragments::logFile, " /L"},
        {"noPrintCheck", &tarnfield::OptionFragments::print, ""},
    };
    for (const Row& row : rows) {
        auto dialog = MakeDialog(false);
        dialog->show();
        const QString before = dialog->Fragments().*row.fragment;
        QTest::mouseClick(Box(*dialog, row.box), Qt::LeftButton);
        QVERIFY2(dialog->Fragments().*row.fragment == QString::fromLatin1(row.whenClickedOnce), row.box);
        QTest::mouseClick(Box(*dialog, row.box), Qt::LeftButton);
        QVERIFY2(dialog->Fragments().*row.fragment == before, row.box);
    }
}

void TestDialog::timestampModeDisablesExtractionOptions() {
    auto dialog = MakeDialog(false);
    dialog->show();
    const QStringList governed{"senderFolderCheck", "dateFolderCheck", "reverseFoldersCheck",
                               "inlinePartsCheck",  "noBodyCheck",     "fullWidthCheck",
                               "logFileCheck",      "forwardCheck"};
    QTest::mouseClick(Box(*dialog, "forwardCheck"), Qt::LeftButton);
    QTest::mouseClick(Box(*dialog, "timestampCheck"), Qt::LeftButton);
    for (const QString& name : governed)
        QVERIFY2(!Box(*dialog, qPrintable(name))->isEnabled(), qPrintable(name));
    QVERIFY(Box(*dialog, "noPrintCheck")->isEnabled());
    QVERIFY(Find<QLineEdit>(*dialog, "forwardNameField")->isReadOnly());

    QTest::mouseClick(Box(*dialog, "timestampCheck"), Qt::LeftButton);
    for (const QString& name : governed)
        QVERIFY2(Box(*dialog, qPrintable(name))->isEnabled(), qPrintable(name));
    QVERIFY(!Find<QLineEdit>(*dialog, "forwardNameField")->isReadOnly()); // forwarded messages still ticked
}

void TestDialog::baseCommandForSettings() {
    struct Row {
        const char* name;
        QStringList clicks;
        QString forwardName;
        QString output;
        QString command;
        QString writtenBack;
    };
    // Relative forms are relative to the console program's folder, where the children run.
    const QString home = QFileInfo(testing_support::FakeConsoleFolder()).canonicalFilePath();
    const Row rows[] = {
        {"defaults, output below the program's folder",
         {},
         {},
         home + "/out",
         "dornick.exe /P /O \"out\"",
         {}},
        {"sibling output, separators doubled",
         {},
         {},
         home + "/../out//sub/",
         "dornick.exe /P /O \"../out/sub\"",
         {}},
        {"no folders, log, no print",
         {"senderFolderCheck", "dateFolderCheck", "logFileCheck", "noPrintCheck"},
         {},
         "/elsewhere/out",
         "dornick.exe /NN /ND /L /O \"/elsewhere/out\"",
         {}},
        {"every extraction option",
         {"reverseFoldersCheck", "noBodyCheck", "fullWidthCheck", "forwardCheck"},
         " \"C:\\x\\fwd\" ",
         "/o",
         "dornick.exe /RF /CO /CW /P /FW \"fwd\" /O \"/o\"",
         "fwd"},
        {"forwarded messages without a name",
         {"forwardCheck"},
         "  ",
         "/o",
         "dornick.exe /P /FW \"[UNKNOWN-MESSAGE]\" /O \"/o\"",
         ""},
        {"inline parts off", {"inlinePartsCheck"}, {}, "/o", "dornick.exe /NI /P /O \"/o\"", {}},
        {"timestamp mode", {"timestampCheck", "noPrintCheck"}, {}, "", "dornick.exe /DM", {}},
    };
    for (const Row& row : rows) {
        auto dialog = MakeDialog(false);
        dialog->show();
        for (const QString& click : row.clicks)
            QTest::mouseClick(Box(*dialog, qPrintable(click)), Qt::LeftButton);
        auto* name = Find<QLineEdit>(*dialog, "forwardNameField");
        if (!row.forwardName.isNull()) name->setText(row.forwardName);
        const tarnfield::RunSettings settings = dialog->PrepareRun(QStringLiteral("/target"), row.output);
        QCOMPARE(settings.child.workingFolder, home);
        QVERIFY2(settings.baseCommand == row.command,
                 qPrintable(QStringLiteral("%1: %2").arg(row.name, settings.baseCommand)));
        if (!row.writtenBack.isNull()) QCOMPARE(name->text(), row.writtenBack);
    }
}

void TestDialog::missingConsoleProgram() {
    QTemporaryDir empty;
    for (bool japanese : {true, false}) {
        auto dialog = MakeDialog(japanese);
        dialog->SetConsoleFolders({empty.path()});
        SeenBox seen;
        AnswerNextMessageBox(QMessageBox::Ok, &seen);
        QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
        QVERIFY(seen.answered);
        const QString path = empty.path() + "/dornick";
        QCOMPARE(seen.text, path + (japanese ? "\nが見つかりません。" : "\nis not found."));
        QCOMPARE(seen.title, japanese ? QStringLiteral("マヴレル本体が必要です")
                                      : QStringLiteral("dornick.exe is necessary for work"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QVERIFY(dialog->Run().IsIdle());
    }
}

void TestDialog::targetChecks_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty, japanese") << true << "  \"\"  "
                                     << "情報"
                                     << "作業元フォルダが未設定です。";
    QTest::newRow("empty, english") << false << ""
                                    << "Information"
                                    << "Target folder is not specified.";
    QTest::newRow("missing, japanese") << true << "/no/such/folder"
                                       << "情報"
                                       << "指定された作業元フォルダは存在しません。";
    QTest::newRow("missing, english") << false << " \"/no/such/folder\" "
                                      << "Information"
                                      << "Target folder is not exist.";
}

void TestDialog::targetChecks() {
    QFETCH(bool, japanese);
    QFETCH(QString, target);
    QFETCH(QString, title);
    QFETCH(QString, text);
    auto dialog = MakeDialog(japanese);
    auto* field = Find<QLineEdit>(*dialog, "targetField");
    field->setText(target);
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QVERIFY(seen.answered);
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QString trimmed = target;
    tarnfield::TrimQuotesAndBlanks(trimmed);
    QCOMPARE(field->text(), trimmed); // written back without quotes and blanks
    QVERIFY(dialog->Run().IsIdle());
}

void TestDialog::targetFileBecomesItsFolder() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), "x");
    auto dialog = MakeDialog(false);
    Find<QLineEdit>(*dialog, "targetField")->setText("  \"" + dir.filePath("mail/a.eml") + "\" ");
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::No, &seen);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QCOMPARE(Find<QLineEdit>(*dialog, "targetField")->text(), dir.filePath("mail"));
    QVERIFY(seen.answered);
    QCOMPARE(seen.text, "Output to this folder below?\n\n" + dir.filePath("mail/output"));
    // Declined: the output field stays empty and nothing starts.
    QVERIFY(Find<QLineEdit>(*dialog, "outputField")->text().isEmpty());
    QVERIFY(dialog->Run().IsIdle());
}

void TestDialog::defaultOutputQuestion() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), "silent\n");
    auto dialog = MakeDialog(true);
    Find<QLineEdit>(*dialog, "targetField")->setText(dir.filePath("mail"));
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::Yes, &seen);
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QVERIFY(seen.answered);
    QCOMPARE(seen.title, QStringLiteral("確認"));
    QCOMPARE(seen.text, dir.filePath("mail/output") + "\n\n出力先を以上に設定してよろしいですか？");
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);
    QCOMPARE(Find<QLineEdit>(*dialog, "outputField")->text(), dir.filePath("mail/output"));
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QCOMPARE(dialog->Run().FoundCount(), 1u);
}

void TestDialog::timestampModeAsksNoOutput() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), "silent\n");
    auto dialog = MakeDialog(false);
    dialog->show();
    QTest::mouseClick(Box(*dialog, "timestampCheck"), Qt::LeftButton);
    Find<QLineEdit>(*dialog, "targetField")->setText(dir.filePath("mail"));
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    // No question: the run started at once.
    QVERIFY(!dialog->Run().IsIdle() || finished.count() == 1);
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QVERIFY(Find<QLineEdit>(*dialog, "outputField")->text().isEmpty());
    QVERIFY(dialog->Run().Settings().baseCommand.startsWith(QStringLiteral("dornick.exe /DM /P")));
}

void TestDialog::enterAndEscapeNeverClose() {
    auto dialog = MakeDialog(false);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* log = Find<CMyEdit>(*dialog, "logView");
    log->setPlainText(QStringLiteral("line one\nline two"));
    log->selectAll();
    for (const char* name :
         {"targetField", "outputField", "exportButton", "senderFolderCheck", "forwardNameField"}) {
        QWidget* widget = Find(*dialog, name);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClick(widget, Qt::Key_Enter);
        QTest::keyClick(widget, Qt::Key_Escape);
        QVERIFY2(dialog->isVisible(), name);
        QVERIFY2(dialog->Run().IsIdle(), name); // Enter on the focused Export button does not start a run
    }
    QVERIFY(!log->textCursor().hasSelection()); // Escape dropped the log's selection
    QCOMPARE(dialog->result(), 0);
}

void TestDialog::logViewKeys() {
    auto dialog = MakeDialog(false);
    dialog->show();
    auto* log = Find<CMyEdit>(*dialog, "logView");
    log->setPlainText(QStringLiteral("first\nsecond"));
    log->setFocus();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(log->textCursor().selectedText(), QStringLiteral("first\u2029second"));
    QTest::keyClick(log, Qt::Key_Escape);
    QVERIFY(!log->textCursor().hasSelection());
}

void TestDialog::folderPicker() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("start"));
    QVERIFY(QDir(dir.path()).mkpath("chosen"));
    for (bool japanese : {true, false}) {
        auto dialog = MakeDialog(japanese);
        dialog->show();
        auto* field = Find<QLineEdit>(*dialog, "outputField");
        field->setText(dir.filePath("start"));
        QString title;
        QString initial;
        bool accept = true;
        auto answer = [&] {
            auto* poll = new QTimer(dialog.get());
            poll->setInterval(5);
            connect(poll, &QTimer::timeout, poll, [&, poll] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    auto* picker = qobject_cast<QFileDialog*>(widget);
                    if (!picker || !picker->isVisible()) continue;
                    poll->stop();
                    poll->deleteLater();
                    title = picker->windowTitle();
                    initial = picker->directory().absolutePath();
                    if (accept) {
                        picker->setDirectory(dir.filePath("chosen"));
                        QMetaObject::invokeMethod(picker, "accept");
                    } else {
                        picker->reject();
                    }
                    return;
                }
            });
            poll->start();
        };
        answer();
        QTest::mouseClick(Find<QPushButton>(*dialog, "outputBrowseButton"), Qt::LeftButton);
        QCOMPARE(title, japanese ? QStringLiteral("添付ファイルを保存するフォルダを指定してください")
                                 : QStringLiteral("Choose output folder"));
        QCOMPARE(initial, dir.filePath("start"));
        QCOMPARE(field->text(), dir.filePath("chosen"));

        accept = false;
        answer();
        QTest::mouseClick(Find<QPushButton>(*dialog, "targetBrowseButton"), Qt::LeftButton);
        QCOMPARE(title, japanese ? QStringLiteral("EMLファイルの入ったフォルダを指定してください")
                                 : QStringLiteral("Choose target folder"));
        QVERIFY(Find<QLineEdit>(*dialog, "targetField")->text().isEmpty()); // Cancel changes nothing
        QCOMPARE(field->text(), dir.filePath("chosen"));
    }
}

void TestDialog::droppedItems() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), "x");
    WriteFile(dir.filePath("other/b.eml"), "x");
    auto dialog = MakeDialog(false);
    dialog->show();
    for (const char* name : {"targetField", "outputField"}) {
        auto* field = Find<QLineEdit>(*dialog, name);
        Drop(field, {QUrl::fromLocalFile(dir.filePath("mail/a.eml"))});
        QCOMPARE(field->text(), dir.filePath("mail")); // a file gives its folder
        QCOMPARE(field->cursorPosition(), field->text().size());
        Drop(field, {QUrl::fromLocalFile(dir.filePath("other")), QUrl::fromLocalFile(dir.filePath("mail"))});
        QCOMPARE(field->text(), dir.filePath("other")); // a folder itself; only the first item counts
        Drop(field, {QUrl::fromLocalFile(dir.filePath("other/../mail/"))});
        QCOMPARE(field->text(), dir.filePath("mail"));
    }
    QCOMPARE(CMyEdit2::FolderOfDroppedPath(dir.filePath("gone")),
             dir.filePath("gone")); // unknown counts as a folder

    // A drop during a run changes the field, not the run.
    auto* target = Find<QLineEdit>(*dialog, "targetField");
    target->setReadOnly(true);
    Drop(target, {QUrl::fromLocalFile(dir.filePath("mail/a.eml"))});
    QCOMPARE(target->text(), dir.filePath("mail"));
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
