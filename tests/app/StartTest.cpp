// The command line of the program and its start with the built-in demo devices.
#include <QProcess>
#include <QTest>

#include "app/DemoDevices.h"
#include "app/StartOptions.h"
#include "protocol/Session.h"
#include "sim/Simulator.h"

using namespace velkaro;

class StartTest : public QObject {
  Q_OBJECT

 private slots:
  void noArgumentsKeepTheDefaultTarget() {
    TStartOptions options;
    std::string error;
    QVERIFY(ParseStartOptions({}, options, error));
    QVERIFY(!options.demo);
    QVERIFY(!options.targetGiven);
    QCOMPARE(options.target.address, 0xFFFFFFFFu);
    QCOMPARE(options.target.port, std::uint16_t{52389});
  }

  void targetWithAndWithoutPort() {
    TStartOptions options;
    std::string error;
    QVERIFY(ParseStartOptions({"--target", "192.168.10.255"}, options, error));
    QVERIFY(options.targetGiven);
    QCOMPARE(options.target.address, TextToIp("192.168.10.255"));
    QCOMPARE(options.target.port, std::uint16_t{52389});
    QVERIFY(ParseStartOptions({"--target=10.20.0.15:6000"}, options, error));
    QCOMPARE(options.target.address, TextToIp("10.20.0.15"));
    QCOMPARE(options.target.port, std::uint16_t{6000});
    QVERIFY(ParseStartOptions({"--demo"}, options, error));
    QVERIFY(options.demo);
    QVERIFY(!options.watch);
    QVERIFY(ParseStartOptions({"--demo", "--watch"}, options, error));
    QVERIFY(options.demo && options.watch);
  }

  void badArgumentsAreRefusedWithAMessage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing value") << QStringList{"--target"} << "needs a value";
    QTest::newRow("bad address") << QStringList{"--target", "10.0.0"} << "invalid address";
    QTest::newRow("bad port") << QStringList{"--target", "10.0.0.1:70000"} << "invalid port";
    QTest::newRow("empty port") << QStringList{"--target=10.0.0.1:"} << "invalid port";
    QTest::newRow("twice") << QStringList{"--target", "10.0.0.1", "--target", "10.0.0.2"}
                           << "more than once";
    QTest::newRow("unknown") << QStringList{"--tagret", "10.0.0.1"} << "unknown argument";
    QTest::newRow("demo and target")
        << QStringList{"--demo", "--target", "10.0.0.1"} << "cannot be combined";
    QTest::newRow("log without file") << QStringList{"--log"} << "--log needs a value";
    QTest::newRow("log twice") << QStringList{"--log", "a.pcapng", "--log", "b.pcapng"}
                               << "--log given more than once";
    QTest::newRow("log folder missing")
        << QStringList{"--log", "/nonexistent-velkaro/x.pcapng"} << "its folder does not exist";
  }

  void badArgumentsAreRefusedWithAMessage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    std::vector<std::string> list;
    for (const QString& a : args) list.push_back(a.toStdString());
    TStartOptions options;
    options.demo = true;  // left alone on failure
    std::string error;
    QVERIFY(!ParseStartOptions(list, options, error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
    QVERIFY(options.demo);
    QVERIFY(!options.targetGiven);
  }

  void programExitsWithTwoOnABadTarget() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VELKARO_PROGRAM),
                  {QStringLiteral("--target"), QStringLiteral("300.1.2.3")});
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("invalid address '300.1.2.3'")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("Usage: velkaro")));
  }

  void demoDevicesAnswerOnLoopback() {
    TDemoDevices demo;
    std::string error;
    QVERIFY2(demo.Start(error), error.c_str());
    const TTarget target = demo.Target();
    QCOMPARE(target.address, TextToIp("127.0.0.1"));
    QCOMPARE(target.port, demo.Simulator().Port());
    QVERIFY(target.port != 0);
    TSession session;
    session.settings.target = target;
    QVERIFY(Discover(session.settings, MergeInto(session)).Ok());
    QCOMPARE(session.DeviceList.size(), std::size_t{3});
    QCOMPARE(session.DeviceList[0].ModelCode(), kModelZel1);
    QCOMPARE(session.DeviceList[1].ModelCode(), kModelZel4);
    QCOMPARE(session.DeviceList[2].ModelCode(), kModelZel8);
  }
};

QTEST_GUILESS_MAIN(StartTest)
#include "StartTest.moc"
