// The programs as the run command uses them: korva creates the demo, korvawin opens on it
// and obeys the state file.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray leggi(const QString& percorso)
{
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestProgramma : public QObject {
    Q_OBJECT

private slots:
    void siApreSullaDemoESiChiudeARichiesta()
    {
        QTemporaryDir t;
        const QString demo = t.filePath("demo");
        QProcess korva;
        korva.start(QStringLiteral(KORVA_CLI), {"crea-demo", demo});
        QVERIFY(korva.waitForFinished(30000));
        QCOMPARE(korva.exitCode(), 0);

        const QString stato = demo + "/bin/stato/STATO.TXT";
        QFile f(stato);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("CHIUDITI");
        f.close();

        QProcess korvawin;
        korvawin.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        korvawin.start(QStringLiteral(KORVAWIN), {"--ini", demo + "/varnelo.ini", "--dir", demo});
        QVERIFY(korvawin.waitForStarted(10000));
        // The first company obeys the state file: at start it takes the old request away.
        QTRY_COMPARE_WITH_TIMEOUT(leggi(stato), QByteArray("APRITI"), 15000);
        QTest::qWait(1500);
        QCOMPARE(korvawin.state(), QProcess::Running);

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("CHIUDITI\r\n");
        f.close();
        QVERIFY(korvawin.waitForFinished(15000));
        QCOMPARE(korvawin.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvawin.exitCode(), 0);
    }

    void directoryDiAvvioInesistente()
    {
        QProcess korvawin;
        korvawin.start(QStringLiteral(KORVAWIN), {"--dir", "/non/esiste/davvero"});
        QVERIFY(korvawin.waitForFinished(15000));
        QCOMPARE(korvawin.exitCode(), 2);
        QVERIFY(korvawin.readAllStandardError().contains("Directory di avvio inesistente"));
    }
};

QTEST_MAIN(TestProgramma)
#include "test_programma.moc"
