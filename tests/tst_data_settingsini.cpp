// zentrav.ini as an installer writes it by hand, with a [General] section,
// and as Settings::save() writes it.
#include "data/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDataSettingsIni : public QObject {
    Q_OBJECT
private slots:
    void generalSection_data();
    void generalSection();
    void savedSettingsReadBack();
};

void TestDataSettingsIni::generalSection_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("organisation");
    QTest::addColumn<bool>("postgres");
    QTest::newRow("hand-written [General]") << QByteArray("[General]\nOrganisationName=示范大学资产管理处\nEngine=postgresql\n"
                                                         "[PostgreSQL]\nHost=db.example\nUser=zentrav\n")
                                            << "示范大学资产管理处" << true;
    QTest::newRow("as QSettings writes it") << QByteArray("[%General]\nOrganisationName=某某单位\nEngine=sqlite\n") << "某某单位" << false;
    QTest::newRow("no file content") << QByteArray() << "" << false;
}

void TestDataSettingsIni::generalSection()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, organisation);
    QFETCH(bool, postgres);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("zentrav.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(ini);
    f.close();
    const Settings s = Settings::load(path);
    QCOMPARE(s.organisationName(), organisation);
    QCOMPARE(s.connection().engine == Engine::PostgreSQL, postgres);
    if (postgres)
        QCOMPARE(s.connection().host, QStringLiteral("db.example"));
}

void TestDataSettingsIni::savedSettingsReadBack()
{
    QTemporaryDir dir;
    Settings s = Settings::forDatabase(QDir(dir.path()).filePath(QStringLiteral("Zentrav.db")));
    s.setOrganisationName(QStringLiteral("示范单位"));
    QVERIFY(s.save());
    const Settings back = Settings::forDatabase(QDir(dir.path()).filePath(QStringLiteral("Zentrav.db")));
    QCOMPARE(back.organisationName(), QStringLiteral("示范单位"));
}

QTEST_MAIN(TestDataSettingsIni)
#include "tst_data_settingsini.moc"
