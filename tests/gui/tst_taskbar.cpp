// Taskbar progress through the launcher-entry signal, on a private session bus (CTest starts this
// test under dbus-run-session).

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "gui/tarnfield_dlg.h"
#include "test_support.h"

class LauncherListener : public QObject {
    Q_OBJECT
  public:
    QList<QVariantMap> updates;
    QStringList applications;
  public slots:
    void Update(const QString& application, const QVariantMap& properties) {
        applications << application;
        updates << properties;
    }
};

class TestTaskbar : public QObject {
    Q_OBJECT
  private slots:
    void runShowsProgress();
};

void TestTaskbar::runShowsProgress() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    LauncherListener listener;
    QVERIFY(bus.connect(QString(), QStringLiteral("/com/canonical/unity/launcherentry/tarnfield"),
                        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"),
                        &listener, SLOT(Update(QString, QVariantMap))));

    QTemporaryDir dir;
    for (const char* name : {"a.eml", "b.eml", "c.eml", "d.eml"})
        testing_support::WriteFile(dir.filePath(QString("m/") + name), "silent\n");
    CTarnfieldDlg dialog({}, false);
    dialog.SetConsoleFolders({testing_support::FakeConsoleFolder()});
    QSignalSpy finished(&dialog, &CTarnfieldDlg::runFinished);
    dialog.StartRun(dir.filePath("m"), dir.filePath("out"));
    QVERIFY(finished.wait(60000));

    // The bar is shown while files are done, reaches the end, and is taken away (or asks for attention
    // when the window is in the background) once the run is over.
    QTRY_VERIFY(!listener.updates.isEmpty() && !listener.updates.last().value("progress-visible").toBool());
    QVERIFY(listener.applications.contains(QStringLiteral("application://tarnfield.desktop")));
    bool sawFull = false;
    for (const QVariantMap& update : listener.updates)
        if (update.value("progress-visible").toBool() && update.value("progress").toDouble() == 1.0)
            sawFull = true;
    QVERIFY(sawFull);
    QCOMPARE(listener.updates.last().value("urgent").toBool(), !dialog.isActiveWindow());
}

QTEST_MAIN(TestTaskbar)
#include "tst_taskbar.moc"
