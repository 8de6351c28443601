#include "ui/dialog_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QIntValidator>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <algorithm>
#include <map>

#include "base/diag.h"
#include "resources/bitmaps.h"

namespace kestrelio {
namespace {

QString ToQ(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where an owner-drawn item keeps the bitmap id of its icon.
constexpr int kIconRole = Qt::UserRole + 1;
constexpr int kOwnerDrawnItemHeight = 15;
constexpr int kOwnerDrawnTextLeft = 15;

// Owner-drawn list items: fixed 15-pixel rows, the item's icon at the top-left corner,
// the text from x 15, black or, when selected, light blue (128, 128, 255).
class IconItemDelegate : public QStyledItemDelegate {
 public:
  // `scale`: the dialog's whole-number scale; rows, indent and icons grow with it.
  IconItemDelegate(QObject* parent, int scale) : QStyledItemDelegate(parent), scale_(scale) {}
  void set_scale(int scale) {
    scale_ = scale;
    icons_.clear();  // drawn again at the new size
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return QSize(option.rect.width(), kOwnerDrawnItemHeight * scale_);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    painter->fillRect(option.rect, Qt::white);
    const int icon_id = index.data(kIconRole).toInt();
    if (icon_id != 0) painter->drawImage(option.rect.topLeft(), Icon(icon_id));
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(selected ? QColor(128, 128, 255) : QColor(Qt::black));
    painter->drawText(option.rect.adjusted(kOwnerDrawnTextLeft * scale_, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
  }

 private:
  // The icons are drawn once and kept, as the program loads its bitmaps once.
  const QImage& Icon(int bitmap_id) const {
    auto it = icons_.find(bitmap_id);
    if (it == icons_.end()) {
      QImage icon = DrawBitmap(bitmap_id);
      // Whole-pixel blocks keep the small bitmaps sharp.
      if (scale_ > 1 && !icon.isNull()) {
        icon = icon.scaled(icon.width() * scale_, icon.height() * scale_, Qt::IgnoreAspectRatio,
                           Qt::FastTransformation);
      }
      it = icons_.emplace(bitmap_id, std::move(icon)).first;
    }
    return it->second;
  }
  int scale_;
  mutable std::map<int, QImage> icons_;
};

}  // namespace

// The application's style with check-box and radio-button indicators grown by the
// dialog's scale; the style alone would keep them at their phone size beside large text.
class ScaledIndicatorStyle : public QProxyStyle {
 public:
  explicit ScaledIndicatorStyle(int scale) : scale_(scale) {}
  void set_scale(int scale) { scale_ = scale; }
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    switch (metric) {
      case PM_IndicatorWidth:
      case PM_IndicatorHeight:
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight:
        return value * scale_;
      default:
        return value;
    }
  }

 private:
  int scale_;
};

namespace {

QWidget* MakeWidget(const DialogControlTemplate& c, QWidget* parent, int scale) {
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
    case ControlKind::kListBox: {
      auto* list = new QListWidget(parent);
      list->setItemDelegate(new IconItemDelegate(list, scale));
      list->setUniformItemSizes(true);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      // The scroll bar stays shown, disabled when every item fits.
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      widget = list;
      break;
    }
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

int LayoutScaleOf(const QWidget* widget) {
  if (widget == nullptr) return 1;
  const QVariant value = widget->property(kLayoutScaleProperty);
  return value.isValid() ? std::clamp(value.toInt(), 1, kMaxLayoutScale) : 1;
}

QFont ScaledDialogFont(int scale) {
  QFont font = QApplication::font();
  if (font.pixelSize() > 0) {
    font.setPixelSize(font.pixelSize() * scale);
  } else {
    font.setPointSizeF(font.pointSizeF() * scale);
  }
  return font;
}

bool RelayoutDialog(const DialogTemplate& dialog_template, const std::vector<QWidget*>& widgets,
                    int scale) {
  bool all_found = widgets.size() == dialog_template.controls.size();
  for (size_t i = 0; i < dialog_template.controls.size(); ++i) {
    QWidget* widget = i < widgets.size() ? widgets[i] : nullptr;
    if (widget == nullptr) {
      all_found = false;
      continue;
    }
    const PixelRect r = MapDialogRect(dialog_template.controls[i]);
    // A drop-down's template height includes its open list; closed it is one line high.
    int height = r.height * scale;
    if (dialog_template.controls[i].kind == ControlKind::kDropDownList) {
      height = std::min(height, widget->sizeHint().height());
    }
    widget->setGeometry(r.x * scale, r.y * scale, r.width * scale, height);
  }
  return all_found && IsTemplateSound(dialog_template);
}

TemplateDialog::TemplateDialog(QWidget* owner, const DialogTemplate& dialog_template,
                               DialogController& controller, Role role)
    : QDialog(owner),
      template_(dialog_template),
      controller_(controller),
      role_(role),
      scale_(LayoutScaleOf(owner)) {
  // A page is a child widget of its dialog, not a window of its own.
  if (role_ == Role::kPage) setWindowFlags(Qt::Widget);
  setWindowTitle(QString::fromUtf8(dialog_template.caption));
  // The dialog is drawn at its owner's scale; its pages take it from the dialog.
  setProperty(kLayoutScaleProperty, scale_);
  if (scale_ > 1) setFont(ScaledDialogFont(scale_));
  indicator_style_ = new ScaledIndicatorStyle(scale_);
  indicator_style_->setParent(this);
  const PixelRect size = MapDialogRect(
      {0, ControlKind::kStatic, "", 0, 0, dialog_template.width, dialog_template.height, 0});
  resize(size.width * scale_, size.height * scale_);
  for (const DialogControlTemplate& c : dialog_template.controls) {
    QWidget* widget = MakeWidget(c, this, scale_);
    if (c.kind == ControlKind::kCheckBox || c.kind == ControlKind::kRadioButton) {
      widget->setStyle(indicator_style_);
    }
    widgets_.push_back(widget);
    const int id = c.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      connect(button, &QAbstractButton::clicked, this, [this, id] { Press(id); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
      connect(list, &QListWidget::itemActivated, this, [this, id] { Press(id); });
      // The selection notification; the controller's own changes are not reported.
      connect(list, &QListWidget::itemSelectionChanged, this, [this, id] { Press(id); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      connect(combo, &QComboBox::currentIndexChanged, this, [this, id] { Press(id); });
    } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
      connect(tabs, &QTabBar::currentChanged, this, [this, id] { Press(id); });
    }
  }
  if (!RelayoutDialog(template_, widgets_, scale_)) {
    Diag("dialog %d: template controls could not all be placed", template_.id);
  }
  if (owner != nullptr) owner->installEventFilter(this);
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    if (role_ != Role::kPage) Rescale(LayoutScaleOf(parentWidget()));
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

void TemplateDialog::AbandonPages() {
  for (const QPointer<TemplateDialog>& page : pages_) {
    if (page) page->abandoned_ = true;
  }
}

void TemplateDialog::Abandon() {
  AbandonPages();
  abandoned_ = true;
  ended_ = true;
  done(-1);
}

void TemplateDialog::reject() {
  // Escape inside a page is meant for the dialog around it.
  if (role_ == Role::kPage) {
    if (auto* frame = qobject_cast<TemplateDialog*>(parentWidget())) frame->reject();
    return;
  }
  // Escape or the close button: the controller decides.
  if (!abandoned_) controller_.OnClose(*this);
  // A controller that does not handle IDCANCEL still lets the window close.
  if (!ended_) End(2);
}

void TemplateDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOutControls();
}

void TemplateDialog::LayOutControls() {
  if (!RelayoutDialog(template_, widgets_, scale_)) {
    Diag("dialog %d: re-layout did not place every control", template_.id);
  }
  for (const auto& [id, rect] : moved_) {
    if (QWidget* w = Find(id)) w->setGeometry(Scaled(rect));
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
    QSignalBlocker block(list);
    list->addItem(ToQ(line));
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QSignalBlocker block(combo);
    combo->addItem(ToQ(line));
  } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    QSignalBlocker block(tabs);
    tabs->addTab(ToQ(line));
  }
}

void TemplateDialog::ListAppendWithIcon(int control_id, std::string_view text, int icon_bitmap_id) {
  auto* list = qobject_cast<QListWidget*>(Find(control_id));
  if (list == nullptr) {
    ListAppend(control_id, text);
    return;
  }
  QSignalBlocker block(list);
  auto* item = new QListWidgetItem(ToQ(text));
  item->setData(kIconRole, icon_bitmap_id);
  list->addItem(item);
}

void TemplateDialog::ListClear(int control_id) {
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    QSignalBlocker block(list);
    list->clear();
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QSignalBlocker block(combo);
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
  // The controller's own selection, like a selection message, sends no notification.
  QSignalBlocker block(w);
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
  w->setGeometry(Scaled(moved_[control_id]));
}

void TemplateDialog::Place(int x, int y, int width, int height) {
  // Phone pixels over the owner's client area, which is shown at the dialog's scale.
  QWidget* owner = parentWidget();
  const QRect r = Scaled(QRect(x, y, width, height));
  const QPoint origin = owner != nullptr ? owner->mapToGlobal(r.topLeft()) : r.topLeft();
  setGeometry(origin.x(), origin.y(), r.width(), r.height());
}

QRect TemplateDialog::Scaled(const QRect& r) const {
  return QRect(r.x() * scale_, r.y() * scale_, r.width() * scale_, r.height() * scale_);
}

void TemplateDialog::Rescale(int scale) {
  if (scale == scale_) return;
  const QSize size = this->size();
  const int old_scale = scale_;
  scale_ = scale;
  setProperty(kLayoutScaleProperty, scale_);
  setFont(ScaledDialogFont(scale_));
  indicator_style_->set_scale(scale_);
  for (QWidget* widget : widgets_) {
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
      widget->setStyle(indicator_style_);  // measured again at the new size
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
      if (auto* rows = dynamic_cast<IconItemDelegate*>(list->itemDelegate())) {
        rows->set_scale(scale_);
        list->doItemsLayout();  // the rows' height changed
      }
    }
  }
  for (const QPointer<TemplateDialog>& page : pages_) {
    if (page) page->Rescale(scale);
  }
  resize(size.width() * scale_ / old_scale, size.height() * scale_ / old_scale);
  LayOutControls();  // a hidden dialog hears of its resize only when shown
}

void TemplateDialog::End(int result) {
  if (role_ == Role::kPage) {
    // Ending a page hides it; the tab selection may show it again.
    hide();
    return;
  }
  if (ended_) return;
  ended_ = true;
  AbandonPages();
  done(result);
}

bool TemplateDialog::OpenPage(int page_dialog_id, int tab_control_id,
                              DialogController& controller) {
  const DialogTemplate* page_template = FindDialogTemplate(page_dialog_id);
  auto* tabs = qobject_cast<QTabBar*>(Find(tab_control_id));
  if (page_template == nullptr || tabs == nullptr) {
    Diag("dialog %d: page %d cannot be laid over control %d", template_.id, page_dialog_id,
         tab_control_id);
    return false;
  }
  auto* page = new TemplateDialog(this, *page_template, controller, Role::kPage);
  pages_.emplace_back(page);
  // The display area is the tab control's rectangle below its row of tabs, its left
  // edge moved 3 pixels to the left.
  const QRect area = tabs->geometry();
  const int bar_height = tabs->sizeHint().height();
  page->setGeometry(area.x() - 3 * scale_, area.y() + bar_height, area.width(),
                    std::max(0, area.height() - bar_height));
  page->hide();
  page->raise();
  page->Initialise();
  return true;
}

void TemplateDialog::ShowPage(int page_dialog_id, bool visible) {
  for (const QPointer<TemplateDialog>& page : pages_) {
    if (page && page->dialog_id() == page_dialog_id) {
      page->setVisible(visible);
      if (visible) page->raise();
    }
  }
}

std::vector<TemplateDialog*> TemplateDialog::Pages() const {
  std::vector<TemplateDialog*> out;
  for (const QPointer<TemplateDialog>& page : pages_) {
    if (page) out.push_back(page.data());
  }
  return out;
}

bool TemplateDialog::CanSelect(int control_id, int index) const {
  QWidget* w = Find(control_id);
  if (w == nullptr || !w->isEnabled()) return false;
  if (auto* list = qobject_cast<QListWidget*>(w)) return index >= -1 && index < list->count();
  if (auto* combo = qobject_cast<QComboBox*>(w)) return index >= 0 && index < combo->count();
  if (auto* tabs = qobject_cast<QTabBar*>(w)) return index >= 0 && index < tabs->count();
  return false;
}

bool TemplateDialog::SelectFromOutside(int control_id, int index) {
  if (!CanSelect(control_id, index)) return false;
  QWidget* w = Find(control_id);
  if (auto* list = qobject_cast<QListWidget*>(w)) {
    if (index == -1) {
      list->clearSelection();
    } else {
      list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    return true;
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    combo->setCurrentIndex(index);
    return true;
  }
  if (auto* tabs = qobject_cast<QTabBar*>(w)) {
    if (tabs->currentIndex() == index) {
      Press(control_id);  // a click on the current tab still tells the dialog
    } else {
      tabs->setCurrentIndex(index);
    }
    return true;
  }
  return false;
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
  // Push buttons, radio buttons and check boxes alike; a person cannot click a hidden one.
  auto* button = qobject_cast<QAbstractButton*>(Find(control_id));
  return button != nullptr && button->isEnabled() && button->isVisibleTo(this);
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
      QJsonArray icons;
      for (int row = 0; row < list->count(); ++row) {
        items.append(list->item(row)->text());
        icons.append(list->item(row)->data(kIconRole).toInt());
      }
      control["items"] = items;
      control["icons"] = icons;
      control["selection"] = ListSelection(c.id);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      QJsonArray items;
      for (int row = 0; row < combo->count(); ++row) items.append(combo->itemText(row));
      control["items"] = items;
      control["selection"] = combo->currentIndex();
    } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      QJsonArray items;
      for (int tab = 0; tab < tabs->count(); ++tab) items.append(tabs->tabText(tab));
      control["items"] = items;
      control["selection"] = tabs->currentIndex();
    }
    controls[QString::number(c.id)] = control;
  }
  QJsonObject state;
  state["id"] = template_.id;
  state["caption"] = QString::fromUtf8(template_.caption);
  state["visible"] = isVisible();
  if (role_ == Role::kPage)
    state["page_of"] = qobject_cast<TemplateDialog*>(parentWidget())
                           ? qobject_cast<TemplateDialog*>(parentWidget())->dialog_id()
                           : 0;
  state["controls"] = controls;
  return state;
}

}  // namespace kestrelio
