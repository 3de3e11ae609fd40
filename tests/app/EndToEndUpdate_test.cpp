// Update, end to end: the real window lists the updates, the user presses
// Update, the files come from 127.0.0.1 and land in the installation tree.
#include "EndToEndFixture.h"
#include "support/SanitizerSlowdown.h"
#include "util/Sha256.h"

using namespace e2e;

namespace {

const QByteArray kTwoComponents = IniText(
    {"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.00.010,ModA.exe", "Lib=1.0.002,Bin\\Lib.dll"});

void InstallModA(const TInstallTree& tree, const QString& folder) {
  tree.File(folder + "/ModA.exe", "old A");
  tree.File(folder + "/Lib.dll", "old lib in " + folder.toUtf8());
  tree.File(folder + "/Version.ini", IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.001"}));
}

// The client reports a body's progress once per block of this many bytes.
constexpr int kBlock = 32768;

}  // namespace

class EndToEndUpdateTest : public QObject {
  Q_OBJECT

 private slots:
  // The first body arrives whole and is installed; the second is one byte
  // short and the third comes without a length, so they fail their check,
  // are deleted at once, and the final box names them.
  void goodBodyInstalledShortBodyDeletedAndNamed() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.tree.File("A/Doc.txt", "old doc");
    run.server.AddFile("/download/allfiles.ini",
                       (kTwoComponents + IniText({"Doc=1.0.002,Doc.txt"})).toStdString());
    run.server.AddRoute("/download/Doc.txt",
                        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nwhole doc");
    run.server.AddFile("/download/ModA.exe", "new A program");
    run.server.AddRoute("/download/Lib.dll",
                        "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\n"
                        "eleven byte");
    const int result = run.Run([&run] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Rows().size() == 3, "three rows listed");
      run.ClickNext();  // now Update
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    // Both failed their length check: their partial downloads are gone,
    // and the closing text names them as the list shows them.
    const QString named = kFinishedWithErrors +
                          " These files failed their check and were not installed: "
                          "Bin\\Lib.dll, Doc.txt.";
    QCOMPARE(run.boxes, QStringList{named});
    QCOMPARE(run.Status(), named);
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
    QCOMPARE(run.tree.Read("A/Lib.dll"), QByteArray("old lib in A"));
    // The version text goes in as the catalogue wrote it, leading zeros kept.
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.00.010", "Lib=1.0.001"}));
    QCOMPARE(run.tree.Read("A/Doc.txt"), QByteArray("old doc"));
    QCOMPARE(run.tree.TopFiles(), (QStringList{"allfiles.ini"}));
    // The folders in front of a component's name are not part of its download path.
    QCOMPARE(run.Requests("/download/Lib.dll"), 1);
    QCOMPARE(run.Requests("/download/ModA.exe"), 1);
  }

  void noCheckedRowFetchesNothing() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.server.AddFile("/download/allfiles.ini", kTwoComponents.toStdString());
    const int result = run.Run([&run] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      // The user clears both check boxes.
      TCheckListBox* list = run.form->LB;
      for (int row = 0; row < list->Count(); ++row) {
        const QRect rect = list->ItemRect(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + list->CheckWidth() / 2, rect.center().y()));
      }
      run.Expect(list->Count() == 2 && !list->Checked(0) && !list->Checked(1), "rows unchecked");
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.Requests("/download/ModA.exe") + run.Requests("/download/Lib.dll"), 0);
    QVERIFY(run.form->pb1->isHidden());
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("old A"));
  }

  // Exit while the second of three files is arriving cuts it at once: the
  // second stays partial with the bytes that had arrived, the first stays
  // staged with its companion, the third is never asked for, and only a
  // second Exit ends the program.
  void exitDuringTheSecondOfThreeTransfers() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    for (const char* name : {"One.dll", "Two.dll", "Three.dll"})
      run.tree.File(QString("A/") + name, "old");
    const QByteArray catalogue =
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "One=2.0.000,One.dll",
                 "Two=2.0.000,Two.dll", "Three=2.0.000,Three.dll"});
    run.server.AddConnection(ConnectionScript()
                                 .ExpectRequest()
                                 .Send(Response(catalogue).toStdString())
                                 .ExpectRequest()
                                 .Send(Response("new one").toStdString())
                                 .ExpectRequest()
                                 .Send("HTTP/1.1 200 OK\r\nContent-Length: 65546\r\n\r\n0123456789")
                                 .Stall()
                                 .Send(std::string(kBlock, 'x')));

    bool exitPressed = false;
    bool stayedAfterFirstExit = false;
    QTimer watcher;  // the user, watching the second transfer begin
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (exitPressed || run.Requests("/download/Two.dll") == 0) return;
      exitPressed = true;
      run.ClickExit();
      stayedAfterFirstExit = !run.form->TerminationRequested() && run.form->Tag() == 99;
    });
    QStringList stateAfterAbort;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Rows().size() == 3, "three rows listed");
      watcher.start(1);
      run.ClickNext();  // Update: returns once the run has stopped
      watcher.stop();
      stateAfterAbort << run.Status() << (run.form->TerminationRequested() ? "ended" : "open")
                      << (run.form->buttonOK->isEnabled() ? "update" : "-")
                      << (run.form->historyButton->isEnabled() ? "history" : "-")
                      << (run.form->cancelButton->isEnabled() ? "exit" : "-")
                      << (run.form->pb1->isVisible() ? "bar" : "-");
      run.ClickExit();  // the connection is closed now: this one ends the run
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QVERIFY(exitPressed);
    QVERIFY(stayedAfterFirstExit);
    QCOMPARE(run.boxes, QStringList{kAborted});
    QCOMPARE(stateAfterAbort, (QStringList{kAborted, "open", "-", "-", "exit", "-"}));
    QCOMPARE(run.tree.TopFiles(),
             (QStringList{"One.dll.V.2.0.000", "One.dll.{F}", "Two.dll.{S}", "allfiles.ini"}));
    QCOMPARE(run.tree.Read("One.dll.{F}"), QByteArray("new one"));
    // The companion records what the staged file was checked against.
    QCOMPARE(run.tree.Read("One.dll.V.2.0.000"),
             QByteArray("ModA\r\nOne\r\n2.0.000\r\nModA.exe\r\nsha256=") +
                 QByteArray::fromStdString(DigestHex(Sha256("new one"))) + "\r\nsize=7\r\n");
    QCOMPARE(run.tree.Read("Two.dll.{S}"), QByteArray("0123456789"));
    QCOMPARE(run.tree.Read("A/One.dll"), QByteArray("old"));  // installed only at the next start
    QCOMPARE(run.Requests("/download/Three.dll"), 0);
    QCOMPARE(run.server.ConnectionsAccepted(), 1);

    // The next start installs what was staged and clears the rest away.
    run.Restart();
    QCOMPARE(run.Run([&run] { run.WaitForStartup(); }), kStillRunning);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.boxes, QStringList{kPending});
    QCOMPARE(run.tree.Read("A/One.dll"), QByteArray("new one"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "One=2.0.000"}));
    QCOMPARE(run.tree.Read("A/Two.dll"), QByteArray("old"));
    QVERIFY(run.tree.TopFiles().isEmpty());
  }

  // A transfer that fails ends the Update run with the error report and only
  // Exit left; what was staged before it is installed by the next start.
  void failedTransferKeepsEarlierFilesForTheNextStart() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.server.AddFile("/download/allfiles.ini", kTwoComponents.toStdString());
    run.server.AddFile("/download/ModA.exe", "new A program");  // Lib.dll: 404
    QStringList stateAfterError;
    bool endedByExit = false;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.ClickNext();
      stateAfterError << (run.form->buttonOK->isEnabled() ? "update" : "-")
                      << (run.form->historyButton->isEnabled() ? "history" : "-")
                      << (run.form->cancelButton->isEnabled() ? "exit" : "-")
                      << (run.form->pb1->isVisible() ? "bar" : "-");
      // The one button left must work, whether or not the server would
      // have kept the connection open after the error.
      run.ClickExit();
      endedByExit = run.form->TerminationRequested();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes[0].startsWith("error: ") && run.boxes[0].contains("404"),
             qPrintable(run.boxes[0]));
    QCOMPARE(stateAfterError, (QStringList{"-", "-", "exit", "bar"}));
    QVERIFY(endedByExit);
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("old A"));
    QCOMPARE(run.tree.TopFiles(),
             (QStringList{"ModA.exe.V.1.00.010", "ModA.exe.{F}", "allfiles.ini"}));

    run.Restart();
    QCOMPARE(run.Run([&run] { run.WaitForStartup(); }), kStillRunning);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.boxes, QStringList{kPending});
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.00.010", "Lib=1.0.001"}));
    QVERIFY(run.tree.TopFiles().isEmpty());
  }

  // Exit during a download that trickles in (a piece every 50 ms, so a
  // block takes 1.6 s) is handled within a tenth of a second and cuts the
  // transfer itself: "Download Aborted" follows at once, not blocks later.
  void exitDuringATricklingDownloadAbortsAtOnce() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    run.tree.File("A/Slow.dll", "old");
    const QByteArray catalogue =
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Slow=2.0.000,Slow.dll"});
    run.server.AddConnection(ConnectionScript()
                                 .ExpectRequest()
                                 .Send(Response(catalogue).toStdString())
                                 .ExpectRequest()
                                 .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n")
                                 .Trickle(std::string(2 * kBlock, 's'), 1024, 50));
    QTimer user;  // presses Exit as soon as the body is arriving
    QObject::connect(&user, &QTimer::timeout, [&] {
      if (!run.form->HttpClient.Transferring()) return;
      user.stop();
      run.ClickExit();
    });
    QElapsedTimer sinceUpdate;
    qint64 abortedAfterMs = -1;
    run.onBox = [&](const QString& text) {
      if (text == kAborted) abortedAfterMs = sinceUpdate.elapsed();
    };
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      user.start(1);
      sinceUpdate.start();
      run.ClickNext();  // Update
      run.ClickExit();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kAborted});
    QVERIFY2(abortedAfterMs >= 0 && abortedAfterMs < 1000 * kSanitizerSlowdown,
             qPrintable(QString::number(abortedAfterMs)));
    QCOMPARE(run.tree.Read("A/Slow.dll"), QByteArray("old"));
    QVERIFY(run.tree.Exists("Slow.dll.{S}"));
  }

  // Exit while the list is shown and the server keeps the connection open
  // only raises the flag; Update clears it and runs to its end.
  void exitWhileChoosingThenUpdate() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.server.AddFile(
        "/download/allfiles.ini",
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Main=1.0.002,ModA.exe"}).toStdString());
    run.server.AddFile("/download/ModA.exe", "new A program");
    bool stayed = false;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.ClickExit();
      stayed = !run.form->TerminationRequested() && run.form->Tag() == 99;
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(stayed);
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.tree.Read("A/ModA.exe"), QByteArray("new A program"));
  }

  // Two modules ship a file of the same name: each copy goes into its own
  // module's folder with its own module's version.
  void sameFileNameInTwoModules() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "A");
    run.tree.File("A/Report.dll", "old report A");
    run.tree.File("B/ModB.exe", "B");
    run.tree.File("B/Report.dll", "old report B");
    run.server.AddFile(
        "/download/allfiles.ini",
        IniText({"[modules]", "ModA=ModA.exe", "ModB=ModB.exe", "[ModA]",
                 "Report=2.0.000,Report.dll", "[ModB]", "Report=3.0.000,Shared\\Report.dll"})
            .toStdString());
    run.server.AddFile("/download/Report.dll", "new report");
    const int result = run.Run([&run] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Rows().size() == 2, "two rows listed");
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.tree.Read("A/Report.dll"), QByteArray("new report"));
    QCOMPARE(run.tree.Read("B/Report.dll"), QByteArray("new report"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Report=2.0.000"}));
    QCOMPARE(run.tree.Read("B/Version.ini"), IniText({"[ModB]", "Report=3.0.000"}));
    QCOMPARE(run.Requests("/download/Report.dll"), 2);
    QCOMPARE(run.tree.TopFiles(), QStringList{"allfiles.ini"});
  }

  // A companion file an earlier run left for another version of the same
  // file does not describe the file staged now.
  void staleCompanionIsNotTakenForTheNewOne() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.tree.File("Lib.dll.V.1.0.000", "ModA\r\nLib\r\n1.0.000\r\nModA.exe\r\n");
    run.tree.File("Lib.dll.V.0.9.000", "ModA\r\nOld\r\n0.9.000\r\nModA.exe\r\n");
    run.server.AddFile(
        "/download/allfiles.ini",
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Lib=1.0.002,Lib.dll"}).toStdString());
    run.server.AddFile("/download/Lib.dll", "new lib");
    const int result = run.Run([&run] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QCOMPARE(run.tree.Read("A/Lib.dll"), QByteArray("new lib"));
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.002"}));
    QVERIFY(!run.tree.Exists("Lib.dll.V.1.0.002"));
    QVERIFY(!run.tree.Exists("Lib.dll.{F}"));
  }

  // Closing the window while a file arrives lets the Update run finish in
  // the window: a large file arrives byte for byte, the next one too, the row
  // whose copy is in use is never fetched, "Finished. " comes over the window,
  // and then the program ends.
  void closingTheWindowDuringUpdateLetsItFinish() {
    TEndToEnd run;
    run.tree.File("A/ModA.exe", "old A");
    run.tree.File("A/Big.dat", "old big");
    run.tree.File("A/Small.dll", "old small");
    run.tree.File("A/Busy.dll", "old busy");
    QByteArray big(100000, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
    const QByteArray catalogue =
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Big=2.0.000,Big.dat",
                 "Busy=2.0.000,Busy.dll", "Small=2.0.000,Small.dll"});
    const QByteArray bigResponse = Response(big);
    const int firstPiece = bigResponse.size() - 60000;
    run.server.AddConnection(ConnectionScript()
                                 .ExpectRequest()
                                 .Send(Response(catalogue).toStdString())
                                 .ExpectRequest()
                                 .Send(bigResponse.left(firstPiece).toStdString())
                                 .Stall()
                                 .Send(bigResponse.mid(firstPiece).toStdString())
                                 .ExpectRequest()
                                 .Send(Response("new small").toStdString()));
    TFileHolder holder(run.tree.Path("A/Busy.dll"));
    QVERIFY(holder.WaitUntilHolding());
    bool closed = false;
    QTimer watcher;  // the user, closing the window once the big file comes
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (closed || run.Requests("/download/Big.dat") == 0) return;
      closed = true;
      run.form->close();
      run.Expect(run.form->isVisible(), "window kept after the close");
      run.server.Release();
    });
    run.onBox = [&run](const QString&) {
      QWidget* box = QApplication::activeModalWidget();
      run.Expect(run.form->isVisible() && box && box->parentWidget() == run.form.get(),
                 "final box over the window");
    };
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Rows().size() == 3, "three rows listed");
      watcher.start(1);
      run.ClickNext();
      watcher.stop();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(closed);
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, QStringList{kFinished});
    QVERIFY(run.tree.Read("A/Big.dat") == big);
    QCOMPARE(run.tree.Read("A/Small.dll"), QByteArray("new small"));
    QCOMPARE(run.tree.Read("A/Busy.dll"), QByteArray("old busy"));
    QCOMPARE(run.Requests("/download/Busy.dll"), 0);
    QCOMPARE(run.tree.Read("A/Version.ini"), IniText({"[ModA]", "Big=2.0.000", "Small=2.0.000"}));
    QCOMPARE(run.tree.TopFiles(), QStringList{"allfiles.ini"});
  }

  // A module in folders 2 and 5: the update goes into folder 2, unless the
  // copy there is in use when Update runs; then folder 5 gets it, and the
  // run says that a file could not be installed.
  void moduleInTwoFolders_data() {
    QTest::addColumn<bool>("firstCopyInUse");
    QTest::newRow("first copy free") << false;
    QTest::newRow("first copy in use") << true;
  }
  void moduleInTwoFolders() {
    QFETCH(bool, firstCopyInUse);
    TEndToEnd run;
    for (const char* name : {"A", "B", "C", "D", "E", "F"}) run.tree.Folder(name);
    InstallModA(run.tree, "C");
    InstallModA(run.tree, "F");
    run.server.AddFile(
        "/download/allfiles.ini",
        IniText({"[modules]", "ModA=ModA.exe", "[ModA]", "Lib=1.0.002,Lib.dll"}).toStdString());
    run.server.AddFile("/download/Lib.dll", "new lib");
    std::unique_ptr<TFileHolder> holder;
    const int result = run.Run([&] {
      if (!run.WaitForStartup()) return;
      run.ClickNext();
      run.Expect(run.Rows() == QStringList{"ModA,Lib,ModA.exe,Lib.dll,1.0.001,1.0.002,Y,N,2|5"},
                 "the row: " + run.Rows().join(";"));
      if (firstCopyInUse) {  // the user starts the program in folder C meanwhile
        holder = std::make_unique<TFileHolder>(run.tree.Path("C/Lib.dll"));
        if (!holder->WaitUntilHolding()) return run.Fail("holder started");
      }
      run.ClickNext();
    });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    // The copy in C was not replaced: the user hears of it.
    QCOMPARE(run.boxes, QStringList{firstCopyInUse ? kFinished + kInUse : kFinished});
    const QString installed = firstCopyInUse ? "F" : "C";
    const QString untouched = firstCopyInUse ? "C" : "F";
    QCOMPARE(run.tree.Read(installed + "/Lib.dll"), QByteArray("new lib"));
    QCOMPARE(run.tree.Read(installed + "/Version.ini"),
             IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.002"}));
    QCOMPARE(run.tree.Read(untouched + "/Lib.dll"), "old lib in " + untouched.toUtf8());
    QCOMPARE(run.tree.Read(untouched + "/Version.ini"),
             IniText({"[ModA]", "Main=1.0.001", "Lib=1.0.001"}));
    QCOMPARE(run.tree.TopFiles(), QStringList{"allfiles.ini"});
  }
};

QTEST_MAIN(EndToEndUpdateTest)
#include "EndToEndUpdate_test.moc"
