// Runs with the real console program as the child, driven the way a person drives the dialog.

#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include "gui/tarnfield_dlg.h"
#include "test_support.h"

using testing_support::WriteFile;

namespace {

constexpr int kRunTimeout = 120000;

template <typename T = QWidget> T* Find(CTarnfieldDlg& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

struct Mail {
    const char* path;
    QDateTime date;
};

QByteArray MailText(const QDateTime& date, const QByteArray& attachmentName) {
    const QByteArray when =
        QLocale::c().toString(date, QStringLiteral("ddd, d MMM yyyy HH:mm:ss")).toLatin1() + " +0900";
    return "From: Sender <sender@example.com>\r\n"
           "To: someone@example.org\r\n"
           "Date: " +
           when +
           "\r\n"
           "Subject: test\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "\r\n"
           "hello\r\n"
           "--b1\r\n"
           "Content-Type: application/octet-stream; name=\"" +
           attachmentName +
           "\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"" +
           attachmentName +
           "\"\r\n"
           "\r\n"
           "aGVsbG8gd29ybGQ=\r\n"
           "--b1--\r\n";
}

QDateTime Tokyo(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone(9 * 3600));
}

// Fills the fields, ticks what is asked and presses Export; returns when the run is over.
bool Export(CTarnfieldDlg& dialog, const QString& target, const QString& output) {
    Find<QLineEdit>(dialog, "targetField")->setText(target);
    Find<QLineEdit>(dialog, "outputField")->setText(output);
    QSignalSpy finished(&dialog, &CTarnfieldDlg::runFinished);
    QTest::mouseClick(Find<QPushButton>(dialog, "exportButton"), Qt::LeftButton);
    return finished.count() == 1 || finished.wait(kRunTimeout);
}

} // namespace

class TestRealChild : public QObject {
    Q_OBJECT
  private slots:
    void dateModeRun();
    void extractionRun();
    void englishRun();
    void relativePathsRun();
};

void TestRealChild::dateModeRun() {
    QTemporaryDir dir;
    const Mail mails[] = {{"mail/a.eml", Tokyo(2020, 3, 3, 10, 20, 30)},
                          {"mail/2019/b.eml", Tokyo(2019, 12, 31, 23, 59, 58)},
                          {"mail/2019/01/deep/c.eml", Tokyo(2019, 1, 2, 3, 4, 5)}};
    for (const Mail& mail : mails)
        WriteFile(dir.filePath(mail.path), MailText(mail.date, "a.bin"));
    WriteFile(dir.filePath("mail/skipped.EML"), MailText(Tokyo(2001, 1, 1, 0, 0, 0), "a.bin"));
    const QDateTime untouched = QFileInfo(dir.filePath("mail/skipped.EML")).lastModified();

    CTarnfieldDlg dialog({}, true);
    dialog.SetConsoleFolders({testing_support::RealConsoleFolder()});
    dialog.show();
    QTest::mouseClick(Find<QCheckBox>(dialog, "timestampCheck"), Qt::LeftButton);
    QVERIFY(Export(dialog, dir.filePath("mail"), QString()));

    QCOMPARE(dialog.Run().Settings().baseCommand, QStringLiteral("dornick.exe /DM /P"));
    QCOMPARE(dialog.Run().ProcessedCount(), 3u);
    QCOMPARE(Find<QProgressBar>(dialog, "progressBar")->value(), 3);
    QVERIFY(dialog.Run().IsIdle());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("マヴレルGUI"));
    const QString log = dialog.Run().Log().All();
    for (const Mail& mail : mails) {
        QCOMPARE(QFileInfo(dir.filePath(mail.path)).lastModified().toSecsSinceEpoch(),
                 mail.date.toSecsSinceEpoch());
        QVERIFY2(log.contains("に変更しました。\r\n->\"" + dir.filePath(mail.path) + "\"\r\n\r\n"),
                 qPrintable(log));
    }
    QCOMPARE(log.count(QStringLiteral("作成日時を ")), 3);
    QCOMPARE(QFileInfo(dir.filePath("mail/skipped.EML")).lastModified(), untouched);
}

void TestRealChild::extractionRun() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), MailText(Tokyo(2020, 3, 3, 10, 20, 30), "first.bin"));
    WriteFile(dir.filePath("mail/2019/b.eml"), MailText(Tokyo(2019, 12, 31, 23, 59, 58), "second.bin"));

    CTarnfieldDlg dialog({}, true);
    dialog.SetConsoleFolders({testing_support::RealConsoleFolder()});
    dialog.show();
    QTest::mouseClick(Find<QCheckBox>(dialog, "logFileCheck"), Qt::LeftButton);
    QVERIFY(Export(dialog, dir.filePath("mail"), dir.filePath("out")));
    QCOMPARE(dialog.Run().ProcessedCount(), 2u);
    QVERIFY(dialog.Run().IsIdle());

    const QString log = dialog.Run().Log().All();
    QCOMPARE(log.count(QStringLiteral("からファイルを抽出中です。")), 2);
    // Both attachments are in the output tree, below a sender folder and a date folder.
    QStringList written;
    for (QDirIterator it(dir.filePath("out"), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (QFileInfo(path).fileName() == QStringLiteral("dornick.txt")) continue;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("hello world"));
        written << QDir(dir.filePath("out")).relativeFilePath(path);
    }
    written.sort();
    QCOMPARE(written, (QStringList{"sender@example.com/2019-12-31/second.bin",
                                   "sender@example.com/2020-03-03/first.bin"}));
    // Written files carry the mail's date.
    QCOMPARE(QFileInfo(dir.filePath("out/" + written[1])).lastModified().toSecsSinceEpoch(),
             Tokyo(2020, 3, 3, 10, 20, 30).toSecsSinceEpoch());
    QVERIFY(QFileInfo::exists(dir.filePath("out/dornick.txt")));
    QCOMPARE(Find<QProgressBar>(dialog, "progressBar")->value(), 2);
}

// In English the children speak English too; the log view still gets the form it reads (the
// children's UTF-16LE lines with CR LF), whatever the environment asks of a console program.
void TestRealChild::englishRun() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("mail/a.eml"), MailText(Tokyo(2020, 3, 3, 10, 20, 30), "first.bin"));
    qputenv("DORNICK_OUTPUT_ENCODING", "UTF-8");
    CTarnfieldDlg dialog({}, false);
    dialog.SetConsoleFolders({testing_support::RealConsoleFolder()});
    dialog.show();
    QVERIFY(Export(dialog, dir.filePath("mail"), dir.filePath("out")));
    qunsetenv("DORNICK_OUTPUT_ENCODING");
    const QString log = dialog.Run().Log().All();
    QVERIFY2(
        log.contains("Extracting files from \"" + dir.filePath("mail/a.eml") +
                     "\". <sender@example.com/2020-03-03>\r\nThe Return-Path and the From of this mail "
                     "differ.\r\nReturn-Path: \r\n-> From: sender@example.com\r\n\t-> \"first.bin\"\r\n"),
        qPrintable(log));
    QVERIFY2(!log.contains(QStringLiteral("からファイルを抽出中です。")), qPrintable(log));
}

// The front end makes its paths relative to the console program's folder and starts the child
// there: the real child, which takes relative paths against its current folder, finds them.
void TestRealChild::relativePathsRun() {
    const QString home = QFileInfo(testing_support::RealConsoleFolder()).canonicalFilePath();
    QVERIFY(QDir::currentPath() != home);
    QTemporaryDir mail(home + QStringLiteral("/mailXXXXXX"));
    QTemporaryDir out(home + QStringLiteral("/outXXXXXX"));
    WriteFile(mail.filePath("a.eml"), MailText(Tokyo(2020, 3, 3, 10, 20, 30), "first.bin"));
    CTarnfieldDlg dialog({}, true);
    dialog.SetConsoleFolders({testing_support::RealConsoleFolder()});
    dialog.show();
    QVERIFY(Export(dialog, mail.path(), out.path()));
    QCOMPARE(dialog.Run().Settings().baseCommand,
             "dornick.exe /P /O \"" + QFileInfo(out.path()).fileName() + "\"");
    QFile file(out.filePath("sender@example.com/2020-03-03/first.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("hello world"));
    QVERIFY2(
        dialog.Run().Log().All().contains("\"" + mail.filePath("a.eml") + "\" からファイルを抽出中です。"),
        qPrintable(dialog.Run().Log().All()));
}

QTEST_MAIN(TestRealChild)
#include "tst_real_child.moc"
