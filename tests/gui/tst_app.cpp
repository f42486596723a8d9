// The application's start-up choices: the interface language, and Qt's own texts in Japanese.

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "gui/tarnfield_app.h"

class TestApp : public QObject {
    Q_OBJECT
  private slots:
    void languageFollowsTheUsersSettings();
    void qtOwnTextsInJapanese();
};

void TestApp::languageFollowsTheUsersSettings() {
    // CTest runs this twice: once with a Japanese user interface, once without.
    const bool expected = qEnvironmentVariable("TARNFIELD_EXPECT_JAPANESE") == QStringLiteral("1");
    QCOMPARE(CTarnfieldApp::IsJapaneseUserInterface(), expected);
}

void TestApp::qtOwnTextsInJapanese() {
    QMessageBox english(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                        QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(english.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Yes"));
    QTranslator translator;
    QVERIFY(CTarnfieldApp::LoadJapaneseQtTexts(*qApp, translator));
    QMessageBox japanese(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                         QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(japanese.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")),
             qPrintable(japanese.button(QMessageBox::Yes)->text()));
    QVERIFY(japanese.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
    qApp->removeTranslator(&translator);
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
