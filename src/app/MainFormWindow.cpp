// What the update engine sees of the main window (IUpdaterWindow), carried
// out on the window's controls.
#include <QCoreApplication>

#include "app/TheMenuMain.h"
#include "ui/InformationBox.h"
#include "ui/LookPanel.h"
#include "ui/LookProgressBar.h"
#include "ui/LookSpeedButton.h"

void TMainForm::SetStatusLine(const std::string& text) {
  Panel4->SetCaption(QString::fromStdString(text));
}

std::string TMainForm::StatusLine() const { return Panel4->Caption().toStdString(); }

void TMainForm::ProcessMessages() { QCoreApplication::processEvents(); }

void TMainForm::ShowInformation(const std::string& text) {
  ShowInformationBox(QString::fromStdString(text));
}

void TMainForm::SetNextEnabled(bool enabled) { buttonOK->setEnabled(enabled); }

void TMainForm::SetHistoryEnabled(bool enabled) { historyButton->setEnabled(enabled); }

void TMainForm::BecomeUpdateButton() {
  buttonOK->setText(QStringLiteral("Update"));
  FButtonOKClick = &TMainForm::DownloadTheFiles;
  buttonOK->setEnabled(true);
}

int TMainForm::RowCount() const { return LB->Count(); }

std::string TMainForm::RowText(int index) const { return LB->Item(index).toStdString(); }

void TMainForm::AddRow(const std::string& text) { LB->AddItem(QString::fromStdString(text)); }

bool TMainForm::RowChecked(int index) const { return LB->Checked(index); }

void TMainForm::SetRowChecked(int index, bool checked) { LB->SetChecked(index, checked); }

void TMainForm::SetRowEnabled(int index, bool enabled) { LB->SetItemEnabled(index, enabled); }

void TMainForm::SetItemIndex(int index) { LB->SetItemIndex(index); }

void TMainForm::RepaintList() { LB->viewport()->repaint(); }

void TMainForm::SetProgressVisible(bool visible) { pb1->setVisible(visible); }

void TMainForm::SetProgressPosition(int64_t position) { pb1->SetPosition(position); }

void TMainForm::SetProgressMax(int64_t maximum) { pb1->SetMax(maximum); }

int64_t TMainForm::ProgressMax() const { return pb1->Max(); }
