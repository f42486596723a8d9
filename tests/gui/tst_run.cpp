// Runs with a stand-in console program: the search, the children and their pipe, progress, the
// length limit, pausing, abort and quit.

#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "fake_output.h"
#include "gui/console_child.h"
#include "gui/my_edit.h"
#include "gui/path_routines.h"
#include "gui/tarnfield_dlg.h"
#include "test_support.h"

using tarnfield::CountConsoleProcesses;
using testing_support::AnswerNextMessageBox;
using testing_support::CountOwnConsoleChildren;
using testing_support::SeenBox;
using testing_support::WriteFile;

namespace {

constexpr int kRunTimeout = 60000;

template <typename T = QWidget> T* Find(CTarnfieldDlg& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

std::unique_ptr<CTarnfieldDlg> MakeDialog(bool japanese = false, const QStringList& arguments = {}) {
    auto dialog = std::make_unique<CTarnfieldDlg>(arguments, japanese);
    dialog->SetConsoleFolders({testing_support::FakeConsoleFolder()});
    dialog->show();
    return dialog;
}

bool RunAndWait(CTarnfieldDlg& dialog, const QString& target, const QString& output) {
    QSignalSpy finished(&dialog, &CTarnfieldDlg::runFinished);
    dialog.StartRun(target, output);
    return finished.wait(kRunTimeout);
}

// The list form of a file below the target: the target relative to the console program's folder
// when that is shorter.
QString EntryOf(const QString& target, const QString& rest) {
    QString relative = tarnfield::FullPath(target);
    tarnfield::MakeRelativePath(QFileInfo(testing_support::FakeConsoleFolder()).canonicalFilePath(),
                                relative);
    return relative + u'/' + rest;
}

// The log less the summary line the dialog adds at the end of a run.
QString ChildText(CTarnfieldDlg& dialog) {
    QString log = dialog.Run().Log().All();
    const qsizetype last = log.lastIndexOf(QStringLiteral("\r\n"), log.size() - 3);
    const qsizetype start = last < 0 ? 0 : last + 2;
    for (const char* head : {"Finished: ", "Aborted: ", "完了: ", "中止: "})
        if (log.mid(start).startsWith(QString::fromUtf8(head))) log.truncate(start);
    return log;
}

void Release(const QString& path) {
    WriteFile(path, "go");
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT
  private slots:
    void runOverFolderTree();
    void childGetsExactlyItsPath();
    void relativePathsResolveInProgramFolder();
    void folderWithoutMailEndsAtOnce();
    void commandLengthLimit();
    void abortAnsweredYes();
    void abortAnsweredNo();
    void abortDuringSearch();
    void quitWaitsForWorker();
    void scrollingPausesRun();
    void deactivationReleasesPause();
    void logViewRefreshRule();
    void hundredThousandFiles();
    void summaryAndOutputFolder();
};

void TestRun::runOverFolderTree() {
    QTemporaryDir dir;
    const QString target = dir.filePath("mail");
    for (const char* rest : {"a.eml", "2019/b.eml", "2019/01/deep/c.eml"})
        WriteFile(target + "/" + rest, "echo\n");
    WriteFile(target + "/2019/D.EML", "echo\n");
    auto dialog = MakeDialog();
    QStringList titles;
    connect(dialog.get(), &QWidget::windowTitleChanged, this, [&titles](const QString& t) { titles << t; });

    QVERIFY(RunAndWait(*dialog, target, dir.filePath("out")));
    QCOMPARE(dialog->Run().FoundCount(), 3u);
    QCOMPARE(dialog->Run().ProcessedCount(), 3u);
    auto* progress = Find<QProgressBar>(*dialog, "progressBar");
    QCOMPARE(progress->maximum(), 3);
    QCOMPARE(progress->value(), 3); // 100 %

    const QString log = ChildText(*dialog);
    for (const char* rest : {"a.eml", "2019/b.eml", "2019/01/deep/c.eml"})
        QVERIFY2(log.contains("[" + EntryOf(target, rest) + "]\r\n"), rest);
    QVERIFY(!log.contains("D.EML"));
    QVERIFY(log.contains("[/P]\r\n[/O]\r\n[" + dir.filePath("out") + "]\r\n"));

    QVERIFY(titles.contains("Mavrel - Enumerating EML files..."));
    QVERIFY(titles.filter(QRegularExpression("^Mavrel - 0% - 3files remaining - [abc]\\.eml$")).size() == 1);
    QVERIFY(titles.filter(QRegularExpression("^Mavrel - 33% - 2files remaining - [abc]\\.eml$")).size() == 1);
    QVERIFY(titles.filter(QRegularExpression("^Mavrel - 66% - 1files remaining - [abc]\\.eml$")).size() == 1);

    // Back to idle: caption, controls, title, and the whole log in the view.
    QVERIFY(dialog->Run().IsIdle());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mavrel"));
    QCOMPARE(Find<QPushButton>(*dialog, "exportButton")->text(), QStringLiteral("&Export"));
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        QVERIFY(box->isEnabled());
    QVERIFY(!Find<QLineEdit>(*dialog, "targetField")->isReadOnly());
    QCOMPARE(Find<CMyEdit>(*dialog, "logView")->toPlainText(), dialog->Run().Log().All().remove(u'\r'));
}

void TestRun::childGetsExactlyItsPath() {
    QTemporaryDir dir;
    const QString target = dir.filePath("my mail");
    const QString name = QStringLiteral("we\"ird \\name \" /O \"x.eml");
    WriteFile(target + "/" + name, "echo\n");
    auto dialog = MakeDialog();
    QVERIFY(RunAndWait(*dialog, target + "//", dir.filePath("out")));
    const QString log = ChildText(*dialog);
    // One argument, unchanged, whatever the name holds; no option slipped in.
    QVERIFY2(log.endsWith("[" + EntryOf(target, name) + "]\r\n"), qPrintable(log));
    QCOMPARE(log.count("[/O]"), 1);
}

void TestRun::relativePathsResolveInProgramFolder() {
    // The console program takes relative paths relative to its own folder: the short forms are made
    // against that folder and the child runs there, wherever the front end was started.
    const QString home = QFileInfo(testing_support::FakeConsoleFolder()).canonicalFilePath();
    QVERIFY(QDir::currentPath() != home);
    QTemporaryDir dir(home + QStringLiteral("/mailXXXXXX"));
    WriteFile(dir.filePath("a.eml"), "echo\n");
    auto dialog = MakeDialog();
    QVERIFY(RunAndWait(*dialog, dir.path(), home + QStringLiteral("/out")));
    const QString relative = QFileInfo(dir.path()).fileName();
    QCOMPARE(dialog->Run().Settings().relativeTarget, relative);
    QCOMPARE(dialog->Run().Settings().baseCommand, QStringLiteral("dornick.exe /P /O \"out\""));
    // "echo" was read from the file, so the child found it by its relative path.
    QCOMPARE(ChildText(*dialog), "[/P]\r\n[/O]\r\n[out]\r\n[" + relative + "/a.eml]\r\n");
}

void TestRun::folderWithoutMailEndsAtOnce() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/A.EML"), "echo\n");
    WriteFile(dir.filePath("mail/eml"), "echo\n");
    auto dialog = MakeDialog();
    QVERIFY(RunAndWait(*dialog, dir.filePath("mail"), dir.filePath("out")));
    QCOMPARE(dialog->Run().FoundCount(), 0u);
    QCOMPARE(Find<QProgressBar>(*dialog, "progressBar")->value(), 0);
    QVERIFY(ChildText(*dialog).isEmpty());
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QMessageBox*>(widget));
    // A target that cannot be searched ends the same way.
    QVERIFY(RunAndWait(*dialog, dir.filePath("missing"), dir.filePath("out")));
    QCOMPARE(dialog->Run().FoundCount(), 0u);
    QVERIFY(dialog->Run().IsIdle());
}

void TestRun::commandLengthLimit() {
    QTemporaryDir dir;
    const QString target = dir.filePath("m");
    const QString fileName = QStringLiteral("a.eml");
    const QString entry = EntryOf(target, fileName);
    WriteFile(target + "/" + fileName, "processed\n");

    // The output folder's length sets the base command's; find the one that makes the line 8191 long.
    auto probe = MakeDialog();
    const QString stem = dir.filePath("o");
    const qsizetype fixed = probe->PrepareRun(target, stem).baseCommand.size() - stem.size();
    const qsizetype exact = tarnfield::kCommandLineLimit - fixed - 1 - (entry.size() + 2);
    const QString exactOutput = stem + QString(exact - stem.size(), u'x');

    for (bool tooLong : {false, true}) {
        auto dialog = MakeDialog();
        const QString output = exactOutput + (tooLong ? QStringLiteral("y") : QString());
        SeenBox seen;
        if (tooLong) AnswerNextMessageBox(QMessageBox::Ok, &seen);
        QVERIFY(RunAndWait(*dialog, target, output));
        const qsizetype length = dialog->Run().Settings().baseCommand.size() + 3 + entry.size();
        QCOMPARE(length, tarnfield::kCommandLineLimit + (tooLong ? 1 : 0));
        if (tooLong) {
            QVERIFY(seen.answered);
            QCOMPARE(seen.title, QStringLiteral("Information"));
            QCOMPARE(seen.text, "Command arguments is too long!(>8191 characters)\n\n" +
                                    dialog->Run().Settings().baseCommand + " \"" + entry + "\"");
            QCOMPARE(seen.icon, QMessageBox::Warning);
            QCOMPARE(dialog->Run().ProcessedCount(), 0u);
            QVERIFY(ChildText(*dialog).isEmpty());
        } else {
            QCOMPARE(dialog->Run().ProcessedCount(), 1u);
            QVERIFY(ChildText(*dialog).startsWith(QStringLiteral("processed ")));
        }
        QVERIFY(dialog->Run().IsIdle());
    }
}

void TestRun::abortAnsweredYes() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    for (bool japanese : {false, true}) {
        QFile::remove(release);
        auto dialog = MakeDialog(japanese);
        QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
        dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
        QCOMPARE(Find<QPushButton>(*dialog, "exportButton")->text(),
                 japanese ? QStringLiteral("中止(&A)") : QStringLiteral("&Abort"));
        QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);

        SeenBox seen;
        AnswerNextMessageBox(QMessageBox::Yes, &seen);
        QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
        QVERIFY(seen.answered);
        QCOMPARE(seen.title, japanese ? QStringLiteral("確認") : QStringLiteral("Confirm"));
        QCOMPARE(seen.text,
                 japanese ? QStringLiteral("処理を中止しますか？") : QStringLiteral("Abort processing?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.defaultButton, QMessageBox::No);

        // The running child finishes; no other starts.
        Release(release);
        QVERIFY(finished.wait(kRunTimeout));
        QCOMPARE(dialog->Run().FoundCount(), 3u);
        QCOMPARE(dialog->Run().ProcessedCount(), 1u);
        QCOMPARE(ChildText(*dialog).count(QStringLiteral("released ")), 1);
        QVERIFY(dialog->Run().IsIdle());
        QCOMPARE(Find<QPushButton>(*dialog, "exportButton")->text(),
                 japanese ? QStringLiteral("抽出開始(&E)") : QStringLiteral("&Export"));
    }
}

void TestRun::abortAnsweredNo() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    auto dialog = MakeDialog();
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::No, &seen);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QVERIFY(seen.answered);
    QVERIFY(!dialog->Run().IsIdle());
    Release(release);
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(dialog->Run().ProcessedCount(), 3u);
}

void TestRun::abortDuringSearch() {
    QTemporaryDir dir(testing_support::FastTempTemplate());
    // Enough entries that the search is still going when the run is paused right after its start.
    for (int folder = 0; folder < 40; ++folder)
        for (int i = 0; i < 150; ++i)
            WriteFile(dir.filePath(QStringLiteral("m/%1/%2.eml").arg(folder).arg(i)), "echo\n");
    auto dialog = MakeDialog();
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    emit Find<CMyEdit>(*dialog, "logView")->scrollPressed();
    QTRY_COMPARE(dialog->Run().Gate().Waiters(), 1);
    QVERIFY(dialog->Run().IsSearching());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mavrel - Enumerating EML files..."));
    AnswerNextMessageBox(QMessageBox::Yes, nullptr);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(dialog->Run().ProcessedCount(), 0u); // no child started
    QVERIFY(ChildText(*dialog).isEmpty());
    QVERIFY(dialog->Run().IsIdle());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mavrel"));
}

void TestRun::quitWaitsForWorker() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    auto dialog = MakeDialog();
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);

    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::Yes, &seen);
    bool checkedWhileWaiting = false;
    auto* during = new QTimer(dialog.get());
    during->setInterval(5);
    connect(during, &QTimer::timeout, during, [&] {
        if (!dialog->IsQuitting()) return;
        during->stop();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Mavrel - Waiting for Mavrel to finish..."));
        QVERIFY(!Find<QPushButton>(*dialog, "exportButton")->isEnabled());
        // A second close and Alt+F4 are swallowed while waiting; the dialog stays responsive.
        dialog->close();
        QTest::keyClick(dialog.get(), Qt::Key_F4, Qt::AltModifier);
        QVERIFY(dialog->isVisible());
        checkedWhileWaiting = true;
        Release(release);
    });
    during->start();
    QVERIFY(dialog->close());
    QVERIFY(seen.answered);
    QCOMPARE(seen.text, QStringLiteral("Are you sure you want to quit?"));
    QCOMPARE(seen.defaultButton, QMessageBox::No);
    QVERIFY(checkedWhileWaiting);
    QVERIFY(!dialog->isVisible());
    QVERIFY(dialog->Run().IsIdle());
    QCOMPARE(dialog->Run().ProcessedCount(), 1u);
    QVERIFY(dialog->Run().Log().All().isEmpty()); // emptied on close
}

void TestRun::scrollingPausesRun() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    auto dialog = MakeDialog();
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);

    QScrollBar* bar = Find<CMyEdit>(*dialog, "logView")->verticalScrollBar();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 3));
    Release(release);
    // The running child ends; the worker then stops at the gate before the next file.
    QTRY_COMPARE_WITH_TIMEOUT(dialog->Run().Gate().Waiters(), 1, kRunTimeout);
    QCOMPARE(dialog->Run().ProcessedCount(), 1u);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, 3));
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(dialog->Run().ProcessedCount(), 3u);
}

void TestRun::deactivationReleasesPause() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    auto dialog = MakeDialog();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);
    emit Find<CMyEdit>(*dialog, "logView")->scrollPressed();
    Release(release);
    QTRY_COMPARE_WITH_TIMEOUT(dialog->Run().Gate().Waiters(), 1, kRunTimeout);

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(dialog->Run().ProcessedCount(), 2u);
}

void TestRun::logViewRefreshRule() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    WriteFile(dir.filePath("m/a.eml"), "big 200\n");
    WriteFile(dir.filePath("m/b.eml"), "wait " + release.toUtf8() + "\n");
    auto dialog = MakeDialog();
    auto* view = Find<CMyEdit>(*dialog, "logView");
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("m"), dir.filePath("out"));
    // Whichever child comes first, the view shows output of a finished child while the run goes on,
    // carried by the refresh timer.
    QTRY_VERIFY_WITH_TIMEOUT(!ChildText(*dialog).isEmpty() || CountOwnConsoleChildren() == 1, kRunTimeout);
    if (ChildText(*dialog).isEmpty()) Release(release);
    QTRY_VERIFY_WITH_TIMEOUT(!view->toPlainText().isEmpty(), kRunTimeout);
    Release(release);
    QVERIFY(finished.count() == 1 || finished.wait(kRunTimeout));

    // The view is at the top of 200 lines: the end is out of view, and the timer would add nothing.
    view->verticalScrollBar()->setValue(0);
    QVERIFY(!view->EndInView(20));
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    QVERIFY(view->EndInView(20));

    // A click during a run brings the view up to date and keeps its first line; outside a run it does not.
    auto& log = const_cast<tarnfield::LogText&>(dialog->Run().Log());
    log.Append(QStringLiteral("outside a run\r\n"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!view->toPlainText().contains(QStringLiteral("outside a run")));
    dialog->Run().Gate().Create();
    view->verticalScrollBar()->setValue(5);
    log.Append(QStringLiteral("one more\r\n"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(view->toPlainText().endsWith(QStringLiteral("outside a run\none more\n")));
    QCOMPARE(view->FirstVisibleLine(), 5);
    dialog->Run().Gate().Close();
}

void TestRun::hundredThousandFiles() {
    QTemporaryDir dir(testing_support::FastTempTemplate());
    constexpr int kFolders = 100;
    constexpr int kPerFolder = 1000;
    for (int f = 0; f < kFolders; ++f) {
        const QByteArray folder = QFile::encodeName(dir.filePath(QStringLiteral("big/%1").arg(f)));
        QVERIFY(QDir().mkpath(QString::fromUtf8(folder)));
        for (int i = 0; i < kPerFolder; ++i) {
            const int fd = open(folder + "/" + QByteArray::number(i) + ".eml", O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            close(fd);
        }
    }
    auto dialog = MakeDialog();
    QSignalSpy finished(dialog.get(), &CTarnfieldDlg::runFinished);
    dialog->StartRun(dir.filePath("big"), dir.filePath("out"));
    // The dialog keeps serving events while the search runs and the children follow one another.
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Run().ProcessedCount() >= 3, kRunTimeout);
    QCOMPARE(dialog->Run().FoundCount(), quint64(kFolders * kPerFolder));
    // The bar is set up by a queued call from the worker: it may come a moment after the count.
    QTRY_COMPARE_WITH_TIMEOUT(Find<QProgressBar>(*dialog, "progressBar")->maximum(), kFolders * kPerFolder,
                              kRunTimeout);
    QTRY_VERIFY(dialog->windowTitle().contains(QStringLiteral("files remaining")));
    AnswerNextMessageBox(QMessageBox::Yes, nullptr);
    QTest::mouseClick(Find<QPushButton>(*dialog, "exportButton"), Qt::LeftButton);
    QVERIFY(finished.count() == 1 || finished.wait(kRunTimeout));
    QVERIFY(dialog->Run().ProcessedCount() < quint64(kFolders * kPerFolder));
    QVERIFY(dialog->Run().IsIdle());
}

// Stands in for the desktop's file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened << url; }
};

void TestRun::summaryAndOutputFolder() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("m/a.eml"), "report 1 2 0\n");
    WriteFile(dir.filePath("m/b.eml"), "report 0 0 1\n");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    for (bool japanese : {false, true}) {
        auto dialog = MakeDialog(japanese);
        auto* button = Find<QPushButton>(*dialog, "openOutputButton");
        auto* status = Find<QLabel>(*dialog, "statusLine");
        QVERIFY(!button->isEnabled());
        QVERIFY(status->text().isEmpty());
        QVERIFY(RunAndWait(*dialog, dir.filePath("m"), dir.filePath("out")));

        const QString pattern =
            japanese
                ? QStringLiteral("^完了: メール 2 通、書き出したファイル 2 個、失敗 1 件、\\d+\\.\\d 秒$")
                : QStringLiteral("^Finished: 2 mails, 2 files written, 1 failed, \\d+\\.\\d s$");
        QVERIFY2(QRegularExpression(pattern).match(status->text()).hasMatch(), qPrintable(status->text()));
        // The same line closes the log, after what the children printed.
        QVERIFY(dialog->Run().Log().All().endsWith(status->text() + "\r\n"));
        QVERIFY(Find<CMyEdit>(*dialog, "logView")->toPlainText().endsWith(status->text() + "\n"));
        QCOMPARE(button->text(), japanese ? QStringLiteral("出力先フォルダを開く(&F)")
                                          : QStringLiteral("Open output &folder"));
        QVERIFY(button->isEnabled());
        catcher.opened.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(dir.filePath("out"))});
    }
    // Timestamp mode writes no output: nothing to open.
    auto dialog = MakeDialog();
    QTest::mouseClick(Find<QCheckBox>(*dialog, "timestampCheck"), Qt::LeftButton);
    QVERIFY(RunAndWait(*dialog, dir.filePath("m"), QString()));
    QVERIFY(!Find<QPushButton>(*dialog, "openOutputButton")->isEnabled());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(TestRun)
#include "tst_run.moc"
