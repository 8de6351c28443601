#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/diag.h"
#include "base/window/ids.h"
#include "resources/bitmaps.h"
#include "resources/menu.h"
#include "ui/chat_list_view.h"
#include "ui/client_area.h"
#include "ui/incoming_prompt.h"
#include "ui/repaint_wake.h"
#include "ui/ring_attention.h"
#include "ui/stats_overlay.h"

namespace kestrelio {
namespace {

constexpr int kInitialClientWidth = 240;
constexpr int kInitialClientHeight = 320;

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MainWindow::MainWindow(CallFlags& call_flags, ViewFlags& view_flags)
    : call_flags_(call_flags), view_flags_(view_flags), logic_(*this, view_flags, this) {
  // The window ends the event loop itself after the shutdown; a box closing while the
  // main window is hidden must not end it early.
  QApplication::setQuitOnLastWindowClosed(false);
  setWindowTitle(ToQ(LoadString(kStringTitle)));
  setWindowIcon(QIcon(QPixmap::fromImage(DrawAppIcon(64))));
  idle_bitmap_ = DrawBitmap(kBitmapIdle);
  own_bitmap_ = DrawBitmap(kBitmapOwnPlaceholder);
  paused_bitmap_ = DrawBitmap(kBitmapPaused);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  client_ = new ClientArea(*this, this);
  client_->setMinimumSize(1, 1);
  column->addWidget(client_, 1);
  stats_overlay_ = new StatsOverlay(*client_, view_flags_);
  repaint_wake_ = new RepaintWake(this, [this] {
    repaint_posted_ = false;
    UpdateDirty(dirty_.exchange(0));
  });
  BuildClientControls();
  BuildSoftKeyBar();
  column->addWidget(bar_);

  auto* dial = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
  connect(dial, &QShortcut::activated, this, [this] { logic_.OnCommand(kCommandDial); });
  auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
  connect(quit, &QShortcut::activated, this, [this] { logic_.OnCommand(kCommandExit); });

  bar_base_height_ = bar_->sizeHint().height();
  bar_->setFixedHeight(bar_base_height_);
  base_font_px_ = QFontInfo(font()).pixelSize();
  ring_ = std::make_unique<RingAttention>(
      *this, [this] { client_->update(); },
      [this](bool accept) {
        AnswerBox(kIncomingPromptCaption, accept ? MessageBoxResult::kYes : MessageBoxResult::kNo);
      });
  PlaceAtOpening(std::nullopt);
  client_width_ = kInitialClientWidth;
  client_height_ = kInitialClientHeight;
}

MainWindow::~MainWindow() { ReleaseWaiters(); }

void MainWindow::BuildClientControls() {
  struct ChildControl {
    int id;
    const char* text;
    int x, y, w, h;
    bool visible;
  };
  // Creation order and initial rectangles; the layout moves them. Later siblings stack
  // above earlier ones, so the Calling indicator comes before the Cancel button that the
  // layout places inside it.
  const ChildControl kChildControls[] = {
      {kControlChatEdit, "enter chat text", 8, 4, 170, 20, true},
      {kControlChatList, "chat history", 8, 24, 170, 50, true},
      {kControlSend, "Send", 183, 4, 50, 20, true},
      {kControlPlus, "+", 183, 4, 50, 20, true},
      {kControlMinus, "-", 183, 4, 50, 20, false},
      {kControlStatusLine, "DATA", 0, 300, 100, 15, true},
      {kControlCalling, "\nCalling.", 10, 10, 80, 60, true},
      {kControlCancel, "Cancel", 183, 4, 50, 20, true},
  };
  for (const ChildControl& s : kChildControls) {
    QWidget* widget = nullptr;
    const int id = s.id;
    switch (id) {
      case kControlChatEdit: {
        auto* edit = new QLineEdit(QString::fromUtf8(s.text), client_);
        // Enter sends the line, as the Send button does.
        connect(edit, &QLineEdit::returnPressed, this, [this] { logic_.OnCommand(kCommandSend); });
        connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) {
          std::lock_guard lock(state_mutex_);
          control_state_[kControlChatEdit].text = text.toStdString();
        });
        widget = edit;
        break;
      }
      case kControlChatList:
        widget = new ChatListView(client_, kChatListMaxLines);
        break;
      case kControlStatusLine: {
        auto* label = new QLabel(QString::fromUtf8(s.text), client_);
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        widget = label;
        break;
      }
      case kControlCalling: {
        auto* label = new QLabel(QString::fromUtf8(s.text), client_);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setFrameShape(QFrame::Box);
        label->setAutoFillBackground(true);
        widget = label;
        break;
      }
      default: {
        auto* button = new QPushButton(QString::fromUtf8(s.text), client_);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, id] { logic_.OnCommand(id); });
        widget = button;
        break;
      }
    }
    widget->setGeometry(s.x, s.y, s.w, s.h);
    widget->setVisible(s.visible);
    controls_[id] = widget;
    control_state_[id] = {s.text, s.visible};
  }
}

void MainWindow::BuildSoftKeyBar() {
  bar_ = new QToolBar(this);
  bar_->setIconSize(QSize(16, 16));
  bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  auto* file_button = new QToolButton(bar_);
  file_button->setText(ToQ(LoadString(kStringFile)));
  file_button->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(file_button);
  for (const MenuItem& item : FileMenuItems()) {
    const int id = item.command_id;
    QAction* action =
        menu->addAction(QString::fromUtf8(item.text), this, [this, id] { logic_.OnCommand(id); });
    if (id == kCommandCallStatistics) stats_overlay_->BindMenuAction(action);
  }
  menu->addSeparator();
  smooth_action_ = menu->addAction(QStringLiteral("Smooth pictures"));
  smooth_action_->setObjectName(QStringLiteral("smooth_pictures"));
  smooth_action_->setCheckable(true);
  smooth_action_->setChecked(smooth_pictures_);
  connect(smooth_action_, &QAction::toggled, this, [this](bool on) { SetSmoothPictures(on); });
  file_button->setMenu(menu);
  bar_->addWidget(file_button);
  for (const SoftKey& key : SoftKeys()) {
    const int id = key.command_id;
    QAction* action = bar_->addAction(QIcon(QPixmap::fromImage(SoftKeyImage(key.image_index))),
                                      QString::fromUtf8(key.tool_tip));
    action->setObjectName(QString("softkey_%1").arg(id));
    connect(action, &QAction::triggered, this, [this, id] { logic_.OnCommand(id); });
    soft_keys_[id] = action;
    button_images_[id] = key.image_index;
  }
}

bool MainWindow::OnGuiThread() const { return QThread::currentThread() == thread(); }

void MainWindow::PostToGui(std::function<void()> work) {
  if (OnGuiThread()) {
    work();
  } else {
    QueueOnGui(std::move(work));
  }
}

void MainWindow::QueueOnGui(std::function<void()> work) {
  {
    std::lock_guard lock(gui_queue_mutex_);
    gui_queue_.push_back(std::move(work));
  }
  QMetaObject::invokeMethod(this, "RunGuiQueue", Qt::QueuedConnection);
}

void MainWindow::RunGuiQueue() {
  // One call per queued piece, oldest first, as if each were its own event: a piece
  // that opens a modal loop does not hold back the ones queued after it.
  std::function<void()> work;
  {
    std::lock_guard lock(gui_queue_mutex_);
    if (gui_queue_.empty()) return;
    work = std::move(gui_queue_.front());
    gui_queue_.pop_front();
  }
  work();
}

void MainWindow::Raise() {
  PostToGui([this] {
    showNormal();
    raise();
    activateWindow();
  });
}

void MainWindow::Close() {
  PostToGui([this] { close(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  {
    std::lock_guard lock(boxes_mutex_);
    if (closing_) return;
  }
  ReleaseWaiters();
  for (auto& [id, timer] : timers_) timer->stop();
  WindowHandler* handler = logic_.handler();
  if (handler != nullptr) handler->OnDestroy();
  QCoreApplication::exit(0);
}

void MainWindow::StartTimer(int timer_id, int period_ms) {
  PostToGui([this, timer_id, period_ms] {
    QTimer*& timer = timers_[timer_id];
    if (timer == nullptr) {
      timer = new QTimer(this);
      connect(timer, &QTimer::timeout, this, [this, timer_id] { OnTimerFired(timer_id); });
    }
    timer->start(std::max(1, period_ms));
  });
}

void MainWindow::KillTimer(int timer_id) {
  PostToGui([this, timer_id] {
    auto it = timers_.find(timer_id);
    if (it != timers_.end()) it->second->stop();
  });
}

void MainWindow::OnTimerFired(int timer_id) {
  {
    std::lock_guard lock(boxes_mutex_);
    if (closing_) return;
  }
  logic_.OnTimer(timer_id);
}

void MainWindow::ShowControl(int control_id, bool visible) {
  {
    std::lock_guard lock(state_mutex_);
    auto it = control_state_.find(control_id);
    if (it == control_state_.end()) return;
    it->second.visible = visible;
  }
  PostToGui([this, control_id] { ApplyControlVisible(control_id); });
}

bool MainWindow::IsControlVisible(int control_id) const {
  std::lock_guard lock(state_mutex_);
  auto it = control_state_.find(control_id);
  return it != control_state_.end() && it->second.visible;
}

void MainWindow::SetControlText(int control_id, std::string_view text) {
  {
    std::lock_guard lock(state_mutex_);
    auto it = control_state_.find(control_id);
    if (it == control_state_.end()) return;
    it->second.text = std::string(text);
  }
  PostToGui([this, control_id] { ApplyControlText(control_id); });
}

std::string MainWindow::ControlText(int control_id) const {
  std::lock_guard lock(state_mutex_);
  auto it = control_state_.find(control_id);
  return it == control_state_.end() ? std::string() : it->second.text;
}

void MainWindow::ApplyControlVisible(int control_id) {
  bool visible;
  {
    std::lock_guard lock(state_mutex_);
    visible = control_state_[control_id].visible;
  }
  controls_[control_id]->setVisible(visible);
}

void MainWindow::ApplyControlText(int control_id) {
  QString text;
  {
    std::lock_guard lock(state_mutex_);
    text = QString::fromStdString(control_state_[control_id].text);
  }
  QWidget* widget = controls_[control_id];
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != text) edit->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
    if (control_id == kControlStatusLine) FitStatusLine();
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
  }
}

void MainWindow::ListAppend(int control_id, std::string_view line) {
  if (control_id != kControlChatList) return;
  const QString q = ToQ(line);
  {
    std::lock_guard lock(state_mutex_);
    std::vector<std::string>& lines = lists_[control_id];
    lines.emplace_back(line);
    if (lines.size() > kChatListMaxLines) {
      lines.erase(lines.begin(), lines.end() - static_cast<ptrdiff_t>(kChatListMaxLines));
    }
  }
  PostToGui(
      [this, control_id, q] { static_cast<ChatListView*>(controls_[control_id])->Append(q); });
}

void MainWindow::ListClear(int control_id) {
  if (control_id != kControlChatList) return;
  {
    std::lock_guard lock(state_mutex_);
    lists_[control_id].clear();
  }
  PostToGui([this, control_id] { static_cast<ChatListView*>(controls_[control_id])->Clear(); });
}

void MainWindow::SetButtonImage(int command_id, int image_index) {
  PostToGui([this, command_id, image_index] {
    auto it = soft_keys_.find(command_id);
    const QPixmap pixmap = SoftKeyPixmap(image_index);
    if (it == soft_keys_.end() || pixmap.isNull()) return;
    it->second->setIcon(QIcon(pixmap));
    button_images_[command_id] = image_index;
  });
}

void MainWindow::Invalidate() { MarkDirty(kDirtyAll); }

void MainWindow::MarkDirty(uint32_t parts) {
  if (OnGuiThread()) {
    UpdateDirty(parts);
    return;
  }
  dirty_.fetch_or(parts);
  // Many threads may ask at once; one queued repaint serves them all.
  if (!repaint_posted_.exchange(true)) {
    if (repaint_wake_->ok()) {
      repaint_wake_->Wake();
      return;
    }
    QueueOnGui([this] {
      repaint_posted_ = false;
      UpdateDirty(dirty_.exchange(0));
    });
  }
}

void MainWindow::UpdateDirty(uint32_t parts) {
  if ((parts & kDirtyAll) != 0) {
    client_->update();
    return;
  }
  // A new picture repaints (and sends to the screen) only its own rectangle.
  const uint32_t bits[2] = {kDirtyPrimary, kDirtySecondary};
  for (int i = 0; i < 2; ++i) {
    if ((parts & bits[i]) == 0) continue;
    const VideoRect& r = PictureRect(i);
    client_->update(r.left, r.top, r.Width(), r.Height());
  }
}

void MainWindow::ApplyLayout(const Layout& layout) {
  layout_ = layout;
  SetShownPictureSizes();
  auto place = [this](int id, const std::optional<ControlRect>& r) {
    if (r) controls_[id]->setGeometry(r->x, r->y, r->width, r->height);
  };
  place(kControlStatusLine, layout.status_line);
  place(kControlCancel, layout.cancel);
  place(kControlCalling, layout.calling);
  place(kControlChatList, layout.chat_list);
  place(kControlChatEdit, layout.chat_edit);
  place(kControlSend, layout.send);
  place(kControlPlus, layout.plus);
  place(kControlMinus, layout.minus);
  FitStatusLine();
  client_->update();
}

void MainWindow::FocusChatInput() {
  auto* edit = static_cast<QLineEdit*>(controls_[kControlChatEdit]);
  edit->setFocus();
  edit->selectAll();
}

void MainWindow::OnClientResized(int width, int height) {
  client_width_ = width;
  client_height_ = height;
  logic_.OnResize();
  PlaceNotice();
}

void MainWindow::MessageBeep(BeepKind kind) {
  Diag("message beep %d", static_cast<int>(kind));
  PostToGui([] { QApplication::beep(); });
}

void MainWindow::Alert(int duration_ms) {
  PostToGui([this, duration_ms] {
    QApplication::alert(this, duration_ms);
    ring_->VibratorPulse();
  });
}

ClientSize MainWindow::GetClientSize() const {
  const int scale = std::max(1, scale_.load());
  return {client_width_ / scale, client_height_ / scale};
}

std::optional<ClientSize> MainWindow::ClientPixels() const {
  return ClientSize{client_width_, client_height_};
}

int RunEventLoop() { return QApplication::exec(); }

}  // namespace kestrelio
