// Trusted updates against a real static web server: nginx, started on a free
// loopback port with a configuration this test writes, serves a tree that
// quorvin-publish signed, and the real window runs a whole update from it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QProcess>
#include <QStandardPaths>
#include <map>

#include "EndToEndFixture.h"
#include "engine/DeltaEncoder.h"
#include "engine/DeltaOffer.h"
#include "engine/SigningKey.h"
#include "support/ReleaseData.h"

using namespace e2e;

namespace {

// A free port on 127.0.0.1 at the time of asking.
int FreeLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(probe);
  return port;
}

bool Listening(int port) {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected =
      ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return connected;
}

// nginx in the foreground, one process, every path of its own in a temporary
// folder: it runs the same as root or not, and needs nothing of /etc or /var.
class TNginx {
 public:
  explicit TNginx(const QString& root) {
    const QString program =
        QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
    if (program.isEmpty() || !FFolder.isValid()) return;
    for (int attempt = 0; attempt < 3 && !FListening; ++attempt) {
      FPort = FreeLoopbackPort();
      WriteConfiguration(root);
      Start(program.toStdString());
      // Another process may take the port first: nginx then ends at once.
      FListening =
          QTest::qWaitFor([this] { return Listening(FPort) || Ended(); }, 10000) && !Ended();
      if (!FListening) Stop();
    }
  }
  ~TNginx() { Stop(); }

  bool Found() const { return FFolder.isValid() && FPid > 0; }
  bool Serving() const { return FListening; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }
  QByteArray Log() const { return Read("error.log"); }
  // The request lines nginx served, one a line.
  QByteArray AccessLog() const { return Read("access.log"); }

 private:
  QByteArray Read(const QString& name) const {
    QFile log(FFolder.filePath(name));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
  }
  void WriteConfiguration(const QString& root) {
    const QString folder = FFolder.path();
    QDir().mkpath(folder + "/temp");
    QFile file(folder + "/nginx.conf");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("daemon off;\n"
                              "master_process off;\n"
                              "pid %1/nginx.pid;\n"
                              "error_log %1/error.log;\n"
                              "events { worker_connections 16; }\n"
                              "http {\n"
                              "  log_format requests '$request';\n"
                              "  access_log %1/access.log requests;\n"
                              "  client_body_temp_path %1/temp/body;\n"
                              "  proxy_temp_path %1/temp/proxy;\n"
                              "  fastcgi_temp_path %1/temp/fastcgi;\n"
                              "  uwsgi_temp_path %1/temp/uwsgi;\n"
                              "  scgi_temp_path %1/temp/scgi;\n"
                              "  default_type application/octet-stream;\n"
                              "  server {\n"
                              "    listen 127.0.0.1:%2;\n"
                              "    root %3;\n"
                              "  }\n"
                              "}\n")
                   .arg(folder)
                   .arg(FPort)
                   .arg(root)
                   .toUtf8());
  }
  void Start(const std::string& program) {
    const std::string folder = FFolder.path().toStdString();
    const std::string output = folder + "/output.log";
    std::vector<std::string> args = {
        program, "-p", folder + "/", "-c", folder + "/nginx.conf", "-e", folder + "/error.log"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (::posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      FPid = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  bool Ended() {
    if (FPid <= 0) return true;
    if (::waitpid(FPid, nullptr, WNOHANG) != FPid) return false;
    FPid = 0;
    return true;
  }
  void Stop() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGTERM);  // a fast shutdown; only the process this object started
    ::waitpid(FPid, nullptr, 0);
    FPid = 0;
  }

  QTemporaryDir FFolder;
  pid_t FPid = 0;
  int FPort = 0;
  bool FListening = false;
};

// Runs quorvin-publish; its standard output, or a failed test.
QByteArray Publish(const QStringList& arguments) {
  QProcess tool;
  tool.start(QStringLiteral(QUORVIN_PUBLISH_TOOL), arguments);
  if (!tool.waitForFinished(30000) || tool.exitCode() != 0) {
    qWarning() << "quorvin-publish" << arguments << tool.readAllStandardError();
    return {};
  }
  return tool.readAllStandardOutput();
}

// The vendor's server tree: ModA's program and library, newer than installed.
struct TVendor {
  TInstallTree server;
  QString secretKey = server.Path("secret.key");
  std::string publicKey;

  TVendor() {
    publicKey = Publish({"keygen", secretKey}).trimmed().toStdString();
    server.File("www/download/allfiles.ini",
                IniText({"; published for the end-to-end test", "[modules]", "ModA=ModA.exe",
                         "[ModA]", "Main=1.0.002,ModA.exe", "Lib=1.0.002,Bin\\Lib.dll"}));
    server.File("www/download/ModA.exe", "new A program");
    server.File("www/download/Lib.dll", QByteArray(100000, 'L'));
  }
  bool Sign() { return !Publish({"sign", "--expires", "7", secretKey, Root()}).isEmpty(); }
  QString Root() const { return server.Path("www"); }
};

// The vendor of the rotation drill: root keys a, b and c of which two must
// sign, catalogue keys made as the drill goes, the first root built into the
// updater, and a catalogue that offers ModA's program at a version.
struct TDrillVendor {
  TInstallTree server;
  std::map<QString, std::string> publicKeys;

  QString Key(const QString& name) const { return server.Path("keys/" + name + ".key"); }
  QString FirstRoot() const { return server.Path("keys/first.root"); }
  QString Root(int version) const {
    return server.Path(QStringLiteral("www/download/root/%1.root").arg(version));
  }
  QString Www() const { return server.Path("www"); }
  void Keygen(const QString& name) {
    publicKeys[name] = Publish({"keygen", Key(name)}).trimmed().toStdString();
  }
  QString Labelled(const QString& name) {
    return name + ":" + QString::fromStdString(publicKeys[name]);
  }
  // The catalogue offers ModA's program at this version, signed with the key.
  bool Offer(const QString& version, const QString& catalogueKey) {
    server.File("www/download/allfiles.ini",
                IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=" + version + ",ModA.exe"}));
    server.File("www/download/ModA.exe", "A " + version.toLatin1());
    return !Publish({"sign", "--root", FirstRoot(), Key(catalogueKey), Www()}).isEmpty();
  }
  // What a thief of the key can do without the tool: sign any bytes.
  void Forge(const QByteArray& catalogue, const QString& stolenKey) {
    const std::string seed =
        *DecodeBase64(server.Read("keys/" + stolenKey + ".key").trimmed().toStdString());
    server.File("www/download/allfiles.ini", catalogue);
    server.File(
        "www/download/allfiles.ini.sig",
        QByteArray::fromStdString(EncodeBase64(SignEd25519(catalogue.toStdString(), seed)) + "\n"));
  }
};

// A vendor whose catalogue offers a patch from the installed release of
// ModA's library to the new one, built with the updater's own encoder and
// signed with the tests' key.
struct TPatchingVendor {
  TInstallTree server;
  std::string oldLib = releasedata::ProgramLike(1 << 20, 7);
  std::string newLib = releasedata::NextRelease(oldLib, 8);
  std::string patchPath =
      "download/" +
      engine::PatchPath("Lib.dll", engine::DigestPrefix(Sha256(oldLib)), Sha256(newLib));

  TPatchingVendor() {
    const std::string catalogue = "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=1.0.002,ModA.exe" +
                                  SignedFieldsOf("new A program") + "\r\nLib=1.0.002,Bin\\Lib.dll" +
                                  SignedFieldsOf(newLib) +
                                  ",zst,patch=" + engine::DigestPrefix(Sha256(oldLib)) +
                                  "\r\n[release]\r\nSerial=1\r\nExpires=2099-01-01T00:00:00Z\r\n";
    server.File("www/download/allfiles.ini", QByteArray::fromStdString(catalogue));
    server.File("www/download/allfiles.ini.sig",
                QByteArray::fromStdString(SignatureFile(catalogue)));
    server.File("www/download/ModA.exe", "new A program");
    server.File("www/download/Lib.dll", QByteArray::fromStdString(newLib));
    server.File("www/" + QString::fromStdString(patchPath),
                QByteArray::fromStdString(
                    engine::Patch(releasedata::Bytes(oldLib), releasedata::Bytes(newLib))));
  }
  QString Root() const { return server.Path("www"); }
};

void InstallModA(const TInstallTree& tree) {
  tree.File("A/ModA.exe", "old A");
  tree.File("A/Lib.dll", "old lib");
  tree.File("A/Version.ini", IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.001"}));
}

// Start-up, Next, and Update when rows were listed.
void NextAndUpdate(TEndToEnd& run) {
  if (!run.WaitForStartup()) return;
  run.ClickNext();
  if (!run.Rows().isEmpty()) run.ClickNext();
}

}  // namespace

class EndToEndNginxTest : public QObject {
  Q_OBJECT

 private slots:
  void signedTreeInstallsWhole() {
    TVendor vendor;
    QVERIFY(vendor.Sign());
    TNginx nginx(vendor.Root());
    if (!nginx.Found()) QSKIP("nginx is not installed");
    QVERIFY2(nginx.Serving(), nginx.Log().constData());
    TEndToEnd run;
    InstallModA(run.tree);
    run.catalogueKey = vendor.publicKey;
    run.CreateWindowFor(nginx.Url());
    const int result = run.Run([&run] { NextAndUpdate(run); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
    QCOMPARE(run.tree.Read("A/Lib.dll"), QByteArray(100000, 'L'));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.002", "Lib=1.0.002"}));
    QCOMPARE(run.tree.TopFiles(), (QStringList{"allfiles.ini", "catalogue-serial.txt"}));
  }

  // One component patched: the window's Next and Update install the new
  // library, and nginx served its patch, not the whole file.
  void patchedComponentFetchesOnlyThePatch() {
    TPatchingVendor vendor;
    TNginx nginx(vendor.Root());
    if (!nginx.Found()) QSKIP("nginx is not installed");
    QVERIFY2(nginx.Serving(), nginx.Log().constData());
    TEndToEnd run;
    InstallModA(run.tree);
    run.tree.File("A/Lib.dll", QByteArray::fromStdString(vendor.oldLib));
    run.catalogueKey = kTestPublicKey;
    run.CreateWindowFor(nginx.Url());
    QCOMPARE(run.Run([&run] { NextAndUpdate(run); }), 0);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.tree.Read("A/Lib.dll"), QByteArray::fromStdString(vendor.newLib));
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.002", "Lib=1.0.002"}));
    const QByteArray served = nginx.AccessLog();
    QVERIFY2(served.contains(QByteArray::fromStdString("GET /" + vendor.patchPath + " HTTP/1.1")),
             served.constData());
    QVERIFY2(!served.contains("GET /download/Lib.dll "), served.constData());
    QVERIFY2(served.contains("GET /download/ModA.exe "), served.constData());
  }

  void fileReplacedAfterSigningIsNotInstalled() {
    TVendor vendor;
    QVERIFY(vendor.Sign());
    vendor.server.File("www/download/Lib.dll", QByteArray(100000, 'X'));
    TNginx nginx(vendor.Root());
    if (!nginx.Found()) QSKIP("nginx is not installed");
    QVERIFY2(nginx.Serving(), nginx.Log().constData());
    TEndToEnd run;
    InstallModA(run.tree);
    run.catalogueKey = vendor.publicKey;
    run.CreateWindowFor(nginx.Url());
    QCOMPARE(run.Run([&run] { NextAndUpdate(run); }), 0);
    QCOMPARE(run.boxes, QStringList{kFinishedWithErrors +
                                    " These files failed their check and were not installed: "
                                    "Bin\\Lib.dll."});
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
    QCOMPARE(run.tree.Read("A/Lib.dll"), QByteArray("old lib"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.002", "Lib=1.0.001"}));
  }

  void tamperedCatalogueIsRefused() {
    TVendor vendor;
    QVERIFY(vendor.Sign());
    const QByteArray signedCatalogue = vendor.server.Read("www/download/allfiles.ini");
    vendor.server.File("www/download/allfiles.ini",
                       QByteArray(signedCatalogue).replace("Main=1.0.002", "Main=1.0.009"));
    TNginx nginx(vendor.Root());
    if (!nginx.Found()) QSKIP("nginx is not installed");
    QVERIFY2(nginx.Serving(), nginx.Log().constData());
    TEndToEnd run;
    InstallModA(run.tree);
    run.catalogueKey = vendor.publicKey;
    run.CreateWindowFor(nginx.Url());
    QCOMPARE(run.Run([&run] { NextAndUpdate(run); }), kStillRunning);
    QCOMPARE(run.boxes, QStringList{"error: The update catalogue could not be verified: its "
                                    "signature does not match."});
    QVERIFY(run.Rows().isEmpty());
    QCOMPARE(run.Status(), kConnecting);
    QVERIFY(run.form->buttonOK->isEnabled());
    QVERIFY(!run.form->HttpClient.Connected());
    QCOMPARE(run.tree.TopFiles(), QStringList{});
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.001"}));
  }

  // The README's rotation drill, with the real window against nginx: a
  // routine rotation of the catalogue key, the old key leaked and its
  // catalogues refused, and a root key lost with a threshold of 2 of 3.
  void rotationDrillAcrossThreeRoots() {
    TDrillVendor vendor;
    vendor.server.Folder("keys");
    for (const QString name : {"a", "b", "c", "d", "cat1", "cat2"}) vendor.Keygen(name);
    vendor.server.Folder("www/download/root");
    QVERIFY(!Publish({"root-create", "--root-threshold", "2", "--root-key", vendor.Labelled("a"),
                      "--root-key", vendor.Labelled("b"), "--root-key", vendor.Labelled("c"),
                      "--catalogue-key", vendor.Labelled("cat1"), vendor.FirstRoot()})
                 .isEmpty());
    QVERIFY(
        !Publish({"root-sign", vendor.Key("a"), vendor.Key("c"), vendor.FirstRoot()}).isEmpty());
    QVERIFY(vendor.Offer("1.0.002", "cat1"));
    TNginx nginx(vendor.Www());
    if (!nginx.Found()) QSKIP("nginx is not installed");
    QVERIFY2(nginx.Serving(), nginx.Log().constData());

    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    run.tree.File("A/Version.ini", IniText({"[ModA]", "Main=1.0.001"}));
    run.rootText = vendor.server.Read("keys/first.root").toStdString();
    run.rootSignatures = vendor.server.Read("keys/first.root.sig").toStdString();
    run.CreateWindowFor(nginx.Url());
    const auto update = [&run](const char* expected) {
      if (QTest::currentTestFailed()) return;
      QCOMPARE(run.Run([&run] { NextAndUpdate(run); }), 0);
      QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
      QCOMPARE(run.boxes, QStringList{kFinished});
      QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("A ") + expected);
      run.Restart();
    };
    update("1.0.002");

    // 1. Routine rotation: root 2 trusts cat2 instead of cat1.
    QVERIFY(!Publish({"root-next", "--catalogue-key", vendor.Labelled("cat2"), vendor.FirstRoot(),
                      vendor.Root(2)})
                 .isEmpty());
    QVERIFY(!Publish({"root-sign", vendor.Key("a"), vendor.Key("b"), vendor.Root(2)}).isEmpty());
    QVERIFY(vendor.Offer("1.0.003", "cat2"));
    update("1.0.003");
    QVERIFY(run.tree.TopFiles().contains("trusted-roots.txt"));

    // 2. cat1 leaked: what its thief signs is refused, whatever it offers.
    const QByteArray forged = IniText(
        {"[modules]", "ModA=ModA.exe", "[ModA]",
         "Main=9.9.999,ModA.exe," + QString::fromStdString(Sha256FieldOf("evil")) + ",size=4",
         "[release]", "Serial=18446744073709551615", "Expires=2099-01-01T00:00:00Z"});
    const QByteArray genuine = vendor.server.Read("www/download/allfiles.ini");
    const QByteArray genuineSignature = vendor.server.Read("www/download/allfiles.ini.sig");
    vendor.Forge(forged, "cat1");
    vendor.server.File("www/download/ModA.exe", "evil");
    QCOMPARE(run.Run([&run] { NextAndUpdate(run); }), kStillRunning);
    QCOMPARE(run.boxes, QStringList{"error: The update catalogue could not be verified: its "
                                    "signature does not match."});
    QVERIFY(run.Rows().isEmpty());
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("A 1.0.003"));
    vendor.server.File("www/download/allfiles.ini", genuine);
    vendor.server.File("www/download/allfiles.ini.sig", genuineSignature);
    run.Restart();

    // 3. Root key c is lost: a and b (2 of 3) make root 3 with d in its place.
    QVERIFY(!Publish({"root-next", "--root-key", vendor.Labelled("a"), "--root-key",
                      vendor.Labelled("b"), "--root-key", vendor.Labelled("d"), vendor.Root(2),
                      vendor.Root(3)})
                 .isEmpty());
    QVERIFY(
        !Publish({"root-sign", vendor.Key("a"), vendor.Key("b"), vendor.Key("d"), vendor.Root(3)})
             .isEmpty());
    QVERIFY(vendor.Offer("1.0.004", "cat2"));
    QVERIFY(!Publish({"verify", "--root", vendor.FirstRoot(), vendor.Www()}).isEmpty());
    update("1.0.004");
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.004"}));
    QCOMPARE(run.tree.Read("trusted-roots.txt").count("\r\n"), 2);
  }
};

QTEST_MAIN(EndToEndNginxTest)
#include "EndToEndNginx_test.moc"
