// Renders the dialog in Japanese and in English to PNG files under the build folder, for people
// to look at; the pictures are not compared. What is checked is that the texts can be drawn.

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QProgressBar>
#include <QTest>

#include "gui/my_edit.h"
#include "gui/tarnfield_app.h"
#include "gui/tarnfield_dlg.h"

class TestScreenshot : public QObject {
    Q_OBJECT
  private slots:
    void render_data();
    void render();
};

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
                             "開始画面出力しない転送メール"}) {
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

    const QImage image = dialog.grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), dialog.size());
    QVERIFY(QDir().mkpath(QStringLiteral(TARNFIELD_SCREENSHOT_DIR)));
    const QString path = QStringLiteral(TARNFIELD_SCREENSHOT_DIR) + u'/' + file;
    QVERIFY(image.save(path));
    qInfo("%s", qPrintable(path));
    if (japanese) qApp->removeTranslator(&qtTexts);
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
