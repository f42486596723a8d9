// The run object alone, without a dialog, with a stand-in console program: the children and their
// pipe, the counts of the summary, the multi-process and timestamp rules, and the log across runs.

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "fake_output.h"
#include "gui/command_line.h"
#include "gui/console_child.h"
#include "gui/path_routines.h"
#include "gui/tarnfield_run.h"
#include "test_support.h"

using tarnfield::RunSettings;
using testing_support::CountOwnConsoleChildren;
using testing_support::WriteFile;

namespace {

constexpr int kRunTimeout = 60000;

// A run over target with the fake console program, entries listed as "m/...", children run in dir.
RunSettings SettingsFor(const QTemporaryDir& dir, const QString& target) {
    RunSettings settings;
    settings.baseCommand = QStringLiteral("dornick.exe /P /O \"out\"");
    settings.rootPath = dir.filePath(target);
    settings.relativeTarget = target;
    settings.child.consoleFolders = {testing_support::FakeConsoleFolder()};
    settings.child.workingFolder = dir.path();
    return settings;
}

bool RunAndWait(CTarnfieldRun& run, const RunSettings& settings) {
    QSignalSpy finished(&run, &CTarnfieldRun::finished);
    run.Start(settings);
    return finished.wait(kRunTimeout);
}

void Release(const QString& path) {
    WriteFile(path, "go");
}

} // namespace

class TestRunObject : public QObject {
    Q_OBJECT
  private slots:
    void signalsFollowTheRun();
    void summaryCounts_data();
    void summaryCounts();
    void summaryText_data();
    void summaryText();
    void outputLargerThanPipeBuffer();
    void missingConsole();
    void abortAtTheGate();
    void multiProcessLimit();
    void printingRunsOneAtATime();
    void timestampModeDoesNotWait();
    void logKeptAcrossRuns();
};

void TestRunObject::signalsFollowTheRun() {
    QTemporaryDir dir;
    for (const char* rest : {"b.eml", "a/c.eml"})
        WriteFile(dir.filePath(QStringLiteral("m/") + rest), "echo\n");
    WriteFile(dir.filePath("m/inbox"), "From someone\necho\n");
    CTarnfieldRun run;
    QSignalSpy search(&run, &CTarnfieldRun::searchFinished);
    QSignalSpy starting(&run, &CTarnfieldRun::fileStarting);
    QSignalSpy done(&run, &CTarnfieldRun::fileDone);
    QVERIFY(run.IsIdle());
    QVERIFY(RunAndWait(run, SettingsFor(dir, "m")));
    QVERIFY(run.IsIdle());
    QVERIFY(!run.Gate().Exists());
    QCOMPARE(search.size(), 1);
    QCOMPARE(search[0][0].toULongLong(), 3u);
    // Entries in byte order of their names, folder by folder; the mbox among them.
    QCOMPARE(starting.size(), 3);
    const QStringList expected{"m/a/c.eml", "m/b.eml", "m/inbox"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(starting[i][0].toULongLong(), quint64(i));
        QCOMPARE(starting[i][1].toULongLong(), 3u);
        QCOMPARE(starting[i][2].toString(), expected[i]);
        QCOMPARE(done[i][0].toULongLong(), quint64(i + 1));
    }
    QCOMPARE(run.ProcessedCount(), 3u);
    QVERIFY(run.TakeNewOutput());
    QVERIFY(!run.TakeNewOutput());
}

void TestRunObject::summaryCounts_data() {
    QTest::addColumn<QByteArrayList>("mails");
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<bool>("print");
    QTest::addColumn<quint64>("messages");
    QTest::addColumn<quint64>("files");
    QTest::addColumn<quint64>("failures");
    // A child that reports no progress line counts as one mail (a mail without files, or an archive
    // read by a console program that does not report its messages).
    QTest::newRow("quiet mails") << QByteArrayList{"silent", "plain"} << false << true << quint64(2)
                                 << quint64(0) << quint64(0);
    QTest::newRow("one mail, three files")
        << QByteArrayList{"report 1 3 0"} << false << true << quint64(1) << quint64(3) << quint64(0);
    QTest::newRow("archive of four mails") << QByteArrayList{"report 4 2 0", "report 0 0 0"} << false << true
                                           << quint64(5) << quint64(8) << quint64(0);
    QTest::newRow("japanese progress lines")
        << QByteArrayList{"report 3 1 0"} << true << true << quint64(3) << quint64(3) << quint64(0);
    QTest::newRow("failures by status and signal") << QByteArrayList{"report 1 1 1", "crash", "plain"}
                                                   << false << true << quint64(3) << quint64(1) << quint64(2);
    QTest::newRow("without printing, failures still count")
        << QByteArrayList{"report 2 2 1", "plain"} << false << false << quint64(2) << quint64(0)
        << quint64(1);
}

void TestRunObject::summaryCounts() {
    QFETCH(QByteArrayList, mails);
    QFETCH(bool, japanese);
    QFETCH(bool, print);
    QFETCH(quint64, messages);
    QFETCH(quint64, files);
    QFETCH(quint64, failures);
    QTemporaryDir dir;
    for (int i = 0; i < mails.size(); ++i)
        WriteFile(dir.filePath(QStringLiteral("m/%1.eml").arg(i)), mails[i] + "\n");
    RunSettings settings = SettingsFor(dir, "m");
    settings.child.print = print;
    settings.child.japanese = japanese;
    CTarnfieldRun run;
    QVERIFY(RunAndWait(run, settings));
    const tarnfield::RunSummary& summary = run.Summary();
    QVERIFY(summary.completed);
    QCOMPARE(summary.mails, messages);
    QCOMPARE(summary.files, files);
    QCOMPARE(summary.filesCounted, print);
    QCOMPARE(summary.failures, failures);
    QVERIFY(summary.milliseconds >= 0 && summary.milliseconds < kRunTimeout);
}

void TestRunObject::summaryText_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<bool>("counted");
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("english") << false << true << true << qint64(2449)
                             << "Finished: 12 mails, 30 files written, 2 failed, 2.4 s";
    QTest::newRow("english, aborted, rounded up")
        << false << false << true << qint64(59950) << "Aborted: 12 mails, 30 files written, 2 failed, 60.0 s";
    QTest::newRow("english, not counted")
        << false << true << false << qint64(0) << "Finished: 12 mails, - files written, 2 failed, 0.0 s";
    QTest::newRow("japanese") << true << true << true << qint64(2450)
                              << "完了: メール 12 通、書き出したファイル 30 個、失敗 2 件、2.5 秒";
    QTest::newRow("japanese, aborted") << true << false << false << qint64(100)
                                       << "中止: メール 12 通、書き出したファイル - 個、失敗 2 件、0.1 秒";
}

void TestRunObject::summaryText() {
    QFETCH(bool, japanese);
    QFETCH(bool, completed);
    QFETCH(bool, counted);
    QFETCH(qint64, milliseconds);
    QFETCH(QString, expected);
    tarnfield::RunSummary summary{completed, 12, 30, counted, 2, milliseconds};
    QCOMPARE(tarnfield::SummaryText(japanese, summary), expected);
}

void TestRunObject::outputLargerThanPipeBuffer() {
    QTemporaryDir dir;
    constexpr int kLines = 30000; // about 2 MB of UTF-16, written in pieces of 241 bytes
    WriteFile(dir.filePath("m/big.eml"), "big " + QByteArray::number(kLines) + "\n");
    CTarnfieldRun run;
    QVERIFY(RunAndWait(run, SettingsFor(dir, "m")));
    const QString expected = QString::fromStdU16String(fake::BigText(kLines));
    QVERIFY(expected.size() * 2 > 1024 * 1024);
    const QString log = run.Log().All();
    QCOMPARE(log.size(), expected.size());
    QVERIFY(log == expected);
}

void TestRunObject::missingConsole() {
    QTemporaryDir dir;
    QTemporaryDir empty;
    WriteFile(dir.filePath("m/a.eml"), "echo\n");
    WriteFile(dir.filePath("m/b.eml"), "echo\n");
    for (bool japanese : {false, true}) {
        RunSettings settings = SettingsFor(dir, "m");
        settings.child.consoleFolders = {empty.path()};
        settings.child.japanese = japanese;
        CTarnfieldRun run;
        QVERIFY(RunAndWait(run, settings));
        const QString failure = japanese ? QStringLiteral("マヴレルの起動に失敗しました\r\n")
                                         : QStringLiteral("Failed to CreateProcess\r\n");
        QCOMPARE(run.Log().All(), failure + failure);
        QCOMPARE(run.ProcessedCount(), 2u);
        QCOMPARE(run.Summary().failures, 2u);
    }
}

void TestRunObject::abortAtTheGate() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    CTarnfieldRun run;
    QSignalSpy finished(&run, &CTarnfieldRun::finished);
    run.Start(SettingsFor(dir, "m"));
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);
    // Paused, the worker stops at the gate after the running child; abort then ends the run there.
    run.Gate().Reset();
    Release(release);
    QTRY_COMPARE_WITH_TIMEOUT(run.Gate().Waiters(), 1, kRunTimeout);
    QVERIFY(!run.IsIdle());
    run.Abort();
    run.Gate().Set();
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(finished[0][0].toBool(), false);
    QCOMPARE(run.ProcessedCount(), 1u);
    QCOMPARE(run.FoundCount(), 3u);
    QVERIFY(!run.Summary().completed);
    QCOMPARE(run.Summary().mails, 1u);
}

void TestRunObject::multiProcessLimit() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    // Console processes of other people count against the limit too; leave room for two of ours.
    const unsigned foreign = tarnfield::CountConsoleProcesses() - CountOwnConsoleChildren();
    RunSettings settings = SettingsFor(dir, "m");
    settings.child.print = false;
    settings.child.multiProcess = true;
    settings.child.processLimit = int(2 + foreign);
    CTarnfieldRun run;
    QSignalSpy finished(&run, &CTarnfieldRun::finished);
    run.Start(settings);
    // The first child runs alongside; the second reaches the limit and is waited for.
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 2u, kRunTimeout);
    QTRY_COMPARE(run.ProcessedCount(), 1u);
    Release(release);
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(run.ProcessedCount(), 3u);
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 0u, kRunTimeout);
    QVERIFY(run.Log().All().isEmpty()); // nothing read without printing
}

void TestRunObject::printingRunsOneAtATime() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    RunSettings settings = SettingsFor(dir, "m");
    settings.child.multiProcess = true;
    settings.child.processLimit = 5;
    CTarnfieldRun run;
    QSignalSpy finished(&run, &CTarnfieldRun::finished);
    run.Start(settings);
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 1u, kRunTimeout);
    QCOMPARE(run.ProcessedCount(), 0u); // its output is read until it ends
    Release(release);
    QVERIFY(finished.wait(kRunTimeout));
    QCOMPARE(run.Log().All().count(QStringLiteral("released ")), 2);
}

void TestRunObject::timestampModeDoesNotWait() {
    QTemporaryDir dir;
    const QString release = dir.filePath("release");
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        WriteFile(dir.filePath(QString("m/") + name), "wait " + release.toUtf8() + "\n");
    RunSettings settings = SettingsFor(dir, "m");
    settings.baseCommand = QStringLiteral("dornick.exe /DM");
    settings.child.print = false;
    settings.child.timestampMode = true;
    CTarnfieldRun run;
    // Every child is started without waiting: the run ends while all of them still run.
    QVERIFY(RunAndWait(run, settings));
    QCOMPARE(run.ProcessedCount(), 3u);
    QCOMPARE(CountOwnConsoleChildren(), 3u);
    QCOMPARE(run.Summary().failures, 0u);
    Release(release);
    QTRY_COMPARE_WITH_TIMEOUT(CountOwnConsoleChildren(), 0u, kRunTimeout);
}

void TestRunObject::logKeptAcrossRuns() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("m1/a.eml"), "first\n");
    WriteFile(dir.filePath("m2/b.eml"), "second\n");
    CTarnfieldRun run;
    QVERIFY(RunAndWait(run, SettingsFor(dir, "m1")));
    QVERIFY(RunAndWait(run, SettingsFor(dir, "m2")));
    QCOMPARE(run.Log().All(), QStringLiteral("processed m1/a.eml\r\nprocessed m2/b.eml\r\n"));
    // The second run's numbers are its own.
    QCOMPARE(run.Summary().mails, 1u);
}

QTEST_MAIN(TestRunObject)
#include "tst_run_object.moc"
