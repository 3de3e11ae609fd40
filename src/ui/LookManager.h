#pragma once
// The look manager of the main window: it holds the window's one look (the
// package stored with the window) and makes it the application's style.
// When the package cannot be used the platform's look stays and the
// manager reports itself inactive; nobody is told otherwise.
#include <QString>
#include <cstddef>
#include <cstdint>

class TLookManager {
 public:
  // The name of the stored look, which is also the selected one.
  QString SkinName() const { return FSkinName; }
  QString SkinInfo() const { return FSkinInfo; }
  bool Active() const { return FActive; }

  // Applies the look in the package; returns whether it is now in force.
  bool Activate(const uint8_t* data, size_t size);

 private:
  QString FSkinName = QStringLiteral("Blue Glass (internal)");
  QString FSkinInfo = QStringLiteral("10");
  bool FActive = false;
};
