// Renders the dialog in Japanese and in English to PNG files under the build folder, for people
// to look at, once idle and once at the end of a run with its summary; the pictures are not
// compared. What is checked is that the texts can be drawn and that the summary is not cut off.

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "gui/my_edit.h"
#include "gui/tarnfield_app.h"
#include "gui/tarnfield_dlg.h"
#include "test_support.h"

class TestScreenshot : public QObject {
    Q_OBJECT
  private slots:
    void render_data();
    void render();
    void summary_data();
    void summary();
};

namespace {

bool Save(QWidget& dialog, const QString& file) {
    const QImage image = dialog.grab().toImage();
    if (image.isNull() || image.size() != dialog.size()) return false;
    if (!QDir().mkpath(QStringLiteral(TARNFIELD_SCREENSHOT_DIR))) return false;
    const QString path = QStringLiteral(TARNFIELD_SCREENSHOT_DIR) + u'/' + file;
    qInfo("%s", qPrintable(path));
    return image.save(path);
}

} // namespace

void TestScreenshot::render_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("file");
    QTest::newRow("japanese") << true << "tarnfield_ja.png";
    QTest::newRow("english") << false << "tarnfield_en.png";
}

void TestScreenshot::render() {
    QFETCH(bool, japanese);
    QFETCH(QString, file);
    QTranslator qtTexts;
    if (japanese) QVERIFY(CTarnfieldApp::LoadJapaneseQtTexts(*qApp, qtTexts));

    CTarnfieldDlg dialog({QStringLiteral("/MP3")}, japanese);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Every character of the Japanese texts has a glyph in the dialog's font.
    const QFontMetrics metrics(dialog.font());
    for (const char* text : {"参照作業元フォルダ送信者アドレスの作成受信日時を優先禁止文字（）全角に変換抽出"
                             "開始画面出力しない転送メール完了通書き出したファイル個失敗件秒先開く"}) {
        const QString characters = QString::fromUtf8(text);
        for (QChar c : characters)
            QVERIFY2(metrics.inFont(c), qPrintable(QString(c)));
    }
    dialog.findChild<CMyEdit*>(QStringLiteral("logView"))
        ->setPlainText(
            QStringLiteral("\"mail/2019/a.eml\" からファイルを抽出中です。<sender@example.com/2019-12-31>\n"
                           "\t-> report.pdf\n\n作成日時を 2020年3月3日 火曜日 10時20分30秒 "
                           "に変更しました。\n->\"/home/user/mail/b.eml\""));
    auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    progress->setRange(0, 5);
    progress->setValue(2);
    QVERIFY(Save(dialog, file));
    if (japanese) qApp->removeTranslator(&qtTexts);
}

void TestScreenshot::summary_data() {
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("file");
    QTest::newRow("japanese") << true << "tarnfield_summary_ja.png";
    QTest::newRow("english") << false << "tarnfield_summary_en.png";
}

void TestScreenshot::summary() {
    QFETCH(bool, japanese);
    QFETCH(QString, file);
    QTemporaryDir dir;
    testing_support::WriteFile(dir.filePath("mail/2019/a.eml"), "report 1 2 0\n");
    testing_support::WriteFile(dir.filePath("mail/b.eml"), "report 1 1 1\n");
    CTarnfieldDlg dialog({}, japanese);
    dialog.SetConsoleFolders({testing_support::FakeConsoleFolder()});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy finished(&dialog, &CTarnfieldDlg::runFinished);
    // An mbox of twelve mails beside two single mails.
    testing_support::WriteFile(dir.filePath("mail/Inbox"), "From a@example.com\nreport 12 3 0\n");
    dialog.findChild<QLineEdit*>(QStringLiteral("targetField"))->setText(dir.filePath("mail"));
    dialog.findChild<QLineEdit*>(QStringLiteral("outputField"))->setText(dir.filePath("out"));
    dialog.StartRun(dir.filePath("mail"), dir.filePath("out"));
    QVERIFY(finished.wait(60000));
    // The log's end, where the summary is too.
    auto* view = dialog.findChild<CMyEdit*>(QStringLiteral("logView"));
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());

    auto* status = dialog.findChild<QLabel*>(QStringLiteral("statusLine"));
    QVERIFY(!status->text().isEmpty());
    // The whole summary fits its line, and the button its caption.
    QVERIFY2(status->fontMetrics().horizontalAdvance(status->text()) <= status->width(),
             qPrintable(status->text()));
    auto* button = dialog.findChild<QPushButton*>(QStringLiteral("openOutputButton"));
    QVERIFY(button->isEnabled());
    QVERIFY(button->sizeHint().width() <= button->width());
    QVERIFY(status->geometry().bottom() < dialog.height() && button->geometry().bottom() < dialog.height());
    QVERIFY(Save(dialog, file));
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
