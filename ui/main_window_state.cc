// The window's state as JSON for the remote control, and screenshots.
#include <QJsonArray>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "base/window/ids.h"
#include "ui/dialog_host.h"
#include "ui/main_window.h"
#include "ui/ring_attention.h"

namespace kestrelio {
namespace {

QJsonArray RectJson(const VideoRect& r) { return QJsonArray{r.left, r.top, r.right, r.bottom}; }

const char* ButtonsName(MessageBoxButtons buttons) {
  return buttons == MessageBoxButtons::kYesNo ? "yes-no" : "ok";
}

}  // namespace

QJsonObject MainWindow::StateJson() const {
  QJsonObject state;
  state["view_mode"] = logic_.view_mode();
  state["chat_mode"] = logic_.chat_mode();
  state["chat_shown"] = logic_.chat_shown();
  state["status_line"] = logic_.status_line_on();

  QJsonObject controls;
  {
    std::lock_guard lock(state_mutex_);
    state["status_text"] = QString::fromStdString(control_state_.at(kControlStatusLine).text);
    state["notice"] = QString::fromStdString(notice_text_);
    for (const auto& [id, control] : control_state_) {
      QJsonObject entry;
      entry["text"] = QString::fromStdString(control.text);
      entry["visible"] = control.visible;
      auto list = lists_.find(id);
      if (list != lists_.end()) {
        QJsonArray items;
        for (const std::string& line : list->second) items.append(QString::fromStdString(line));
        entry["items"] = items;
      }
      controls[QString::number(id)] = entry;
    }
  }
  for (const auto& [id, image] : button_images_) {
    QJsonObject entry = controls.value(QString::number(id)).toObject();
    entry["image"] = image;
    if (!entry.contains("visible")) entry["visible"] = true;
    if (!entry.contains("text")) entry["text"] = QString();
    controls[QString::number(id)] = entry;
  }
  // Where each child control lies on the screen, for scripts that click as a person does.
  for (const auto& [id, widget] : controls_) {
    QJsonObject entry = controls.value(QString::number(id)).toObject();
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    entry["screen_rect"] = QJsonArray{origin.x(), origin.y(), widget->width(), widget->height()};
    controls[QString::number(id)] = entry;
  }
  state["controls"] = controls;

  QJsonArray boxes;
  for (const OpenBoxInfo& box : OpenBoxes()) {
    QJsonObject entry;
    entry["caption"] = QString::fromStdString(box.caption);
    entry["text"] = QString::fromStdString(box.text);
    entry["buttons"] = ButtonsName(box.buttons);
    boxes.append(entry);
  }
  state["message_boxes"] = boxes;

  QJsonArray dialogs;
  for (TemplateDialog* dialog : OpenDialogs()) dialogs.append(dialog->StateJson());
  state["dialogs"] = dialogs;

  QJsonObject flags;
  flags["in_call"] = call_flags_.in_call.load();
  flags["video_active"] = call_flags_.video_active.load();
  flags["calling"] = call_flags_.calling.load();
  flags["own_video_paused"] = view_flags_.own_video_paused.load();
  flags["peer_video_paused"] = view_flags_.peer_video_paused.load();
  state["flags"] = flags;

  QJsonObject video;
  video["primary"] = RectJson(layout_.primary);
  video["secondary"] = RectJson(layout_.secondary);
  state["video"] = video;

  QJsonObject window;
  window["width"] = client_width_.load();
  window["height"] = client_height_.load();
  window["scale"] = scale_.load();
  window["smooth_pictures"] = smooth_pictures_;
  window["ringing"] = ring_->ringing();
  const ScreenRect placement = Placement();
  window["placement"] = QJsonArray{placement.x, placement.y, placement.width, placement.height};
  state["window"] = window;

  QJsonArray timers;
  for (const auto& [id, timer] : timers_) {
    if (timer->isActive()) timers.append(id);
  }
  state["timers"] = timers;
  return state;
}

bool MainWindow::SaveScreenshot(const QString& path) {
  // What the user sees: the window with the dialogs it owns drawn where they stand over it
  // (a dialog is a window of its own, so the window's grab alone leaves it out).
  QImage shot = grab().toImage();
  QPainter painter(&shot);
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  for (const QPointer<TemplateDialog>& dialog : dialogs_) {
    if (!dialog || !dialog->isVisible() || dialog->is_page()) continue;
    painter.drawPixmap(dialog->mapToGlobal(QPoint(0, 0)) - origin, dialog->grab());
  }
  painter.end();
  return shot.save(path, "PNG");
}

}  // namespace kestrelio
