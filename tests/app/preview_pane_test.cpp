// The preview pane shows mail content, which is untrusted: no script runs and nothing
// is fetched from the network, whatever the page asks for.

#include <QTcpServer>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>

#include <fstream>

#include "app/explorer.hpp"
#include "tests/app/app_tests.hpp"

namespace edbx::gui::test {

class PreviewPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void OnlyLocalUrlsAreLoaded_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("local");
    QTest::newRow("file") << "file:///tmp/x/header.html" << true;
    QTest::newRow("data") << "data:text/html,<b>x</b>" << true;
    QTest::newRow("blank") << "about:blank" << true;
    QTest::newRow("http") << "http://example.com/a.png" << false;
    QTest::newRow("https") << "https://example.com/" << false;
    QTest::newRow("ftp") << "ftp://example.com/" << false;
    QTest::newRow("ws") << "ws://example.com/" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
  }
  void OnlyLocalUrlsAreLoaded() {
    QFETCH(QString, url);
    QFETCH(bool, local);
    QCOMPARE(IsLocalUrl(QUrl(url)), local);
  }

  void APageCanNeitherRunScriptsNorReachTheNetwork() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    connect(&server, &QTcpServer::newConnection, [&] {
      while (QTcpSocket* s = server.nextPendingConnection()) {
        ++connections;
        s->close();
      }
    });
    const QString remote = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string page = dir.filePath(QStringLiteral("mail.html")).toStdString();
    std::ofstream(page) << "<html><head><title>mail</title><link rel=stylesheet href=\"" << remote.toStdString()
                        << "a.css\"></head><body><img src=\"" << remote.toStdString() << "b.png\">"
                        << "<iframe src=\"" << remote.toStdString() << "c.html\"></iframe>"
                        << "<script>document.title = 'script ran';</script></body></html>";
    CExplorer1 pane;
    pane.resize(400, 300);
    pane.show();
    QSignalSpy loaded(&pane, &CExplorer1::PageLoaded);
    pane.Navigate(page);
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 30000);
    QTest::qWait(300);
    QCOMPARE(pane.title(), QStringLiteral("mail"));
    QCOMPARE(connections, 0);
    // A link to the network is refused as well.
    pane.load(QUrl(remote + QStringLiteral("d.html")));
    QTest::qWait(500);
    QCOMPARE(connections, 0);
    QCOMPARE(pane.url(), QUrl::fromLocalFile(QString::fromStdString(page)));
  }
};

std::unique_ptr<QObject> MakePreviewPaneTest() { return std::make_unique<PreviewPaneTest>(); }

}  // namespace edbx::gui::test

#include "preview_pane_test.moc"
