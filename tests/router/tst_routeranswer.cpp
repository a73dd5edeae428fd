// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterAnswer.h"

#include <QTest>

namespace {

QByteArray envelope(const QByteArray &body)
{
    return R"(<?xml version="1.0"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>)"
        + body + "</s:Body></s:Envelope>\r\n";
}

QByteArray received(const QByteArray &fields)
{
    return envelope(R"(<u:GetTotalBytesReceivedResponse xmlns:u="urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1">)"
        + fields + "</u:GetTotalBytesReceivedResponse>");
}

QByteArray description(const QByteArray &name, const QByteArray &before = {})
{
    return R"(<?xml version="1.0"?><root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major></specVersion>)"
           "<device>"
        + before + "<friendlyName>" + name + "</friendlyName><deviceList><device><friendlyName>WAN Device</friendlyName>"
                   "</device></deviceList></device></root>\n";
}

} // namespace

// What a router answers is read strictly: a whole answer of miniupnpd reads right, anything
// hostile is refused with its reason, never taken in part.
class TestRouterAnswer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("read"); // the value, or the start of the reason
        QTest::newRow("miniupnpd") << received("<NewTotalBytesReceived>4858863852</NewTotalBytesReceived>")
                                   << "=4858863852";
        QTest::newRow("miniupnpd's fault") << envelope(
            R"(<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>401</errorCode><errorDescription>Invalid Action</errorDescription></UPnPError></detail></s:Fault>)")
                                           << "a fault, 401 (Invalid Action)";
        QTest::newRow("missing") << received("<NewTotalBytesSent>5</NewTotalBytesSent>") << "no NewTotalBytesReceived";
        QTest::newRow("twice") << received("<NewTotalBytesReceived>5</NewTotalBytesReceived><NewTotalBytesReceived>9"
                                           "</NewTotalBytesReceived>")
                               << "NewTotalBytesReceived 2 times";
        QTest::newRow("nested twice")
            << received("<x><NewTotalBytesReceived>5</NewTotalBytesReceived></x><NewTotalBytesReceived>5</NewTotalBytesReceived>")
            << "NewTotalBytesReceived 2 times";
        const QByteArray whole = received("<NewTotalBytesReceived>123456</NewTotalBytesReceived>");
        QTest::newRow("cut in the number") << whole.left(whole.indexOf("3456")) << "an answer cut short";
        QTest::newRow("cut after the field") << whole.left(whole.indexOf("</s:Body>")) << "an answer cut short";
        QTest::newRow("empty") << QByteArray() << "an empty answer";
        QTest::newRow("huge") << received(QByteArray(70'000, ' ') + "<NewTotalBytesReceived>5</NewTotalBytesReceived>")
                              << "an answer of 70";
        // libminiupnpc keeps 127 bytes of a value: a longer one would be read cut.
        QTest::newRow("long zeros") << received("<NewTotalBytesReceived>" + QByteArray(140, '0') + "5</NewTotalBytesReceived>")
                                    << "a NewTotalBytesReceived too long";
    }

    void answers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, read);
        QString error;
        const std::optional<QList<QByteArray>> fields = RouterAnswer::fields(answer, {"NewTotalBytesReceived"}, error);
        const QString got = fields ? QLatin1Char('=') + QString::fromLatin1(fields->value(0)) : error;
        QVERIFY2(got.startsWith(read), qPrintable(got));
        QCOMPARE(fields.has_value(), error.isEmpty());
    }

    void friendlyNames_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QString>("read"); // the name, or the start of the reason
        QTest::newRow("miniupnpd") << description("Varnolt Test &amp; Router") << "=Varnolt Test & Router";
        QTest::newRow("entities, UTF-8") << description("  &lt;Caf\xc3\xa9&gt; &quot;&apos; ") << "=<Café> \"'";
        QTest::newRow("the root device's, after its list")
            << description("Home", "<deviceList><device><friendlyName>Inner</friendlyName></device></deviceList>")
            << "=Home";
        QTest::newRow("other entity") << description("a&nbsp;b") << "the friendly name holds an entity";
        QTest::newRow("character reference") << description("a&#10;b") << "the friendly name holds an entity";
        QTest::newRow("doctype") << "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e \"x\">]>" + description("&e;")
                                 << "the description holds a declaration";
        QTest::newRow("control character") << description("a\x1b[31mb") << "the friendly name holds a control";
        QTest::newRow("bidi override") << description("a\xe2\x80\xae" "b") << "the friendly name holds a control";
        QTest::newRow("not UTF-8") << description("a\xff" "b") << "the friendly name holds a control";
        QTest::newRow("markup") << description("a<b>c</b>") << "the friendly name holds markup";
        QTest::newRow("too long") << description(QByteArray(200, 'n')) << "a friendly name of 200 characters";
        QTest::newRow("empty") << description("  ") << "an empty friendly name";
        QTest::newRow("none") << QByteArray("<root><device><deviceType>x</deviceType></device></root>")
                              << "the description names no friendly name";
        QTest::newRow("cut") << description("Home").left(60) << "a description cut short";
        QTest::newRow("unnested") << QByteArray("<root><device><x></device><friendlyName>a</friendlyName></root>")
                                  << "the description's elements do not nest";
    }

    void friendlyNames()
    {
        QFETCH(QByteArray, description);
        QFETCH(QString, read);
        QString error;
        const std::optional<QString> name = RouterAnswer::friendlyName(description, error);
        const QString got = name ? QLatin1Char('=') + *name : error;
        QVERIFY2(read.startsWith(QLatin1Char('=')) ? got == read : got.startsWith(read), qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(TestRouterAnswer)
#include "tst_routeranswer.moc"
