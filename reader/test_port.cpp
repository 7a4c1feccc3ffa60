// Card numbers assembled from what readers send, and handed on.

#include "reader/Port.h"
#include "reader/Utilites.h"
#include "reader/ZPClasses.h"

#include "core/ProcessValues.h"

#include "TestSupport.h"
#include <QTest>

using namespace reader;

class TestPort : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        core::pv().VsePitaniya = QStringLiteral("Нет");
        BuferChteniyaKarty().clear();
        m_cards.clear();
        SetCardEntry([this](const QString &k) { m_cards << k; });
    }
    void cleanup() { SetCardEntry(nullptr); }

    // Each row: the chunks as they arrive (one notification each), the cards
    // handed on, and what the buffer keeps.
    void assembly_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("cards");
        QTest::addColumn<QString>("left");
        QTest::newRow("5 then 5") << QList<QByteArray>{"12345", "67890"} << QStringList{"1234567890"} << "";
        QTest::newRow("5, blank, 5") << QList<QByteArray>{" 1234", "5 \r\n", "67890\r\n"} << QStringList{"1234567890"} << "";
        QTest::newRow("7 then nothing") << QList<QByteArray>{"1234567\r\n"} << QStringList{} << "1234567";
        QTest::newRow("7 prefixes the next card") << QList<QByteArray>{"1234567\r\n", "00AB12CD\r\n"} << QStringList{"123456700AB12CD"} << "";
        QTest::newRow("blanks only") << QList<QByteArray>{"   ", "\r\n", "\r", "\n\t "} << QStringList{} << "";
        QTest::newRow("12 and CR LF at once") << QList<QByteArray>{"0123456789AB\r\n"} << QStringList{"0123456789AB"} << "";
        QTest::newRow("two lines at once stay one text") << QList<QByteArray>{"11112222\r\n33334444\r\n"} << QStringList{"11112222\r\n33334444"} << "";
        QTest::newRow("nothing read") << QList<QByteArray>{QByteArray()} << QStringList{} << "";
    }
    void assembly()
    {
        QFETCH(QList<QByteArray>, chunks);
        for (const QByteArray &c : chunks)
            ObrabotkaDannihSchitivatelya(c);
        QTEST(m_cards, "cards");
        QTEST(BuferChteniyaKarty(), "left");
        if (!m_cards.isEmpty())
            QCOMPARE(core::pv().PoslednyayaKarta, m_cards.last());
    }

    void allTypesChosenStoresButDoesNotRegister()
    {
        core::pv().VsePitaniya = QStringLiteral("Да");
        ObrabotkaDannihSchitivatelya("00AB12CD\r\n");
        QVERIFY(m_cards.isEmpty());
        QCOMPARE(core::pv().PoslednyayaKarta, QStringLiteral("00AB12CD"));
        QVERIFY(BuferChteniyaKarty().isEmpty());
    }

    void registrationErrorsAreSwallowed()
    {
        SetCardEntry([](const QString &) { throw std::runtime_error("нет базы"); });
        ObrabotkaDannihSchitivatelya("00AB12CD\r\n");
        QVERIFY(BuferChteniyaKarty().isEmpty());
        SetCardEntry([this](const QString &k) { m_cards << k; });
        ObrabotkaDannihSchitivatelya("11112222\r\n");
        QCOMPARE(m_cards, QStringList{"11112222"});
    }

    // A registration that asks a question lets the next card in while it
    // waits: that card stands alone.
    void cardDuringRegistrationStandsAlone()
    {
        SetCardEntry([this](const QString &k) {
            m_cards << k;
            if (m_cards.size() == 1)
                ObrabotkaDannihSchitivatelya("22223333\r\n");
        });
        ObrabotkaDannihSchitivatelya("11112222\r\n");
        QCOMPARE(m_cards, (QStringList{"11112222", "22223333"}));
    }

    // Two readers, one buffer: halves arriving from both are joined.
    void twoPortsShareTheBuffer()
    {
        QCOMPARE(ZP_Initialize(nullptr, 2), 0);
        RegisterDeviceTypes();
        testsupport::SimulatorProcess a(QStringLiteral(SIM_READER_PATH), {"--usb"});
        testsupport::SimulatorProcess b(QStringLiteral(SIM_READER_PATH), {"--usb"});
        std::vector<std::unique_ptr<TZPort>> ports;
        std::vector<std::unique_ptr<TPortForm>> forms;
        for (auto *sim : {&a, &b}) {
            auto port = std::make_unique<TZPort>();
            port->PortName = sim->value("device");
            port->SetOpened(true);
            auto form = std::make_unique<TPortForm>();
            form->SetPort(port.get());
            form->show();
            ports.push_back(std::move(port));
            forms.push_back(std::move(form));
        }
        QCOMPARE(forms[0]->windowTitle(), QStringLiteral("CR   v.1.0.0"));
        QCOMPARE(forms[0]->size(), QSize(1, 1));
        a.command("0011");
        QTRY_COMPARE(BuferChteniyaKarty(), QStringLiteral("0011"));
        b.command("2233");
        QTRY_COMPARE(m_cards, QStringList{"00112233"});
        forms.clear();
        ports.clear();
        ZP_Finalyze();
    }

private:
    QStringList m_cards;
};

QTEST_MAIN(TestPort)
#include "test_port.moc"
