#include "ui/dialog_host.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QIntValidator>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>

#include "base/diag.h"

namespace kestrelio {
namespace {

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* MakeWidget(const DialogControlTemplate& c, QWidget* parent) {
  const QString text = QString::fromUtf8(c.text);
  QWidget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::kButton:
    case ControlKind::kDefaultButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault(c.kind == ControlKind::kDefaultButton);
      widget = button;
      break;
    }
    case ControlKind::kEdit:
      widget = new QLineEdit(text, parent);
      break;
    case ControlKind::kNumberEdit: {
      auto* edit = new QLineEdit(text, parent);
      edit->setValidator(new QIntValidator(0, 1000000, edit));
      widget = edit;
      break;
    }
    case ControlKind::kStatic: {
      auto* label = new QLabel(text, parent);
      label->setWordWrap(true);
      if (c.style & kStylePlainText) label->setTextFormat(Qt::PlainText);
      if (c.style & kStyleCentered) label->setAlignment(Qt::AlignCenter);
      widget = label;
      break;
    }
    case ControlKind::kListBox:
      widget = new QListWidget(parent);
      break;
    case ControlKind::kDropDownList:
      widget = new QComboBox(parent);
      break;
    case ControlKind::kCheckBox:
      widget = new QCheckBox(text, parent);
      break;
    case ControlKind::kRadioButton:
      widget = new QRadioButton(text, parent);
      break;
    case ControlKind::kTab:
      widget = new QTabBar(parent);
      break;
  }
  if (c.style & kStyleHidden) widget->hide();
  if (c.style & kStyleDisabled) widget->setEnabled(false);
  return widget;
}

}  // namespace

bool RelayoutDialog(const DialogTemplate& dialog_template, const std::vector<QWidget*>& widgets) {
  bool all_found = widgets.size() == dialog_template.controls.size();
  for (size_t i = 0; i < dialog_template.controls.size(); ++i) {
    QWidget* widget = i < widgets.size() ? widgets[i] : nullptr;
    if (widget == nullptr) {
      all_found = false;
      continue;
    }
    const PixelRect r = MapDialogRect(dialog_template.controls[i]);
    widget->setGeometry(r.x, r.y, r.width, r.height);
  }
  return all_found && IsTemplateSound(dialog_template);
}

TemplateDialog::TemplateDialog(QWidget* owner, const DialogTemplate& dialog_template,
                               DialogController& controller)
    : QDialog(owner), template_(dialog_template), controller_(controller) {
  setWindowTitle(QString::fromUtf8(dialog_template.caption));
  const PixelRect size = MapDialogRect(
      {0, ControlKind::kStatic, "", 0, 0, dialog_template.width, dialog_template.height, 0});
  resize(size.width, size.height);
  for (const DialogControlTemplate& c : dialog_template.controls) {
    QWidget* widget = MakeWidget(c, this);
    widgets_.push_back(widget);
    const int id = c.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      connect(button, &QAbstractButton::clicked, this, [this, id] { Press(id); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
      connect(list, &QListWidget::itemActivated, this, [this, id] { Press(id); });
    } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
      connect(tabs, &QTabBar::currentChanged, this, [this, id] { Press(id); });
    }
  }
  if (!RelayoutDialog(template_, widgets_)) {
    Diag("dialog %d: template controls could not all be placed", template_.id);
  }
  if (owner != nullptr) owner->installEventFilter(this);
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    // Filters see the event before the owner lays itself out: the controller hears of
    // it once the owner's new client size is known.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!ended_ && !abandoned_) controller_.OnOwnerResized(*this);
        },
        Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void TemplateDialog::Initialise() { controller_.OnInit(*this); }

void TemplateDialog::Press(int control_id) {
  if (!abandoned_) controller_.OnCommand(*this, control_id);
}

void TemplateDialog::Abandon() {
  abandoned_ = true;
  ended_ = true;
  done(-1);
}

void TemplateDialog::reject() {
  // Escape or the close button: the controller decides, as with its Cancel (IDCANCEL).
  Press(2);
  // A controller that does not handle IDCANCEL still lets the window close.
  if (!ended_) End(2);
}

void TemplateDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (!RelayoutDialog(template_, widgets_)) {
    Diag("dialog %d: re-layout did not place every control", template_.id);
  }
  for (const auto& [id, rect] : moved_) {
    if (QWidget* w = Find(id)) w->setGeometry(rect);
  }
}

QWidget* TemplateDialog::Find(int control_id) const {
  if (control_id == kUnnamedControlId) return nullptr;
  for (size_t i = 0; i < widgets_.size(); ++i) {
    if (template_.controls[i].id == control_id) return widgets_[i];
  }
  return nullptr;
}

std::string TemplateDialog::Text(int control_id) const {
  QWidget* w = Find(control_id);
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    text = edit->text();
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    text = label->text();
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    text = button->text();
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    text = combo->currentText();
  }
  return text.toStdString();
}

void TemplateDialog::SetText(int control_id, std::string_view text) {
  QWidget* w = Find(control_id);
  const QString q = ToQ(text);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(q);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(q);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(q);
  }
}

void TemplateDialog::Show(int control_id, bool visible) {
  if (QWidget* w = Find(control_id)) w->setVisible(visible);
}

void TemplateDialog::ListAppend(int control_id, std::string_view line) {
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    list->addItem(ToQ(line));
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->addItem(ToQ(line));
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    QSignalBlocker block(tabs);
    tabs->addTab(ToQ(line));
  }
}

void TemplateDialog::ListClear(int control_id) {
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    list->clear();
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->clear();
  }
}

int TemplateDialog::ListSelection(int control_id) const {
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    return list->selectedItems().isEmpty() ? -1 : list->currentRow();
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
  if (auto* tabs = qobject_cast<QTabBar*>(w)) return tabs->currentIndex();
  return -1;
}

void TemplateDialog::SetListSelection(int control_id, int index) {
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    if (index < 0 || index >= list->count()) {
      list->clearSelection();
    } else {
      list->setCurrentRow(index);
    }
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->setCurrentIndex(index);
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    tabs->setCurrentIndex(index);
  }
}

bool TemplateDialog::IsChecked(int control_id) const {
  auto* button = qobject_cast<QAbstractButton*>(Find(control_id));
  return button != nullptr && button->isChecked();
}

void TemplateDialog::SetChecked(int control_id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Find(control_id))) button->setChecked(checked);
}

void TemplateDialog::SetEnabled(int control_id, bool enabled) {
  if (QWidget* w = Find(control_id)) w->setEnabled(enabled);
}

void TemplateDialog::MoveControl(int control_id, int x, int y, int width, int height) {
  QWidget* w = Find(control_id);
  if (w == nullptr) return;
  moved_[control_id] = QRect(x, y, width, height);
  w->setGeometry(moved_[control_id]);
}

void TemplateDialog::Place(int x, int y, int width, int height) {
  QWidget* owner = parentWidget();
  const QPoint origin = owner != nullptr ? owner->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
  setGeometry(origin.x(), origin.y(), width, height);
}

void TemplateDialog::End(int result) {
  if (ended_) return;
  ended_ = true;
  done(result);
}

bool TemplateDialog::SetTextFromOutside(int control_id, const std::string& text) {
  QWidget* w = Find(control_id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(QString::fromStdString(text));
    return true;
  }
  return false;
}

bool TemplateDialog::CanClick(int control_id) const {
  auto* button = qobject_cast<QAbstractButton*>(Find(control_id));
  return button != nullptr && button->isEnabled();
}

bool TemplateDialog::ClickFromOutside(int control_id) {
  auto* button = qobject_cast<QAbstractButton*>(Find(control_id));
  if (!CanClick(control_id)) return false;
  button->click();
  return true;
}

QJsonObject TemplateDialog::StateJson() const {
  QJsonObject controls;
  for (size_t i = 0; i < widgets_.size(); ++i) {
    const DialogControlTemplate& c = template_.controls[i];
    if (c.id == kUnnamedControlId) continue;
    QWidget* w = widgets_[i];
    QJsonObject control;
    control["text"] = QString::fromStdString(Text(c.id));
    control["visible"] = w->isVisibleTo(const_cast<TemplateDialog*>(this));
    control["enabled"] = w->isEnabled();
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && button->isCheckable()) {
      control["checked"] = button->isChecked();
    }
    if (auto* list = qobject_cast<QListWidget*>(w)) {
      QJsonArray items;
      for (int row = 0; row < list->count(); ++row) items.append(list->item(row)->text());
      control["items"] = items;
      control["selection"] = ListSelection(c.id);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      QJsonArray items;
      for (int row = 0; row < combo->count(); ++row) items.append(combo->itemText(row));
      control["items"] = items;
      control["selection"] = combo->currentIndex();
    }
    controls[QString::number(c.id)] = control;
  }
  QJsonObject state;
  state["id"] = template_.id;
  state["caption"] = QString::fromUtf8(template_.caption);
  state["controls"] = controls;
  return state;
}

}  // namespace kestrelio
