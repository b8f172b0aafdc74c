#include "ChooserFixtures.h"
#include "CompanionApp.h"
#include "SimulatedWifiPhone.h"
#include "TestMain.h"
#include "android/AndroidWifiConnector.h"
#include "shell/app/AndroidWIFIForm.h"
#include "shell/app/Ui_AndroidWIFIForm.h"

#include <QLineEdit>

using tarnwick::peers::CompanionApp;
using tarnwick::peers::SimulatedWifiPhone;

namespace {

const QString kWrongAddress = QStringLiteral("Input Error. Please input the correct WiFi connection info.");
const QString kTimeout =
    QStringLiteral("Connection Timeout.Please make sure you input the WiFi connection info correctly.");

} // namespace

// The Wi-Fi dialog: what it accepts as an address, what the user sees when the phone cannot be
// reached, and the connector it hands over.
class TestAndroidWIFIForm : public QObject, private fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

    // Connectors with a short greeting wait, counted.
    int m_made = 0;
    AndroidWIFIForm::ConnectorFactory factory()
    {
        return [this] {
            ++m_made;
            auto c = std::make_unique<AndroidWifiConnector>([](unsigned long) {});
            c->setHelloTimeout(300);
            return c;
        };
    }

    // Types each address and presses Connect, then leaves the dialog as it is.
    std::unique_ptr<AndroidWifiConnector> attempt(const QStringList &typed, bool *leftOpen)
    {
        AndroidWIFIForm dialog(nullptr, factory());
        fixture::playOnceShown<AndroidWIFIForm>(
            dialog,
            [typed](AndroidWIFIForm &d) {
                for (const QString &text : typed) {
                    d.form().txtWifiSocket->setText(text);
                    fixture::press(d, "btnConnect");
                }
            },
            leftOpen);
        return dialog.execGetConnector();
    }

    QStringList boxTexts() const
    {
        QStringList out;
        for (const MessageBoxRequest &r : boxes)
            out << r.text;
        return out;
    }

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }

    void init()
    {
        boxes.clear();
        m_made = 0;
    }

    void formTexts()
    {
        AndroidWIFIForm dialog;
        Ui_AndroidWIFIForm &ui = dialog.form();
        QCOMPARE(dialog.objectName(), QStringLiteral("AndroidWIFIForm"));
        QCOMPARE(ui.label_2->text(), QStringLiteral("Connect Android via WiFi"));
        QCOMPARE(ui.btnConnect->text(), QStringLiteral("Connect"));
        QCOMPARE(ui.btnClose->text(), QStringLiteral("Cancel"));
        QVERIFY(ui.label->text().endsWith(QLatin1String("following Text Box. ")));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void malformedAddressIsRefusedWithoutTrying_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("three parts") << "192.168.1";
        QTest::newRow("host name") << "phone.local";
        QTest::newRow("with a port") << "192.168.1.20:48888";
        QTest::newRow("empty") << "";
        QTest::newRow("four digits in a part") << "1921.168.1.2";
    }
    void malformedAddressIsRefusedWithoutTrying()
    {
        QFETCH(QString, typed);
        bool leftOpen = false;
        QVERIFY(!attempt({typed}, &leftOpen));
        QVERIFY2(leftOpen, "the dialog stays open after a malformed address");
        QCOMPARE(boxTexts(), QStringList{kWrongAddress});
        QCOMPARE(boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(m_made, 0);
    }

    // Nothing listening, or a phone that never greets back: the time-out text, the dialog open.
    void unreachablePhoneShowsTimeout_data()
    {
        QTest::addColumn<bool>("silentPhone");
        QTest::newRow("nothing listening") << false;
        QTest::newRow("silent phone") << true;
    }
    void unreachablePhoneShowsTimeout()
    {
        QFETCH(bool, silentPhone);
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.greeting = SimulatedWifiPhone::Greeting::Silent;
        QString address = SimulatedWifiPhone::unusedAddress();
        if (silentPhone) {
            QVERIFY(phone.open());
            address = phone.address();
        }
        bool leftOpen = false;
        QVERIFY(!attempt({address}, &leftOpen));
        QVERIFY(leftOpen);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.contains(kTimeout), qPrintable(boxes.first().text));
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
    }

    void refusedGreetingShowsThePhonesText()
    {
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.helloReply =
            QStringLiteral("$error:") + QString::fromLatin1(QByteArray("not paired").toBase64());
        QVERIFY(phone.open());
        bool leftOpen = false;
        QVERIFY(!attempt({phone.address()}, &leftOpen));
        QVERIFY(leftOpen);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.contains(QLatin1String("not paired")), qPrintable(boxes.first().text));
    }

    // Blanks around the address are dropped; a failed attempt before a good one leaves nothing.
    void connectsAndHandsOverTheConnector()
    {
        CompanionApp app;
        SimulatedWifiPhone phone(&app);
        phone.helloReply = QStringLiteral("hello:Kitchen tablet");
        QVERIFY(phone.open());
        bool leftOpen = false;
        std::unique_ptr<AndroidWifiConnector> connector = attempt(
            {SimulatedWifiPhone::unusedAddress(), QStringLiteral("  %1 ").arg(phone.address())}, &leftOpen);
        QVERIFY(!leftOpen);
        QVERIFY(connector);
        QCOMPARE(connector->host, phone.address());
        QCOMPARE(connector->deviceName, QStringLiteral("Kitchen tablet"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.first().text.contains(kTimeout));
        QCOMPARE(m_made, 2);
    }

    void cancelGivesNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Escape key") << true;
    }
    void cancelGivesNothing()
    {
        QFETCH(bool, escape);
        AndroidWIFIForm dialog(nullptr, factory());
        bool leftOpen = false;
        fixture::playOnceShown<AndroidWIFIForm>(
            dialog,
            [escape](AndroidWIFIForm &d) {
                d.form().txtWifiSocket->setText(QStringLiteral("10.1"));
                fixture::press(d, "btnConnect");
                fixture::giveUp(d, escape);
            },
            &leftOpen);
        QVERIFY(!dialog.execGetConnector());
        QVERIFY(!leftOpen);
    }
};

TARNWICK_TEST_MAIN(TestAndroidWIFIForm)
#include "tst_androidwifiform.moc"
