// The program's real run, started with options that Qt would act on if it
// saw them: the window keeps its caption and its left-to-right layout.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "app/TheMenuMain.h"
#include "app/UpdaterMain.h"
#include "platform/Files.h"

namespace {

struct TSeen {
  bool found = false;
  QString caption, windowCaption;
  Qt::LayoutDirection direction = Qt::RightToLeft;
} gSeen;

// Once the run's loop is going, look at its window and end the run.
void LookAtTheWindowOnceTheLoopRuns() {
  QTimer::singleShot(0, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* form = qobject_cast<TMainForm*>(widget);
      if (!form || !form->isVisible() || !form->windowHandle()) continue;
      gSeen = {true, form->windowTitle(), form->windowHandle()->title(), form->layoutDirection()};
    }
    QCoreApplication::exit(0);
  });
}
Q_COREAPP_STARTUP_FUNCTION(LookAtTheWindowOnceTheLoopRuns)

}  // namespace

int main() {
  QTemporaryDir programFolder;  // the start-up step tidies an empty folder
  if (!programFolder.isValid()) return 2;
  platform::SetProgramFolderForTesting(programFolder.path().toStdString() + "/");

  char program[] = "quorvin-updater", title[] = "-qwindowtitle", caption[] = "Hijacked",
       reverse[] = "-reverse";
  char* argv[] = {program, title, caption, reverse, nullptr};
  const int result = RunUpdater(4, argv);

  const QString expected = QStringLiteral("Computer QUORVIN Update");
  const bool ok = result == 0 && gSeen.found && gSeen.caption == expected &&
                  gSeen.windowCaption == expected && gSeen.direction == Qt::LeftToRight;
  std::printf("%s: run %d, window %s, caption \"%s\" / \"%s\", %s\n", ok ? "PASS" : "FAIL", result,
              gSeen.found ? "found" : "missing", qPrintable(gSeen.caption),
              qPrintable(gSeen.windowCaption),
              gSeen.direction == Qt::LeftToRight ? "left to right" : "mirrored");
  platform::SetProgramFolderForTesting("");
  return ok ? 0 : 1;
}
