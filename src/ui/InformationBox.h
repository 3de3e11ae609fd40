#pragma once
// The information box: the program's one way of telling the user something.
// A modal dialog of our own with the caption "Information", the information
// icon, the message and one "OK" button, laid out in dialog units.
#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;

class TInformationBox : public QDialog {
  Q_OBJECT

 public:
  explicit TInformationBox(const QString& text, QWidget* parent = nullptr);

  QString Caption() const;
  QString Message() const;
  QPushButton* OkButton() const { return FOkButton; }
  QLabel* TextLabel() const { return FText; }
  // The text Ctrl+C copies: caption, message and buttons between hyphen
  // lines, every line ended by CR LF.
  QString ClipboardText() const;

  // Escape and the close box answer OK as well: the box has no other result.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void LayOut();
  void CentreOnScreen();

  QString FMessage;
  QLabel* FIcon = nullptr;
  QLabel* FText = nullptr;
  QPushButton* FOkButton = nullptr;
};

// Shows the information box modally over its owner and returns when the user
// has closed it.  Painting and timers go on meanwhile.
void ShowInformationBox(const QString& text);

// The window that owns a box when no window of the program is active (the
// user is in another program, say): the main window registers itself, and is
// forgotten when it is destroyed.
void SetApplicationWindow(QWidget* window);
// A box's owner: the active window, else the application window, else none.
QWidget* BoxOwner();

// A seam for tests and demos: when set, every modal box (information box and
// error report) is handed to the hook once its modal loop runs, so the hook can
// read it and press its button.
using TModalBoxHook = std::function<void(QDialog& box)>;
void SetModalBoxHook(TModalBoxHook hook);
// Shows box modally, passing it to the hook when one is set; returns exec()'s result.
int ExecModalBox(QDialog& box);
