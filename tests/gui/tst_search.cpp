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
    void namesAlone_data();
    void namesAlone();
    void archiveTree();
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

void TestSearch::namesAlone_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    const int mail = int(NameKind::Mail), index = int(NameKind::Index), numbered = int(NameKind::Numbered),
              unknown = int(NameKind::Unknown);
    QTest::newRow("plain") << "a.eml" << mail;
    QTest::newRow("upper case") << "A.EML" << unknown;
    QTest::newRow("mixed case") << "a.Eml" << unknown;
    QTest::newRow("two dots") << "a.b.eml" << mail;
    QTest::newRow("backup") << "x.eml.bak" << unknown;
    QTest::newRow("no dot") << "eml" << unknown;
    QTest::newRow("only the extension") << ".eml" << mail;
    QTest::newRow("apple mail") << "12.emlx" << mail;
    QTest::newRow("outlook item") << "report.msg" << mail;
    QTest::newRow("thunderbird index") << "Inbox.msf" << index;
    QTest::newRow("mh message") << "1042" << numbered;
    QTest::newRow("digits and a dot") << "12.5" << unknown;
    QTest::newRow("thunderbird mbox") << "Inbox" << unknown;
}

void TestSearch::namesAlone() {
    QFETCH(QString, name);
    QFETCH(int, kind);
    QCOMPARE(int(ClassifyName(name.toStdString())), kind);
}

void TestSearch::archiveTree() {
    QTemporaryDir dir;
    const QString root = dir.filePath("mail");
    const QByteArray mbox = "From a@example.com Mon Jan  1 00:00:00 2024\nSubject: x\n\nbody\n";
    // Thunderbird: mbox files without extension beside their indexes, subfolders in ".sbd".
    WriteFile(root + "/tb/Inbox", mbox);
    WriteFile(root + "/tb/Inbox.msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->");
    WriteFile(root + "/tb/Inbox.sbd/Work", mbox);
    WriteFile(root + "/tb/Inbox.sbd/Work.msf", "x");
    WriteFile(root + "/tb/Trash", ""); // empty: no first line
    WriteFile(root + "/tb/notes.txt", "Fromage\n");
    WriteFile(root + "/tb/From", "from a@example.com\n"); // the check is case-sensitive
    // Maildir with a Maildir++ subfolder and the bookkeeping of two IMAP servers.
    WriteFile(root + "/md/cur/1700000000.M1P2.host:2,S", "Subject: a\n");
    WriteFile(root + "/md/new/1700000001.M2P2.host", "Subject: b\n");
    WriteFile(root + "/md/tmp/1700000002.M3P2.host", "Subject: c\n");
    WriteFile(root + "/md/dovecot-uidlist", mbox);
    WriteFile(root + "/md/courierimapuiddb", mbox);
    WriteFile(root + "/md/maildirfolder", mbox);
    WriteFile(root + "/md/.Sent/cur/1700000003.M4P2.host:2,S", "Subject: d\n");
    WriteFile(root + "/md/.Sent/new/.hidden", "x");
    QVERIFY(QDir(root).mkpath("md/.Sent/tmp"));
    // MH: numbered files and the sequences file; a folder with other files is not MH.
    WriteFile(root + "/mh/inbox/1", "Subject: e\n");
    WriteFile(root + "/mh/inbox/12", "Subject: f\n");
    WriteFile(root + "/mh/inbox/.mh_sequences", "unseen: 12\n");
    WriteFile(root + "/mixed/7", "Subject: g\n");
    WriteFile(root + "/mixed/readme", "x");
    // Single mails of every kind, and an mbox with an extension of its own.
    WriteFile(root + "/one/a.emlx", "x");
    WriteFile(root + "/one/b.msg", "x");
    WriteFile(root + "/one/c.eml", "x");
    WriteFile(root + "/one/old.mbox", mbox);
    WriteFile(root + "/one/d.eml.gz", "x");
    // An mbox reached through a link is never opened.
    QVERIFY(symlink(qPrintable(root + "/tb/Inbox"), qPrintable(root + "/one/linked")) == 0);

    QStringList found;
    const SearchEnd end = SearchMailFiles(root, QStringLiteral("m"),
                                          {[] { return true; }, [&found](QString&& e) { found << e; }});
    QCOMPARE(end, SearchEnd::Finished);
    // In the order of the search: each folder's entries in byte order of their names.
    const QStringList expected{"m/md/.Sent/cur/1700000003.M4P2.host:2,S",
                               "m/md/cur/1700000000.M1P2.host:2,S",
                               "m/md/new/1700000001.M2P2.host",
                               "m/mh/inbox/1",
                               "m/mh/inbox/12",
                               "m/one/a.emlx",
                               "m/one/b.msg",
                               "m/one/c.eml",
                               "m/one/old.mbox",
                               "m/tb/Inbox",
                               "m/tb/Inbox.sbd/Work"};
    QCOMPARE(found, expected);
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
