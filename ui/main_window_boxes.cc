// Message boxes and modal dialogs of the main window.
//
// On the GUI thread a box or dialog runs modally (a nested event loop). A worker that
// asks for one posts the request to the GUI thread, which opens it without blocking
// (open()), and waits on its own Event; the GUI thread never waits for a worker, so
// timers, commands and the remote control stay live while the worker is blocked. When
// the window closes, every waiting worker is released with "closed" and later requests
// return at once, so worker threads can be stopped and joined.
#include <QMessageBox>
#include <QPushButton>

#include "base/diag.h"
#include "resources/dialog_templates.h"
#include "ui/dialog_host.h"
#include "ui/main_window.h"

namespace kestrelio {

struct MainWindow::BoxRecord {
  int serial = 0;
  OpenBoxInfo info;
  QPointer<QMessageBox> box;  // GUI thread only
  bool finished = false;      // under boxes_mutex_
  MessageBoxResult result = MessageBoxResult::kClosed;
  Event done{EventReset::kManual};
};

struct MainWindow::DialogRequest {
  int dialog_id = 0;
  DialogController* controller = nullptr;
  QPointer<TemplateDialog> dialog;  // GUI thread only
  bool finished = false;            // under boxes_mutex_
  int result = -1;
  Event done{EventReset::kManual};
};

namespace {

QMessageBox::StandardButton ButtonFor(MessageBoxResult result) {
  switch (result) {
    case MessageBoxResult::kOk:
      return QMessageBox::Ok;
    case MessageBoxResult::kYes:
      return QMessageBox::Yes;
    case MessageBoxResult::kNo:
      return QMessageBox::No;
    default:
      return QMessageBox::NoButton;
  }
}

// Under boxes_mutex_: gives a box or dialog request its result, takes it off `waiting` and
// wakes its waiter. Only the first result counts.
template <typename Request, typename Result>
void FinishWaiting(std::vector<std::shared_ptr<Request>>& waiting, Request& request,
                   Result result) {
  if (request.finished) return;
  request.finished = true;
  request.result = result;
  waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                               [&](const auto& r) { return r.get() == &request; }),
                waiting.end());
  request.done.Set();
}

}  // namespace

void MainWindow::OpenAndWait(Event& done, const std::function<void(bool modal)>& open) {
  if (OnGuiThread()) {
    open(/*modal=*/true);
  } else {
    QueueOnGui([open] { open(/*modal=*/false); });
    done.Wait();
  }
}

MessageBoxResult MainWindow::ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons, std::stop_token cancel) {
  auto record = std::make_shared<BoxRecord>();
  record->serial = next_box_serial_++;
  record->info = {std::string(caption), std::string(text), buttons};
  {
    std::lock_guard lock(boxes_mutex_);
    if (closing_) return MessageBoxResult::kClosed;
    boxes_.push_back(record);
  }
  // Runs at once when the stop was already asked for, else on the stopping thread.
  std::stop_callback on_cancel(cancel, [this, record] {
    FinishBox(*record, MessageBoxResult::kClosed);
    PostToGui([record] {
      if (record->box) record->box->reject();
    });
  });
  OpenAndWait(record->done, [this, record](bool modal) { OpenBox(record, modal); });
  std::lock_guard lock(boxes_mutex_);
  return record->result;
}

void MainWindow::OpenBox(const std::shared_ptr<BoxRecord>& record, bool modal) {
  {
    std::lock_guard lock(boxes_mutex_);
    if (record->finished) return;  // closed before it could open
  }
  auto* box = new QMessageBox(this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  if (scale_ > 1) box->setFont(ScaledDialogFont(scale_));
  box->setWindowTitle(QString::fromStdString(record->info.caption));
  box->setText(QString::fromStdString(record->info.text));
  box->setStandardButtons(record->info.buttons == MessageBoxButtons::kYesNo
                              ? QMessageBox::Yes | QMessageBox::No
                              : QMessageBox::Ok);
  record->box = box;
  // The connection holds the record: a box may finish after its waiter returned.
  connect(box, &QMessageBox::finished, this, [this, box, record] {
    MessageBoxResult result = MessageBoxResult::kClosed;
    QAbstractButton* clicked = box->clickedButton();
    if (clicked != nullptr) {
      switch (box->standardButton(clicked)) {
        case QMessageBox::Ok:
          result = MessageBoxResult::kOk;
          break;
        case QMessageBox::Yes:
          result = MessageBoxResult::kYes;
          break;
        case QMessageBox::No:
          result = MessageBoxResult::kNo;
          break;
        default:
          break;
      }
    }
    FinishBox(*record, result);
  });
  WatchIncomingPrompt(box, record->info);
  if (box_opened_) box_opened_(record->info);
  if (modal) {
    box->exec();
  } else {
    box->open();
  }
}

void MainWindow::FinishBox(BoxRecord& record, MessageBoxResult result) {
  std::lock_guard lock(boxes_mutex_);
  FinishWaiting(boxes_, record, result);
}

std::shared_ptr<MainWindow::BoxRecord> MainWindow::FindOpenBox(std::string_view caption) const {
  std::lock_guard lock(boxes_mutex_);
  for (const auto& r : boxes_) {
    if (!r->finished && r->info.caption == caption) return r;
  }
  return nullptr;
}

bool MainWindow::CloseMessageBox(std::string_view caption) {
  std::shared_ptr<BoxRecord> record = FindOpenBox(caption);
  if (!record) return false;
  FinishBox(*record, MessageBoxResult::kClosed);
  PostToGui([record] {
    if (record->box) record->box->reject();
  });
  return true;
}

std::vector<OpenBoxInfo> MainWindow::OpenBoxes() const {
  // Boxes on screen only: a box appears here when its "message-box" event goes out, not
  // while its opening is still queued for the GUI thread.
  std::vector<OpenBoxInfo> out;
  std::lock_guard lock(boxes_mutex_);
  for (const auto& r : boxes_) {
    if (!r->finished && r->box) out.push_back(r->info);
  }
  return out;
}

bool MainWindow::AnswerBox(std::string_view caption, MessageBoxResult result) {
  std::shared_ptr<BoxRecord> record = FindOpenBox(caption);
  if (!record) return false;
  const bool yes_no = record->info.buttons == MessageBoxButtons::kYesNo;
  const bool allowed = yes_no
                           ? (result == MessageBoxResult::kYes || result == MessageBoxResult::kNo)
                           : result == MessageBoxResult::kOk;
  if (!allowed) return false;
  if (record->box) {
    if (QAbstractButton* button = record->box->button(ButtonFor(result))) {
      button->click();
      return true;
    }
    return false;
  }
  FinishBox(*record, result);  // asked for but not yet on screen
  return true;
}

int MainWindow::RunDialog(int dialog_id, DialogController& controller) {
  if (FindDialogTemplate(dialog_id) == nullptr) {
    Diag("dialog %d: no such template", dialog_id);
    return -1;
  }
  auto request = std::make_shared<DialogRequest>();
  request->dialog_id = dialog_id;
  request->controller = &controller;
  {
    std::lock_guard lock(boxes_mutex_);
    if (closing_) return -1;
    dialog_requests_.push_back(request);
  }
  OpenAndWait(request->done, [this, request](bool modal) { OpenDialog(request, modal); });
  std::lock_guard lock(boxes_mutex_);
  return request->result;
}

void MainWindow::OpenDialog(const std::shared_ptr<DialogRequest>& request, bool modal) {
  {
    std::lock_guard lock(boxes_mutex_);
    if (request->finished) return;
  }
  const DialogTemplate* dialog_template = FindDialogTemplate(request->dialog_id);
  auto* dialog = new TemplateDialog(this, *dialog_template, *request->controller);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  request->dialog = dialog;
  dialogs_.push_back(dialog);
  connect(dialog, &QDialog::finished, this,
          [this, request](int result) { FinishDialog(*request, result); });
  dialog->Initialise();
  {
    std::lock_guard lock(boxes_mutex_);
    if (request->finished) return;  // the controller ended it during OnInit
  }
  if (modal) {
    dialog->exec();
  } else {
    dialog->open();
  }
}

void MainWindow::FinishDialog(DialogRequest& request, int result) {
  std::lock_guard lock(boxes_mutex_);
  FinishWaiting(dialog_requests_, request, result);
}

std::vector<TemplateDialog*> MainWindow::OpenDialogs() const {
  std::vector<TemplateDialog*> out;
  for (const auto& d : dialogs_) {
    if (!d || !d->isVisible()) continue;
    out.push_back(d.data());
    // A dialog's pages follow it, shown or not, so scripts can reach every control.
    for (TemplateDialog* page : d->Pages()) out.push_back(page);
  }
  return out;
}

void MainWindow::ReleaseWaiters() {
  std::vector<std::shared_ptr<BoxRecord>> boxes;
  std::vector<std::shared_ptr<DialogRequest>> dialogs;
  {
    std::lock_guard lock(boxes_mutex_);
    closing_ = true;
    boxes = boxes_;
    dialogs = dialog_requests_;
  }
  for (const auto& record : boxes) {
    FinishBox(*record, MessageBoxResult::kClosed);
    if (record->box && OnGuiThread()) record->box->reject();
  }
  for (const auto& request : dialogs) {
    // The dialog lets go of its controller before the waiting worker may destroy it.
    if (request->dialog && OnGuiThread()) request->dialog->Abandon();
    FinishDialog(*request, -1);
  }
}

}  // namespace kestrelio
