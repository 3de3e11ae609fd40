#pragma once
// The error report: every error that leaves an event handler ends here.  The
// dispatch points (button clicks, the timer tick, the list's drawing and
// double click) run their handler through RunGuarded, and the application's
// notify() catches whatever else slips through; the report shows the error's
// message in a modal box, as plain text, and the program goes on.
#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

inline constexpr const char kApplicationTitle[] = "Quorvin Program Updater";

// The text the report shows: the innermost nested error's message (the error's
// own when that is empty; "Out of memory" for std::bad_alloc) with a full stop
// appended when its last character comes after "." in code order.
QString ErrorReportText(const std::exception& error);

// The error box: titled with the application title, error icon, one OK.  The
// silent error (EAbort) is dropped without a box.
void ShowErrorReport(const std::exception& error);
// The same for any caught object; one that is no std::exception gets a plain text.
void ShowErrorReport(std::exception_ptr error);

// Runs handler, reporting anything it throws.
void RunGuarded(const std::function<void()>& handler);
// The guard for drawing: a modal box cannot open inside a paint event, so the
// report is shown once control is back in the event loop; while one such report
// is waiting or open, further drawing errors are not stacked on top of it.
void RunGuardedWhilePainting(const std::function<void()>& handler);

// The backstop: an error that escapes any event's delivery is reported here.
class TGuardedApplication : public QApplication {
  Q_OBJECT

 public:
  TGuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
