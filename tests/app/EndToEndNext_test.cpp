// Next, end to end: the real window over a temporary installation tree, the
// catalogue served from 127.0.0.1, the user pressing Next and answering boxes.
#include <netinet/in.h>
#include <sys/socket.h>

#include "EndToEndFixture.h"

using namespace e2e;

namespace {

// A port on 127.0.0.1 on which nothing listens: bound, read and closed again.
int ClosedPort() {
  const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(handle);
  return ntohs(address.sin_port);
}

// Six candidate folders A..F: the scan lists them at positions 0..5.
void SixFolders(const TInstallTree& tree) {
  for (const char* name : {"A", "B", "C", "D", "E", "F"}) tree.Folder(name);
}

// The client reports a body's progress once per block of this many bytes.
constexpr int kBlock = 32768;

}  // namespace

class EndToEndNextTest : public QObject {
  Q_OBJECT

 private slots:
  void nothingInstalledEndsWithTheUpToDateBox() {
    TEndToEnd run;
    SixFolders(run.tree);
    // Beside the updater itself does not count: only folders below it do.
    run.tree.File("ModA.exe", "program");
    run.server.AddFile(
        "/download/allfiles.ini",
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=9.0.000,ModA.exe"}).toStdString());
    const int result = run.Run([&run] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kUpToDate});
    QCOMPARE(run.Status(), kUpToDate);
    QCOMPARE(run.form->LB->Count(), 0);
    // The catalogue copy stays until the next start.
    QCOMPARE(run.tree.Read("allfiles.ini"),
             IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=9.0.000,ModA.exe"}));
  }

  // A duplicated module is listed even when up to date, a component whose
  // file is missing is not, a copy held open is listed unchecked and
  // disabled, and a double click names the module's folders.
  void rowsForDuplicatesMissingFilesAndFilesInUse() {
    TEndToEnd run;
    SixFolders(run.tree);
    run.tree.File("C/ModA.exe", "old A");
    run.tree.File("C/Version.ini", IniText({"[ModA]", "Main=1.2.003"}));
    run.tree.File("F/ModA.exe", "old A");
    run.tree.File("F/Version.ini", IniText({"[ModA]", "Main=1.0.000"}));  // only C's counts
    run.tree.File("A/ModB.exe", "old B");
    run.tree.File("A/Lib.dll", "old lib");
    run.server.AddFile("/download/allfiles.ini",
                       IniText({"[modules]", "ModA=ModA.exe", "ModB=ModB.exe", "ModC=ModC.exe",
                                "[ModA]", "Main=1.2.003,ModA.exe", "Help=2.0.000,Docs\\Help.dll",
                                "[ModB]", "Lib=1.0.002,Lib.dll", "[ModC]", "Main=9.0.000,ModC.exe"})
                           .toStdString());
    TFileHolder holder(run.tree.Path("A/Lib.dll"));
    QVERIFY(holder.WaitUntilHolding());

    QString report;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Status() == kChoose, "status line after Next: " + run.Status());
      run.Expect(run.form->buttonOK->text() == "Update", "Next became Update");
      // The user double-clicks the first row's text.
      QWidget* rows = run.form->LB->viewport();
      const QPoint onText = run.form->LB->ItemRect(0).center();
      run.onBox = [&report](const QString& text) { report = text; };
      // A double click reaches the list as a press, then the double click.
      QTest::mouseClick(rows, Qt::LeftButton, {}, onText);
      QTest::mouseDClick(rows, Qt::LeftButton, {}, onText);
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QCOMPARE(run.Rows(), (QStringList{"ModA,Main,ModA.exe,ModA.exe,1.2.003,1.2.003,Y,N,2|5",
                                      "ModB,Lib,ModB.exe,Lib.dll,1.0.001,1.0.002,N,Y,0"}));
    QVERIFY(run.form->LB->Checked(0));
    QVERIFY(run.form->LB->ItemEnabled(0));
    QVERIFY(!run.form->LB->Checked(1));
    QVERIFY(!run.form->LB->ItemEnabled(1));
    QVERIFY(run.form->historyButton->isEnabled());
    QCOMPARE(report, "The program is in the following folder(s)\r\n" + run.tree.Path("C/") +
                         "\r\n" + run.tree.Path("F/") + "\r\n");
    QCOMPARE(run.boxes.size(), 1);
    // Both rows need the user's care, so both are drawn in red.
    for (int row : {0, 1}) {
      const auto ink = run.RowInk(row);
      QVERIFY2(ink.red > 50 && ink.black == 0, qPrintable(QString::number(row)));
    }
  }

  void programAndVersionFilesAreFoundInAnyLetterCase() {
    TEndToEnd run;
    run.tree.File("A/ModA.EXE", "old");
    run.tree.File("A/Report.DLL", "old report");
    run.tree.File("A/VERSION.INI", IniText({"[moda]", "REPORT=1.0.000"}));
    run.server.AddFile("/download/allfiles.ini", IniText({"[modules]", "ModA=moda.exe", "[ModA]",
                                                          "Report=1.0.001,report.dll"})
                                                     .toStdString());
    const int result = run.Run([&run] {
      if (run.WaitForStartup()) run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QCOMPARE(run.Rows(), QStringList{"ModA,Report,moda.exe,report.dll,1.0.000,1.0.001,N,N,0"});
    QVERIFY(run.boxes.isEmpty());
    const auto ink = run.RowInk(0);  // an ordinary row: black text
    QVERIFY(ink.black > 50);
    QCOMPARE(ink.red, 0);
  }

  // A refused fetch and an error status both leave Next as it was, and a
  // second press works once the server answers.
  void failedCatalogueFetchLeavesNextUsable_data() {
    QTest::addColumn<bool>("portClosed");
    QTest::newRow("error status") << false;
    QTest::newRow("port closed") << true;
  }
  void failedCatalogueFetchLeavesNextUsable() {
    QFETCH(bool, portClosed);
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old");
    if (portClosed) run.CreateWindowFor("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
    const int result = run.Run([&run, portClosed] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Status() == kConnecting, "status after the failure: " + run.Status());
      run.Expect(run.form->buttonOK->isEnabled() && run.form->buttonOK->text() == "Next",
                 "Next still usable");
      run.Expect(run.form->historyButton->isEnabled(), "History still usable");
      if (portClosed) return;
      // The server comes back; Next is pressed again and lists the update.
      run.server.AddFile(
          "/download/allfiles.ini",
          IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.0.002,ModA.exe"}).toStdString());
      run.ClickNext();
      run.Expect(run.Status() == kChoose, "status after the second Next: " + run.Status());
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes[0].startsWith("error: "), qPrintable(run.boxes[0]));
    if (portClosed) {
      QVERIFY2(run.boxes[0].contains("10061"), qPrintable(run.boxes[0]));
      QCOMPARE(run.form->LB->Count(), 0);
    } else {
      QVERIFY2(run.boxes[0].contains("404"), qPrintable(run.boxes[0]));
      QCOMPARE(run.Rows(), QStringList{"ModA,Main,ModA.exe,ModA.exe,1.0.001,1.0.002,N,N,0"});
    }
  }

  // Exit while the catalogue arrives cuts the transfer at its next progress
  // event.  What had arrived is no catalogue to act on (a cut entry could
  // offer a wrong version), so the listing stops quietly with Next still
  // usable, and a second Exit, with the connection now closed, ends the
  // program.
  void exitDuringTheCatalogueFetch() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    run.tree.File("B/ModB.exe", "old B");
    const QByteArray head =
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.0.002,ModA.exe"});
    const QByteArray filler = QByteArray("\r\n").repeated(kBlock / 2);  // one block of blank lines
    const QByteArray neverSent = IniText({"[ModB]", "Main=9.0.000,ModB.exe"});
    run.server.AddConnection(
        ConnectionScript()
            .ExpectRequest()
            .Send(("HTTP/1.1 200 OK\r\nContent-Length: " +
                   QByteArray::number(head.size() + filler.size() + neverSent.size()) + "\r\n\r\n" +
                   head)
                      .toStdString())
            .Stall()
            .Send(filler.toStdString()));
    bool exitPressed = false;
    bool stayed = false;
    QTimer watcher;  // the user, watching the catalogue begin to arrive
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (exitPressed || run.Requests("/download/allfiles.ini") == 0) return;
      exitPressed = true;
      run.ClickExit();
      stayed = !run.form->TerminationRequested();
      run.server.Release();
    });
    QString statusAfterNext;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      watcher.start(1);
      run.ClickNext();
      watcher.stop();
      statusAfterNext = run.Status();
      run.ClickExit();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(exitPressed);
    QVERIFY(stayed);
    QCOMPARE(result, 0);
    QCOMPARE(statusAfterNext, kConnecting);
    QCOMPARE(run.form->LB->Count(), 0);
    QVERIFY(!run.tree.Exists("allfiles.ini"));
    QVERIFY(run.boxes.isEmpty());
    QVERIFY(run.form->buttonOK->isEnabled());
  }

  // The server answers the catalogue with an error status and keeps the
  // connection: Exit, pressed then, still ends the program.
  void exitAfterAFailedFetchEndsTheProgram() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old");
    bool ended = false;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.ClickExit();
      ended = run.form->TerminationRequested();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(ended);
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes.size(), 1);
  }

  // Next pressed again while the catalogue is still arriving must not start
  // a second listing inside the first (the client serves one request at a
  // time), nor start the downloads once the first has made it "Update".
  void secondNextDuringTheFetch() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    const QByteArray catalogue =
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.0.002,ModA.exe"});
    const QByteArray filler = QByteArray("\r\n").repeated(kBlock / 2);
    run.server.AddConnection(
        ConnectionScript()
            .ExpectRequest()
            .Send(("HTTP/1.1 200 OK\r\nContent-Length: " +
                   QByteArray::number(catalogue.size() + filler.size()) + "\r\n\r\n" + catalogue)
                      .toStdString())
            .Stall()
            .Send(filler.toStdString()));
    bool pressedAgain = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (pressedAgain || run.Requests("/download/allfiles.ini") == 0) return;
      pressedAgain = true;
      run.ClickNext();
      run.server.Release();
    });
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      watcher.start(1);
      run.ClickNext();
      watcher.stop();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(pressedAgain);
    QCOMPARE(result, kStillRunning);
    QVERIFY2(run.boxes.isEmpty(), qPrintable(run.boxes.join("; ")));
    QCOMPARE(run.Rows(), QStringList{"ModA,Main,ModA.exe,ModA.exe,1.0.001,1.0.002,N,N,0"});
    QCOMPARE(run.Status(), kChoose);
    QCOMPARE(run.form->buttonOK->text(), QStringLiteral("Update"));
    QCOMPARE(run.Requests("/download/allfiles.ini"), 1);
    QCOMPARE(run.Requests("/download/ModA.exe"), 0);
  }

  // The server closes the catalogue's connection: Exit while the list is
  // shown ends the program at once.
  void exitWhileChoosingAfterTheServerClosed() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    run.server.AddRoute(
        "/download/allfiles.ini",
        Response(IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.0.002,ModA.exe"}),
                 "Connection: close\r\n")
            .toStdString());
    bool ended = false;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Status() == kChoose, "the list is shown");
      // The close travels to the client while the user reads the list.
      run.WaitUntil(
          [&run] { return run.server.ClientClosed(0) || !run.form->HttpClient.Connected(); },
          "server closed");
      run.ClickExit();
      ended = run.form->TerminationRequested();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(ended);
    QCOMPARE(result, 0);
  }

  // "1.2" installed: against "1.3.000" the minor component decides, against
  // "1.2.000" the missing build component is an index error that leaves only
  // Exit usable, with the rows listed so far; Exit then ends the program.
  void shortInstalledVersion() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old");
    run.tree.File("A/Version.ini", IniText({"[ModA]", "Newer=1.2", "Same=1.2"}));
    run.server.AddFile("/download/allfiles.ini",
                       IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Newer=1.3.000,ModA.exe",
                                "Same=1.2.000,ModA.exe"})
                           .toStdString());
    QStringList stateAfterError;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      stateAfterError << run.Status() << (run.form->buttonOK->isEnabled() ? "next" : "-")
                      << (run.form->historyButton->isEnabled() ? "history" : "-")
                      << (run.form->cancelButton->isEnabled() ? "exit" : "-");
      run.ClickExit();  // the one button left ends the program
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(stateAfterError, (QStringList{kConnecting, "-", "-", "exit"}));
    QCOMPARE(run.boxes, QStringList{"error: List index out of bounds (2)"});
    QCOMPARE(run.Rows(), QStringList{"ModA,Newer,ModA.exe,ModA.exe,1.2,1.3.000,N,N,0"});
  }
};

QTEST_MAIN(EndToEndNextTest)
#include "EndToEndNext_test.moc"
