// The search for mail files over folder trees made by the tests.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "gui/mail_search.h"
#include "test_support.h"

using namespace tarnfield;
using testing_support::WriteFile;

namespace {

QStringList Search(const QString& root, const QString& prefix, SearchEnd* end = nullptr) {
    QStringList found;
    const SearchEnd result = SearchMailFiles(
        root, prefix, {[] { return true; }, [&found](QString&& entry) { found.append(entry); }});
    if (end) *end = result;
    found.sort();
    return found;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
  private slots:
    void findsMailAtAnyDepth();
    void mailFileNames_data();
    void mailFileNames();
    void linkedFolderIsNotEntered();
    void stopsWhenAsked();
    void unreadableRootEndsEmpty();
    void unreadableSubfolderIsPassedOver();
    void hundredThousandFiles();
};

void TestSearch::findsMailAtAnyDepth() {
    QTemporaryDir dir;
    const QString root = dir.filePath("mail");
    WriteFile(root + "/a.eml", "x");
    WriteFile(root + "/2019/b.eml", "x");
    WriteFile(root + "/2019/01/02/03/04/05/c.eml", "x");
    WriteFile(root + "/2019/A.EML", "x");
    WriteFile(root + "/2019/x.eml.bak", "x");
    WriteFile(root + "/eml", "x");
    WriteFile(root + "/note.txt", "x");
    QVERIFY(QDir(root).mkpath("empty/deeper"));
    QVERIFY(QDir(root).mkpath("folder.eml")); // a folder is searched, never taken

    SearchEnd end{};
    QCOMPARE(Search(root, QStringLiteral("mail"), &end),
             (QStringList{"mail/2019/01/02/03/04/05/c.eml", "mail/2019/b.eml", "mail/a.eml"}));
    QCOMPARE(end, SearchEnd::Finished);
    QCOMPARE(Search(root, QStringLiteral("./")),
             (QStringList{"./2019/01/02/03/04/05/c.eml", "./2019/b.eml", "./a.eml"}));
}

void TestSearch::mailFileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::newRow("plain") << "a.eml" << true;
    QTest::newRow("upper case") << "A.EML" << false;
    QTest::newRow("mixed case") << "a.Eml" << false;
    QTest::newRow("two dots") << "a.b.eml" << true;
    QTest::newRow("backup") << "x.eml.bak" << false;
    QTest::newRow("no dot") << "eml" << false;
    QTest::newRow("only the extension") << ".eml" << true;
    QTest::newRow("longer extension") << "a.emlx" << false;
}

void TestSearch::mailFileNames() {
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QCOMPARE(IsMailFileName(name.toUtf8().constData()), taken);
}

void TestSearch::linkedFolderIsNotEntered() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("outside/x.eml"), "x");
    WriteFile(dir.filePath("root/a.eml"), "x");
    QVERIFY(symlink(qPrintable(dir.filePath("outside")), qPrintable(dir.filePath("root/link"))) == 0);
    // A loop back to the root must not make the search run forever either.
    QVERIFY(symlink(qPrintable(dir.filePath("root")), qPrintable(dir.filePath("root/loop"))) == 0);
    QCOMPARE(Search(dir.filePath("root"), QStringLiteral("r")), QStringList{"r/a.eml"});
}

void TestSearch::stopsWhenAsked() {
    QTemporaryDir dir;
    for (int i = 0; i < 10; ++i)
        WriteFile(dir.filePath(QStringLiteral("m/%1.eml").arg(i)), "x");
    int asked = 0;
    QStringList found;
    const SearchEnd end = SearchMailFiles(
        dir.filePath("m"), QStringLiteral("m"),
        {[&asked] { return ++asked < 4; }, [&found](QString&& entry) { found.append(entry); }});
    QCOMPARE(end, SearchEnd::Stopped);
    QVERIFY(found.size() < 4);
}

void TestSearch::unreadableRootEndsEmpty() {
    QTemporaryDir dir;
    SearchEnd end{};
    QVERIFY(Search(dir.filePath("missing"), QStringLiteral("x"), &end).isEmpty());
    QCOMPARE(end, SearchEnd::RootUnreadable);
    WriteFile(dir.filePath("file.eml"), "x");
    QVERIFY(Search(dir.filePath("file.eml"), QStringLiteral("x"), &end).isEmpty());
    QCOMPARE(end, SearchEnd::RootUnreadable);
}

void TestSearch::unreadableSubfolderIsPassedOver() {
    QTemporaryDir dir;
    const QString root = dir.filePath("root");
    WriteFile(root + "/a.eml", "x");
    WriteFile(root + "/locked/hidden.eml", "x");
    WriteFile(root + "/open/b.eml", "x");
    for (const QString& folder : {dir.path(), root, root + "/open"})
        QVERIFY(chmod(qPrintable(folder), 0755) == 0);
    QVERIFY(chmod(qPrintable(root + "/locked"), 0) == 0);
    const QStringList expected{"r/a.eml", "r/open/b.eml"};

    if (geteuid() != 0) {
        QCOMPARE(Search(root, QStringLiteral("r")), expected);
        return;
    }
    // Permissions do not stop root: search as an ordinary user in a child process.
    int pipeEnds[2];
    QVERIFY(pipe(pipeEnds) == 0);
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        close(pipeEnds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        const QByteArray result = Search(root, QStringLiteral("r")).join(u'|').toUtf8();
        (void)!write(pipeEnds[1], result.constData(), result.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    QByteArray result;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(QString::fromUtf8(result).split(u'|'), expected);
}

void TestSearch::hundredThousandFiles() {
    QTemporaryDir dir(testing_support::FastTempTemplate());
    const QString root = dir.filePath("big");
    constexpr int kFolders = 100;
    constexpr int kPerFolder = 1000;
    for (int f = 0; f < kFolders; ++f) {
        const QByteArray folder = QFile::encodeName(root + QStringLiteral("/%1").arg(f));
        QVERIFY(QDir().mkpath(QString::fromUtf8(folder)));
        for (int i = 0; i < kPerFolder; ++i) {
            const QByteArray path = folder + "/mail" + QByteArray::number(i) + ".eml";
            const int fd = open(path.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            close(fd);
        }
    }
    QElapsedTimer clock;
    clock.start();
    QStringList found;
    found.reserve(kFolders * kPerFolder);
    SearchMailFiles(root, QStringLiteral("big"),
                    {[] { return true; }, [&found](QString&& e) { found.append(e); }});
    qInfo("searched %d files in %lld ms", int(found.size()), clock.elapsed());
    QCOMPARE(found.size(), kFolders * kPerFolder);
    QCOMPARE(QSet<QString>(found.begin(), found.end()).size(), kFolders * kPerFolder);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
