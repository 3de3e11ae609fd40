#include "ui/ErrorReport.h"

#include <QEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>
#include <new>
#include <string>

#include "ui/InformationBox.h"
#include "util/Errors.h"

namespace {

const char kUnknownErrorText[] = "An unexpected error occurred";
const char kOutOfMemoryText[] = "Out of memory";

// The message an error carries for the user.  Memory runs out as the
// library's std::bad_alloc, wherever it happens; its what() is the library's
// own wording, so the user gets the program's text for it instead.
std::string MessageOf(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error)) return kOutOfMemoryText;
  return error.what();
}

// The message of the innermost error that error wraps (std::nested_exception),
// or an empty string when error wraps nothing.
std::string InnermostMessage(const std::exception& error) {
  const auto* nested = dynamic_cast<const std::nested_exception*>(&error);
  if (!nested || !nested->nested_ptr()) return {};
  try {
    nested->rethrow_nested();
  } catch (const std::exception& inner) {
    std::string deeper = InnermostMessage(inner);
    return deeper.empty() ? MessageOf(inner) : deeper;
  } catch (...) {
  }
  return {};
}

QString WithFullStop(QString message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') message += QLatin1Char('.');
  return message;
}

void ShowErrorBox(const QString& text) {
  // A press in progress (a drag, a held button) ends before the box opens.
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text,
                  QMessageBox::Ok, BoxOwner());
  // The message is often a server's status line: never read it as markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.setAccessibleName(box.windowTitle());
  box.setAccessibleDescription(text);
  ExecModalBox(box);
}

bool gPaintReportPending = false;

bool IsPaintEvent(const QEvent* event) {
  return event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest;
}

void ReportAfterPainting(std::exception_ptr error) {
  if (gPaintReportPending) return;
  gPaintReportPending = true;
  QMetaObject::invokeMethod(
      qApp,
      [error] {
        ShowErrorReport(error);
        gPaintReportPending = false;
      },
      Qt::QueuedConnection);
}

}  // namespace

QString ErrorReportText(const std::exception& error) {
  std::string message = InnermostMessage(error);
  if (message.empty()) message = MessageOf(error);
  return WithFullStop(QString::fromStdString(message));
}

void ShowErrorReport(const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error)) return;
  ShowErrorBox(ErrorReportText(error));
}

void ShowErrorReport(std::exception_ptr error) {
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    ShowErrorReport(caught);
  } catch (...) {
    ShowErrorBox(WithFullStop(QString::fromLatin1(kUnknownErrorText)));
  }
}

void RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    ShowErrorReport(std::current_exception());
  }
}

void RunGuardedWhilePainting(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    ReportAfterPainting(std::current_exception());
  }
}

TGuardedApplication::TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (IsPaintEvent(event))
      ReportAfterPainting(std::current_exception());
    else
      ShowErrorReport(std::current_exception());
    return false;
  }
}
