#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include "settings/Config.h"
#include "sync/WorkHours.h"

class WorkHoursTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;

  private slots:
    void storedTimesAreRead_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<qint64>("minutes");
        QTest::newRow("09:00") << "09:00" << qint64(540);
        QTest::newRow("9:5") << "9:5" << qint64(545);
        QTest::newRow("+9:00") << "+9:00" << qint64(540);
        QTest::newRow("24:00") << "24:00" << qint64(1440);
        QTest::newRow("negative hour") << "-1:30" << qint64(-30);
        QTest::newRow("three numbers") << "09:00:00" << qint64(-1);
        QTest::newRow("letter piece dropped") << "x:07:30" << qint64(450);
        QTest::newRow("doubled colons") << "::7::30:" << qint64(450);
        QTest::newRow("leading space") << " 9:00" << qint64(-1);
        QTest::newRow("dot") << "9.5:00" << qint64(-1);
        QTest::newRow("sign alone") << "+:-:7:30" << qint64(450);
        QTest::newRow("two signs") << "+-9:00" << qint64(-1);
        QTest::newRow("one number") << "0900" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("non-ASCII digits") << "٩:٠٠" << qint64(-1);
        QTest::newRow("too large for 64 bits") << "99999999999999999999:00" << qint64(-1);
        QTest::newRow("hours overflow when multiplied") << "153722867280912931:00" << qint64(-1);
        QTest::newRow("sum overflows") << "153722867280912930:9999" << qint64(-1);
        QTest::newRow("largest that fits") << "153722867280912930:7" << qint64(9223372036854775807);
    }
    void storedTimesAreRead() {
        QFETCH(QString, stored);
        QFETCH(qint64, minutes);
        QCOMPARE(storedMinutes(stored, -1), minutes);
        QCOMPARE(storedMinutes(std::nullopt, 540), 540);
    }

    // Times of day never show seconds, whatever the locale's short format has.
    void theWindowReadsWithoutSeconds() {
        const QDateTime now(QDate(2026, 12, 7), QTime(3, 0));
        const QList<std::pair<QLocale, QString>> table = {
            {QLocale::c(), "09:00–17:30"},
            {QLocale(QLocale::English, QLocale::UnitedStates), "9:00 AM–5:30 PM"},
            {QLocale(QLocale::German, QLocale::Germany), "09:00–17:30"}};
        for (const auto& [locale, label] : table) {
            QLocale::setDefault(locale);
            QCOMPARE(workHoursLabel({540, 1050}, now), label);
        }
        QLocale::setDefault(QLocale::system());
    }

    void windowIsStartInclusiveEndExclusive_data() {
        QTest::addColumn<QJsonObject>("workHours");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("inside");
        const QJsonObject defaults{{QStringLiteral("enabled"), true}};
        QTest::newRow("08:59") << defaults << QTime(8, 59, 59) << false;
        QTest::newRow("09:00") << defaults << QTime(9, 0) << true;
        QTest::newRow("16:59") << defaults << QTime(16, 59, 59) << true;
        QTest::newRow("17:00") << defaults << QTime(17, 0) << false;
        const QJsonObject overnight{{QStringLiteral("enabled"), true},
                                    {QStringLiteral("start"), QStringLiteral("22:00")},
                                    {QStringLiteral("end"), QStringLiteral("06:00")}};
        QTest::newRow("22:00 to 06:00 at 23:00") << overnight << QTime(23, 0) << false;
        QTest::newRow("22:00 to 06:00 at 03:00") << overnight << QTime(3, 0) << false;
        const QJsonObject untilMidnight{{QStringLiteral("enabled"), true},
                                        {QStringLiteral("start"), QStringLiteral("00:00")},
                                        {QStringLiteral("end"), QStringLiteral("24:00")}};
        QTest::newRow("end 24:00 at 23:59") << untilMidnight << QTime(23, 59) << true;
        const QJsonObject disabled{{QStringLiteral("enabled"), false},
                                   {QStringLiteral("start"), QStringLiteral("10:00")},
                                   {QStringLiteral("end"), QStringLiteral("10:00")}};
        QTest::newRow("disabled") << disabled << QTime(3, 0) << true;
    }
    void windowIsStartInclusiveEndExclusive() {
        QFETCH(QJsonObject, workHours);
        QFETCH(QTime, time);
        QFETCH(bool, inside);
        const QString path = dir_.filePath("settings.json");
        QVERIFY(writeSettings(path, {{"workHours", workHours}}));
        const Config config(path);
        QCOMPARE(inWorkHours(config.workHoursEnabled(), config.workHoursRange(),
                             QDateTime(QDate(2026, 12, 7), time)),
                 inside);
    }
};

QTEST_GUILESS_MAIN(WorkHoursTest)
#include "tst_workhours.moc"
