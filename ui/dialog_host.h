// A modal dialog built from a resource template: one Qt widget per template control,
// the controller's callbacks on button presses, and the re-layout operation that puts
// every control back at its template rectangle when the dialog changes size. A control
// the controller placed itself (MoveControl) keeps that place through the re-layout, and
// the controller hears when the owner window changes size.
#pragma once

#include <QDialog>
#include <QFont>
#include <QJsonObject>
#include <QPointer>
#include <QRect>
#include <map>
#include <vector>

#include "base/window/window.h"
#include "resources/dialog_templates.h"

namespace kestrelio {

class ScaledIndicatorStyle;

// The whole-number scale a window is drawn at (1: the phone's own size), as a property
// of the window; dialogs it owns are drawn at the same scale.
inline constexpr char kLayoutScaleProperty[] = "kestrelioLayoutScale";
inline constexpr int kMaxLayoutScale = 8;
int LayoutScaleOf(const QWidget* widget);
// The application font grown by `scale`.
QFont ScaledDialogFont(int scale);

class TemplateDialog : public QDialog, public DialogAccess {
  Q_OBJECT

 public:
  enum class Role { kModal, kPage };
  TemplateDialog(QWidget* owner, const DialogTemplate& dialog_template,
                 DialogController& controller, Role role = Role::kModal);

  int dialog_id() const { return template_.id; }
  // Runs the controller's OnInit; call once, before showing.
  void Initialise();
  // Remote control: type into a control, press a button (a radio button or check box is
  // clicked as a person would: checked or toggled, then the dialog hears of it). False for
  // an unknown control or one that cannot take the action (disabled or hidden).
  bool SetTextFromOutside(int control_id, const std::string& text);
  bool ClickFromOutside(int control_id);
  bool CanClick(int control_id) const;
  // Selects item `index` of a list box, drop-down list or tab control as a user would,
  // with the selection notification to the controller. False for an unknown control or
  // an index out of range (-1, no selection, only for list boxes).
  bool SelectFromOutside(int control_id, int index);
  bool CanSelect(int control_id, int index) const;
  QJsonObject StateJson() const;
  // The child pages opened with OpenPage, in order.
  std::vector<TemplateDialog*> Pages() const;
  bool is_page() const { return role_ == Role::kPage; }
  // Closes with -1 without calling the controller again (the window is closing).
  void Abandon();

  // DialogAccess
  std::string Text(int control_id) const override;
  void SetText(int control_id, std::string_view text) override;
  void Show(int control_id, bool visible) override;
  void ListAppend(int control_id, std::string_view line) override;
  void ListClear(int control_id) override;
  int ListSelection(int control_id) const override;
  bool IsChecked(int control_id) const override;
  void SetChecked(int control_id, bool checked) override;
  void End(int result) override;
  void SetListSelection(int control_id, int index) override;
  void SetEnabled(int control_id, bool enabled) override;
  void MoveControl(int control_id, int x, int y, int width, int height) override;
  void Place(int x, int y, int width, int height) override;
  void ListAppendWithIcon(int control_id, std::string_view text, int icon_bitmap_id) override;
  bool OpenPage(int page_dialog_id, int tab_control_id, DialogController& controller) override;
  void ShowPage(int page_dialog_id, bool visible) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Find(int control_id) const;
  // Phone pixels to the dialog's own.
  QRect Scaled(const QRect& r) const;
  // The owner now shows at `scale`: fonts, rows and positions follow.
  void Rescale(int scale);
  // Every control at its template rectangle, or where the controller moved it.
  void LayOutControls();
  void Press(int control_id);

  void AbandonPages();

  const DialogTemplate& template_;
  DialogController& controller_;
  const Role role_;
  int scale_ = 1;
  ScaledIndicatorStyle* indicator_style_ = nullptr;  // owned as a child object
  std::vector<QWidget*> widgets_;                    // in template order
  std::map<int, QRect> moved_;  // controls the controller placed, by id, phone pixels
  std::vector<QPointer<TemplateDialog>> pages_;
  bool ended_ = false;
  bool abandoned_ = false;
};

// The re-layout operation: every template control goes back to its template rectangle,
// `scale` times its size. True only when every control was found and the template is
// sound (at most one control with the unnamed id). Current texts and selections are kept.
bool RelayoutDialog(const DialogTemplate& dialog_template, const std::vector<QWidget*>& widgets,
                    int scale = 1);

}  // namespace kestrelio
