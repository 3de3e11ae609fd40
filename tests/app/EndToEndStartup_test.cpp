// The start-up step, end to end: what an earlier run left in the program
// folder is tidied away or installed before the user may press Next.
#include "EndToEndFixture.h"

using namespace e2e;

namespace {

// Two staged files with their companions, as an interrupted Update leaves them.
void StageTwoFiles(const TInstallTree& tree) {
  tree.File("Report.dll.{F}", "new report");
  tree.File("Report.dll.V.2.1.005", "ModA\r\nMain\r\n2.1.005\r\nModA.exe\r\n");
  tree.File("Help.dll.{F}", "new help");
  tree.File("Help.dll.V.3.0.000", "ModA\r\nHelp\r\n3.0.000\r\nModA.exe\r\n");
}

void InstallModA(const TInstallTree& tree, const QString& folder) {
  tree.File(folder + "/ModA.exe", "program");
  tree.File(folder + "/Report.dll", "old report");
  tree.File(folder + "/Help.dll", "old help");
}

}  // namespace

class EndToEndStartupTest : public QObject {
  Q_OBJECT

 private slots:
  void leftoversGoOnlyFromTheProgramFolder() {
    TEndToEnd run;
    run.tree.File("AllFiles.ini", "[modules]\r\n");
    run.tree.File("x.{s}", "partial");
    run.tree.File("Prog.exe.{S}", "partial");
    run.tree.File(".hidden.{S}", "partial");
    run.tree.File("keep.txt", "mine");
    run.tree.File("Lib.dll.V.1.0.002", "ModA\r\nLib\r\n1.0.002\r\nModA.exe\r\n");  // no staged file
    run.tree.File("A/allfiles.ini", "[modules]\r\n");
    run.tree.File("A/z.{s}", "not ours");
    const int result = run.Run([&run] { run.WaitForStartup(); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(run.Status(), kReady);
    QCOMPARE(run.tree.TopFiles(), (QStringList{"Lib.dll.V.1.0.002", "keep.txt"}));
    QVERIFY(run.tree.Exists("A/allfiles.ini"));
    QVERIFY(run.tree.Exists("A/z.{s}"));
  }

  void stagedFilesInstalledAfterOneBox() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    StageTwoFiles(run.tree);
    const int result = run.Run([&run] { run.WaitForStartup(); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QCOMPARE(run.boxes, QStringList{kPending});
    QCOMPARE(run.Status(), kReady);
    QCOMPARE(run.tree.Read("A/Report.dll"), QByteArray("new report"));
    QCOMPARE(run.tree.Read("A/Help.dll"), QByteArray("new help"));
    const QByteArray versions = run.tree.Read("A/Version.ini");
    QVERIFY2(versions.startsWith("[ModA]\r\n") && versions.contains("\r\nMain=2.1.005\r\n") &&
                 versions.contains("\r\nHelp=3.0.000\r\n"),
             versions.constData());
    QVERIFY(run.tree.TopFiles().isEmpty());
    QVERIFY(run.form->buttonOK->isEnabled());
  }

  // The only copy of one file is in use: two boxes, the run ends, and what
  // could not be installed waits for the next start.
  void failedMoveShowsTwoBoxesAndEndsTheRun() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    StageTwoFiles(run.tree);
    TFileHolder holder(run.tree.Path("A/Report.dll"));
    QVERIFY(holder.WaitUntilHolding());
    const int result = run.Run([&run] { run.WaitForStartup(); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, (QStringList{kPending, kInUse}));
    QCOMPARE(run.Status(), kReady);  // set even though the run ends
    QCOMPARE(run.tree.Read("A/Report.dll"), QByteArray("old report"));
    QCOMPARE(run.tree.Read("A/Help.dll"), QByteArray("new help"));
    QCOMPARE(run.tree.TopFiles(), (QStringList{"Report.dll.V.2.1.005", "Report.dll.{F}"}));
    QCOMPARE(run.tree.Read("Report.dll.{F}"), QByteArray("new report"));
  }

  // Installed in folders 2 and 5 with the copy in 2 in use: folder 5 takes
  // the file, yet the failed attempt on folder 2 still counts, so the user
  // is told to close the programs and the run ends.
  void firstFolderInUseSecondFolderTakesTheFile() {
    TEndToEnd run;
    for (const char* name : {"A", "B", "C", "D", "E", "F"}) run.tree.Folder(name);
    InstallModA(run.tree, "C");
    InstallModA(run.tree, "F");
    run.tree.File("Report.dll.{F}", "new report");
    run.tree.File("Report.dll.V.2.1.005", "ModA\r\nMain\r\n2.1.005\r\nModA.exe\r\n");
    TFileHolder holder(run.tree.Path("C/Report.dll"));
    QVERIFY(holder.WaitUntilHolding());
    const int result = run.Run([&run] { run.WaitForStartup(); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, 0);
    QCOMPARE(run.boxes, (QStringList{kPending, kInUse}));
    QCOMPARE(run.tree.Read("C/Report.dll"), QByteArray("old report"));
    QVERIFY(!run.tree.Exists("C/Version.ini"));
    QCOMPARE(run.tree.Read("F/Report.dll"), QByteArray("new report"));
    QCOMPARE(run.tree.Read("F/Version.ini"), IniText({"[ModA]", "Main=2.1.005"}));
    QVERIFY(run.tree.TopFiles().isEmpty());
  }

  // A staged file without its companion cannot be placed: the error report
  // says which file could not be opened, the step stops there, and the
  // window stays usable.
  void stagedFileWithoutCompanionIsReported() {
    TEndToEnd run;
    InstallModA(run.tree, "A");
    run.tree.File("Orphan.dll.{F}", "new");
    const int result =
        run.Run([&run] { run.WaitUntil([&run] { return run.boxes.size() >= 2; }, "two boxes"); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QCOMPARE(run.boxes.size(), 2);
    QCOMPARE(run.boxes[0], kPending);
    QVERIFY2(run.boxes[1].startsWith("error: Cannot open file"), qPrintable(run.boxes[1]));
    // The status line keeps the last folder the scan showed.
    QCOMPARE(run.Status(), run.tree.Path("A"));
    QVERIFY(run.form->buttonOK->isEnabled());
    QVERIFY(run.tree.Exists("Orphan.dll.{F}"));
  }

  // A staged file for a module installed nowhere could never be installed:
  // it is discarded with its companion, without a box, and the start goes on.
  void stagedFileForAModuleInstalledNowhere() {
    TEndToEnd run;
    run.tree.Folder("A");
    run.tree.File("Report.dll.{F}", "new report");
    run.tree.File("Report.dll.V.2.1.005", "ModZ\r\nMain\r\n2.1.005\r\nModZ.exe\r\n");
    const int result = run.Run([&run] { run.WaitForStartup(); });
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(result, kStillRunning);
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(run.Status(), kReady);
    QVERIFY(run.tree.TopFiles().isEmpty());
  }
};

QTEST_MAIN(EndToEndStartupTest)
#include "EndToEndStartup_test.moc"
