#include "app/UpdaterMain.h"

#include <QIcon>

#include "app/TheMenuMain.h"
#include "ui/ErrorReport.h"

namespace {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64})
    icon.addFile(QStringLiteral(":/icons/quorvin-updater-%1.png").arg(size), QSize(size, size));
  return icon;
}

// The command line as Qt gets it: the program's name alone.  Qt keeps
// references to both, so they live as long as the application object.
struct TQtCommandLine {
  explicit TQtCommandLine(char* programName) : argv{programName, nullptr} {}
  int argc = 1;
  char* argv[2];
};

}  // namespace

int RunUpdater(int argc, char** argv) {
  // Screen readers reach the window through the accessibility bus; register
  // with it whenever it is there, not only when the desktop has announced
  // that assistive technology is running.
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  char defaultName[] = "quorvin-updater";
  TQtCommandLine commandLine(argc > 0 && argv[0] ? argv[0] : defaultName);
  TGuardedApplication application(commandLine.argc, commandLine.argv);
  // The title stands as the application name: a display name would be
  // appended to every window caption by some window systems.
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setDesktopFileName(QStringLiteral("quorvin-updater"));
  QApplication::setWindowIcon(ApplicationIcon());

  TMainForm mainForm;
  mainForm.show();
  return QApplication::exec();
}
