// The path routines, the command line and the small pieces of text the run is made of.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "gui/command_line.h"
#include "gui/log_text.h"
#include "gui/path_routines.h"
#include "gui/run_gate.h"
#include "gui/run_title.h"
#include "test_support.h"

using namespace tarnfield;

class TestPaths : public QObject {
    Q_OBJECT
  private slots:
    void trimQuotesAndBlanks_data();
    void trimQuotesAndBlanks();
    void cutToParentFolder_data();
    void cutToParentFolder();
    void appendSeparator_data();
    void appendSeparator();
    void normalizeSeparators_data();
    void normalizeSeparators();
    void makeRelativePath_data();
    void makeRelativePath();
    void fullPathIsLexical();
    void pathExists();
    void splitWindowsCommandLine_data();
    void splitWindowsCommandLine();
    void quoteArgumentRoundTrips_data();
    void quoteArgumentRoundTrips();
    void baseCommand_data();
    void baseCommand();
    void forwardName_data();
    void forwardName();
    void multiProcessArgument_data();
    void multiProcessArgument();
    void filePhaseTitle();
    void utf16CollectorKeepsOddByte();
    void runGate();
};

void TestPaths::trimQuotesAndBlanks_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("plain") << "/mail"
                           << "/mail";
    QTest::newRow("quoted") << "\"/mail\""
                            << "/mail";
    QTest::newRow("blanks around quotes") << "  \"/my mail\"  "
                                          << "/my mail";
    QTest::newRow("nested") << "\" \"/mail\" \""
                            << "/mail";
    QTest::newRow("inner kept") << "/a \"b\" c"
                                << "/a \"b\" c";
    QTest::newRow("only quotes") << "\"\" \""
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPaths::trimQuotesAndBlanks() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    TrimQuotesAndBlanks(in);
    QCOMPARE(in, out);
}

void TestPaths::cutToParentFolder_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("file in folder") << "/mail/a.eml"
                                    << "/mail";
    QTest::newRow("file in root keeps the root") << "/a.eml"
                                                 << "/";
    QTest::newRow("trailing separator only goes") << "/mail/sub/"
                                                  << "/mail/sub";
    QTest::newRow("relative") << "mail/a.eml"
                              << "mail";
    QTest::newRow("bare name is the current folder") << "a.eml"
                                                     << ".";
}

void TestPaths::cutToParentFolder() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    CutToParentFolder(in);
    QCOMPARE(in, out);
}

void TestPaths::appendSeparator_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("folder") << "/mail"
                            << "/mail/";
    QTest::newRow("already") << "/mail/"
                             << "/mail/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("empty stays empty") << ""
                                       << "";
}

void TestPaths::appendSeparator() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    AppendSeparator(in);
    QCOMPARE(in, out);
}

void TestPaths::normalizeSeparators_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("runs collapsed") << "/work//mail///2019"
                                    << "/work/mail/2019";
    QTest::newRow("trailing removed") << "/work/mail/"
                                      << "/work/mail";
    QTest::newRow("root kept") << "///"
                               << "/";
    QTest::newRow("leading double collapsed") << "//server/share"
                                              << "/server/share";
    QTest::newRow("backslash is a name character") << "/work/a\\b"
                                                   << "/work/a\\b";
    QTest::newRow("relative") << "mail//sub/"
                              << "mail/sub";
}

void TestPaths::normalizeSeparators() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    NormalizeSeparators(in);
    QCOMPARE(in, out);
}

void TestPaths::makeRelativePath_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    // The examples that define the routine, with /work/sub for C:\work\sub.
    QTest::newRow("below base") << "/work/sub"
                                << "/work/sub/mail"
                                << "mail";
    QTest::newRow("base itself") << "/work/sub"
                                 << "/work/sub"
                                 << ".";
    QTest::newRow("sibling, shorter") << "/work/sub"
                                      << "/work/mail"
                                      << "../mail";
    QTest::newRow("not shorter") << "/work/sub"
                                 << "/mail"
                                 << "/mail";
    QTest::newRow("prefix of a name is no folder") << "/work/sub"
                                                   << "/work/subway/x"
                                                   << "../subway/x";
    QTest::newRow("deep sibling") << "/home/user/docs"
                                  << "/home/user/mail/2019/a.eml"
                                  << "../mail/2019/a.eml";
    QTest::newRow("base is root") << "/"
                                  << "/mail"
                                  << "mail";
    QTest::newRow("relative base, no common folder") << "work"
                                                     << "/mail"
                                                     << "/mail";
}

void TestPaths::makeRelativePath() {
    QFETCH(QString, base);
    QFETCH(QString, in);
    QFETCH(QString, out);
    MakeRelativePath(base, in);
    QCOMPARE(in, out);
}

void TestPaths::fullPathIsLexical() {
    const QString current = QDir::currentPath();
    QCOMPARE(FullPath(QStringLiteral("a/../b/./c/")), current + QStringLiteral("/b/c"));
    QCOMPARE(FullPath(QStringLiteral("/x//y/../z")), QStringLiteral("/x/z"));
    QCOMPARE(FullPath(QString()), current);
}

void TestPaths::pathExists() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    testing_support::WriteFile(dir.filePath("a.eml"), "x");
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    QVERIFY(symlink(qPrintable(dir.filePath("sub")), qPrintable(dir.filePath("link"))) == 0);
    QVERIFY(symlink(qPrintable(dir.filePath("gone")), qPrintable(dir.filePath("dangling"))) == 0);

    struct Row {
        const char* name;
        bool exists;
        bool folder;
    } rows[] = {{"a.eml", true, false},
                {"sub", true, true},
                {"link", true, true},
                {"dangling", true, false},
                {"missing", false, false}};
    for (const Row& row : rows) {
        bool folder = !row.folder;
        const bool exists = PathExists(dir.filePath(row.name), &folder);
        QVERIFY2(exists == row.exists, row.name);
        if (exists) QVERIFY2(folder == row.folder, row.name);
    }
}

void TestPaths::splitWindowsCommandLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("default base command") << "dornick.exe /P /O \"out\" \"mail/a.eml\""
                                          << QStringList{"dornick.exe", "/P", "/O", "out", "mail/a.eml"};
    QTest::newRow("blanks inside quotes") << "x \"my mail/a b.eml\"" << QStringList{"x", "my mail/a b.eml"};
    QTest::newRow("escaped quote") << "x \"a\\\"b\"" << QStringList{"x", "a\"b"};
    QTest::newRow("backslashes before a quote") << "x \"a\\\\\" y" << QStringList{"x", "a\\", "y"};
    QTest::newRow("literal backslashes") << "x a\\\\b" << QStringList{"x", "a\\\\b"};
    QTest::newRow("doubled quote inside quotes") << "x \"a\"\"b\"" << QStringList{"x", "a\"b"};
    QTest::newRow("empty quoted argument") << "x \"\" y" << QStringList{"x", "", "y"};
    QTest::newRow("runs of blanks") << "  x \t y  " << QStringList{"x", "y"};
}

void TestPaths::splitWindowsCommandLine() {
    QFETCH(QString, line);
    QFETCH(QStringList, arguments);
    QCOMPARE(SplitWindowsCommandLine(line), arguments);
}

void TestPaths::quoteArgumentRoundTrips_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain path") << "mail/2019/a.eml"
                                << "\"mail/2019/a.eml\"";
    QTest::newRow("blank") << "my mail/a.eml"
                           << "\"my mail/a.eml\"";
    QTest::newRow("quote in a name") << "x\" /O \"/tmp/evil.eml"
                                     << "\"x\\\" /O \\\"/tmp/evil.eml\"";
    QTest::newRow("trailing backslash") << "dir\\"
                                        << "\"dir\\\\\"";
    QTest::newRow("backslash before quote") << "a\\\"b"
                                            << "\"a\\\\\\\"b\"";
    QTest::newRow("japanese") << "受信/メール.eml"
                              << "\"受信/メール.eml\"";
    QTest::newRow("empty") << ""
                           << "\"\"";
}

void TestPaths::quoteArgumentRoundTrips() {
    QFETCH(QString, value);
    QFETCH(QString, quoted);
    QCOMPARE(QuoteArgument(value), quoted);
    // Whatever the name holds, the child gets exactly one argument back, unchanged.
    QCOMPARE(SplitWindowsCommandLine(QStringLiteral("dornick.exe /P ") + QuoteArgument(value)),
             (QStringList{"dornick.exe", "/P", value}));
}

void TestPaths::baseCommand_data() {
    QTest::addColumn<QStringList>("set"); // fragments by name
    QTest::addColumn<bool>("timestamp");
    QTest::addColumn<QString>("command");
    QTest::newRow("defaults") << QStringList{"print"} << false << "dornick.exe /P /O \"out\"";
    QTest::newRow("every option in order")
        << QStringList{"nn", "nd", "rf", "ni", "co", "cw", "l", "print", "fw"} << false
        << "dornick.exe /NN /ND /RF /NI /CO /CW /L /P /FW \"fwd\" /O \"out\"";
    QTest::newRow("no print") << QStringList{} << false << "dornick.exe /O \"out\"";
    QTest::newRow("timestamp mode ignores the rest")
        << QStringList{"nn", "l", "print"} << true << "dornick.exe /DM /P";
    QTest::newRow("timestamp mode without print") << QStringList{} << true << "dornick.exe /DM";
}

void TestPaths::baseCommand() {
    QFETCH(QStringList, set);
    QFETCH(bool, timestamp);
    QFETCH(QString, command);
    OptionFragments f;
    auto on = [&set](const char* name, QString& fragment, const char* value) {
        if (set.contains(QLatin1String(name))) fragment = QString::fromLatin1(value);
    };
    on("nn", f.noSenderFolder, " /NN");
    on("nd", f.noDateFolder, " /ND");
    on("rf", f.reverseFolders, " /RF");
    on("ni", f.noInline, " /NI");
    on("co", f.contentOnly, " /CO");
    on("cw", f.fullWidth, " /CW");
    on("l", f.logFile, " /L");
    on("print", f.print, " /P");
    on("fw", f.forwardName, " /FW \"fwd\"");
    QCOMPARE(BuildBaseCommand(f, timestamp, QStringLiteral("out")), command);
}

void TestPaths::forwardName_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("plain") << "fwd"
                           << "fwd";
    QTest::newRow("quotes and blanks") << " \"fwd\" "
                                       << "fwd";
    QTest::newRow("backslash path") << "C:\\x\\fwd"
                                    << "fwd";
    QTest::newRow("slash path") << "/tmp/x/fwd"
                                << "fwd";
    QTest::newRow("both") << "a/b\\c/d"
                          << "d";
    QTest::newRow("ends in separator") << "dir/"
                                       << "";
}

void TestPaths::forwardName() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(CleanForwardName(in), out);
}

void TestPaths::multiProcessArgument_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("limit");
    QTest::newRow("lower case with number") << "/mp3" << 3;
    QTest::newRow("no number") << "/MP" << 5;
    QTest::newRow("not a number") << "/MPx" << 5;
    QTest::newRow("zero") << "/MP0" << 5;
    QTest::newRow("blanks and sign") << "/MP +12" << 12;
    QTest::newRow("negative gets the default") << "/MP-1" << 5;
    QTest::newRow("not multi-process") << "/P" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestPaths::multiProcessArgument() {
    QFETCH(QString, argument);
    QFETCH(int, limit);
    QCOMPARE(ParseMultiProcessArgument(argument), limit);
}

void TestPaths::filePhaseTitle() {
    QCOMPARE(FilePhaseTitle(true, 2, 5, QStringLiteral("mail/2019/a.eml")),
             QStringLiteral("マヴレルGUI - 40% - 残り3ファイル - a.eml"));
    QCOMPARE(FilePhaseTitle(false, 2, 5, QStringLiteral("mail/2019/a.eml")),
             QStringLiteral("Mavrel - 40% - 3files remaining - a.eml"));
    QCOMPARE(FilePhaseTitle(false, 0, 3, QStringLiteral("a.eml")),
             QStringLiteral("Mavrel - 0% - 3files remaining - a.eml"));
    // 64-bit counts: no overflow in processed * 100.
    QCOMPARE(FilePhaseTitle(false, 100000000000ULL, 200000000000ULL, QStringLiteral("x.eml")),
             QStringLiteral("Mavrel - 50% - 100000000000files remaining - x.eml"));
}

void TestPaths::utf16CollectorKeepsOddByte() {
    const QString original = QStringLiteral("作成日時を変更 \U00020BB7\r\n");
    const QByteArray bytes(reinterpret_cast<const char*>(original.utf16()), original.size() * 2);
    // Every way of cutting the bytes into two or three pieces gives the same text back.
    for (int first = 0; first <= bytes.size(); ++first) {
        for (int second = first; second <= bytes.size(); second += 3) {
            Utf16LeCollector collector;
            QString out;
            collector.Feed(bytes.constData(), first, out);
            collector.Feed(bytes.constData() + first, second - first, out);
            collector.Feed(bytes.constData() + second, bytes.size() - second, out);
            QCOMPARE(out, original);
            QVERIFY(!collector.HasCarry());
        }
    }
    Utf16LeCollector collector;
    QString out;
    collector.Feed("a\0b", 3, out);
    QCOMPARE(out, QStringLiteral("a"));
    QVERIFY(collector.HasCarry());
}

void TestPaths::runGate() {
    RunGate gate;
    gate.Wait(); // without a run nothing blocks
    gate.Reset();
    QVERIFY(!gate.IsSet());
    gate.Create();
    QVERIFY(gate.IsSet());
    gate.Reset();
    QVERIFY(!gate.IsSet());
    QVERIFY(gate.Exists());
    gate.Set();
    gate.Wait();
    gate.Close();
    QVERIFY(!gate.Exists());
    gate.Set();
    QVERIFY(!gate.IsSet());
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
