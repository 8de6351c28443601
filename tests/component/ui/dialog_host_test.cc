// The Qt dialog host under the offscreen platform: owner-drawn list items with icons,
// selection notifications, tab pages, and dialogs drawn at their owner's scale.
#include "ui/dialog_host.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QKeyEvent>
#include <QListWidget>
#include <QTabBar>

#include "resources/bitmaps.h"
#include "tests/support/qt_app.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

class RecordingController : public DialogController {
 public:
  std::function<void(DialogAccess&)> init;
  void OnInit(DialogAccess& dialog) override {
    if (init) init(dialog);
  }
  void OnCommand(DialogAccess&, int control_id) override { commands.push_back(control_id); }
  void OnClose(DialogAccess& dialog) override {
    ++closes;
    dialog.End(16);
  }
  std::vector<int> commands;
  int closes = 0;
};

QListWidget* ListOf(TemplateDialog& dialog) { return dialog.findChild<QListWidget*>(); }

TEST(DialogHost, OwnerDrawnItemsHaveFixedHeightAndTheirIconAtTheTopLeft) {
  App();
  RecordingController controller;
  controller.init = [](DialogAccess& d) {
    d.ListAppendWithIcon(1048, "Alma (me), 12065550101", 148);
    d.ListAppendWithIcon(1048, "Bruno, 12065550102", 149);
  };
  TemplateDialog dialog(nullptr, *FindDialogTemplate(141), controller);
  dialog.Initialise();
  dialog.show();
  QListWidget* list = ListOf(dialog);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->visualItemRect(list->item(1)).height(), 15);
  EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  const QImage shot = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int row = 0; row < 2; ++row) {
    const QPoint origin = list->visualItemRect(list->item(row)).topLeft();
    const QImage icon = DrawBitmap(row == 0 ? 148 : 149).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(origin + QPoint(6, 6)), icon.pixel(6, 6)) << row;
  }
  EXPECT_TRUE(controller.commands.empty());  // filling the list notifies nothing
}

TEST(DialogHost, SelectionNotifiesOnlyWhenTheUserSelects) {
  App();
  RecordingController controller;
  controller.init = [](DialogAccess& d) {
    d.ListAppendWithIcon(1061, "[03/07 14:05] Bruno, 12065550102", 151);
    d.ListAppendWithIcon(1061, "[03/07 14:06] Cleo, 12065550103", 152);
    d.SetListSelection(1061, 0);  // the controller's own selection
  };
  TemplateDialog dialog(nullptr, *FindDialogTemplate(143), controller);
  dialog.Initialise();
  EXPECT_TRUE(controller.commands.empty());
  EXPECT_EQ(dialog.ListSelection(1061), 0);
  EXPECT_FALSE(dialog.CanSelect(1061, 2));
  EXPECT_FALSE(dialog.CanSelect(1059, 0));  // a button is not a list
  EXPECT_TRUE(dialog.SelectFromOutside(1061, 1));
  EXPECT_EQ(dialog.ListSelection(1061), 1);
  EXPECT_EQ(controller.commands, std::vector<int>{1061});
  EXPECT_TRUE(dialog.SelectFromOutside(1061, -1));
  EXPECT_EQ(dialog.ListSelection(1061), -1);
  const QJsonObject state = dialog.StateJson()["controls"].toObject()["1061"].toObject();
  EXPECT_EQ(state["icons"].toArray().size(), 2);
  EXPECT_EQ(state["icons"].toArray()[1].toInt(), 152);
}

class PageController : public DialogController {
 public:
  void OnInit(DialogAccess&) override { ++inits; }
  void OnCommand(DialogAccess& dialog, int control_id) override {
    if (control_id == 1024) dialog.End(0);
  }
  int inits = 0;
};

class FrameController : public DialogController {
 public:
  void OnInit(DialogAccess& d) override {
    d.ListAppend(1082, "General");
    d.ListAppend(1082, "Advanced");
    opened = d.OpenPage(159, 1082, general) && d.OpenPage(136, 1082, advanced);
    d.ShowPage(159, true);
    d.ShowPage(136, false);
  }
  void OnCommand(DialogAccess& d, int control_id) override {
    if (control_id != 1082) return;
    d.ShowPage(159, d.ListSelection(1082) == 0);
    d.ShowPage(136, d.ListSelection(1082) == 1);
  }
  PageController general, advanced;
  bool opened = false;
};

TEST(DialogHost, PagesLieOverTheTabAreaAndFollowTheTabs) {
  App();
  FrameController controller;
  TemplateDialog dialog(nullptr, *FindDialogTemplate(158), controller);
  dialog.Initialise();
  dialog.show();
  ASSERT_TRUE(controller.opened);
  EXPECT_EQ(controller.general.inits, 1);
  const std::vector<TemplateDialog*> pages = dialog.Pages();
  ASSERT_EQ(pages.size(), 2u);
  QTabBar* tabs = dialog.findChild<QTabBar*>();
  ASSERT_NE(tabs, nullptr);
  for (TemplateDialog* page : pages) {
    EXPECT_EQ(page->parentWidget(), &dialog);
    EXPECT_EQ(page->geometry().left(), tabs->geometry().left() - 3);
    EXPECT_GT(page->geometry().top(), tabs->geometry().top());
  }
  EXPECT_TRUE(pages[0]->isVisible());
  EXPECT_FALSE(pages[1]->isVisible());

  EXPECT_TRUE(dialog.SelectFromOutside(1082, 1));
  EXPECT_FALSE(pages[0]->isVisible());
  EXPECT_TRUE(pages[1]->isVisible());

  // Apply on a page hides the page and leaves the dialog open.
  EXPECT_TRUE(pages[1]->ClickFromOutside(1024));
  EXPECT_FALSE(pages[1]->isVisible());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(pages[0]->StateJson()["visible"].toBool());
  EXPECT_EQ(pages[0]->StateJson()["page_of"].toInt(), 158);

  // Escape inside a page closes the dialog, not only the page.
  static_cast<QDialog*>(pages[0])->reject();
  EXPECT_FALSE(dialog.isVisible());
}

// The Missed Call dialog's control 2 is its "Dismiss" button: pressing it is a command,
// while Escape and the window's close button are a close, which the controller tells
// apart from the button.
TEST(DialogHost, EscapeIsACloseAndNotThePressOfControlTwo) {
  App();
  RecordingController controller;
  TemplateDialog dismissed(nullptr, *FindDialogTemplate(157), controller);
  dismissed.Initialise();
  dismissed.show();
  EXPECT_TRUE(dismissed.ClickFromOutside(2));
  EXPECT_EQ(controller.commands, std::vector<int>{2});
  EXPECT_EQ(controller.closes, 0);

  TemplateDialog escaped(nullptr, *FindDialogTemplate(157), controller);
  escaped.Initialise();
  escaped.show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&escaped, &escape);
  EXPECT_EQ(controller.closes, 1);
  EXPECT_EQ(controller.commands, std::vector<int>{2});
  EXPECT_EQ(escaped.result(), 16);

  TemplateDialog closed(nullptr, *FindDialogTemplate(157), controller);
  closed.Initialise();
  closed.show();
  EXPECT_TRUE(closed.close());
  EXPECT_EQ(controller.closes, 2);
  EXPECT_EQ(controller.commands, std::vector<int>{2});
}

// The dialog keeps its template layout at any size: after a resize every control is
// back at its template rectangle.
TEST(DialogHost, AResizePutsEveryControlBackAtItsTemplateRectangle) {
  App();
  RecordingController controller;
  const DialogTemplate& missed = *FindDialogTemplate(157);
  TemplateDialog dialog(nullptr, missed, controller);
  dialog.Initialise();
  dialog.show();
  QWidget* history = nullptr;
  for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>()) {
    if (b->text() == "See History") history = b;
  }
  ASSERT_NE(history, nullptr);
  history->setGeometry(0, 0, 5, 5);
  dialog.resize(300, 200);
  PumpUntil([&] { return dialog.size() == QSize(300, 200); });
  const PixelRect r = MapDialogRect(missed.controls[1]);
  EXPECT_EQ(history->geometry(), QRect(r.x, r.y, r.width, r.height));
}

// Laid out, no control a user can see lies over another or past its dialog's edge, and
// every check box has room for its whole text.
// So at twice the phone size, as on a desktop screen.
TEST(DialogHost, ControlsNeitherOverlapNorLeaveTheDialogNorCutTheirText) {
  App();
  RecordingController controller;
  QWidget twice;
  twice.setProperty(kLayoutScaleProperty, 2);
  for (const DialogTemplate& dialog_template : AllDialogTemplates()) {
    for (QWidget* owner : {static_cast<QWidget*>(nullptr), &twice}) {
      TemplateDialog dialog(owner, dialog_template, controller);
      const QRect inside(QPoint(0, 0), dialog.size());
      std::vector<std::pair<int, QRect>> shown;
      for (QWidget* widget : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (widget->isHidden()) continue;
        const QRect rect = widget->geometry();
        EXPECT_TRUE(inside.contains(rect)) << "dialog " << dialog_template.id;
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
          EXPECT_LE(box->sizeHint().width(), rect.width())
              << "dialog " << dialog_template.id << ": " << box->text().toStdString();
        }
        for (const auto& [index, other] : shown) {
          EXPECT_FALSE(rect.intersects(other)) << "dialog " << dialog_template.id << ": controls "
                                               << index << " and " << shown.size() << " overlap";
        }
        shown.emplace_back(static_cast<int>(shown.size()), rect);
      }
    }
  }
}

TEST(DialogHost, ADialogIsDrawnAtItsOwnersScaleAndFollowsItWhenTheOwnerResizes) {
  App();
  QWidget owner;
  owner.setProperty(kLayoutScaleProperty, 2);
  owner.resize(480, 640);
  owner.show();
  RecordingController controller;
  const DialogTemplate& missed = *FindDialogTemplate(157);
  TemplateDialog dialog(&owner, missed, controller);
  dialog.Initialise();
  const PixelRect size =
      MapDialogRect({0, ControlKind::kStatic, "", 0, 0, missed.width, missed.height, 0});
  EXPECT_EQ(dialog.size(), QSize(2 * size.width, 2 * size.height));
  const PixelRect r = MapDialogRect(missed.controls[1]);
  QWidget* control = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).value(1);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->geometry(), QRect(2 * r.x, 2 * r.y, 2 * r.width, 2 * r.height));
  const QFont phone_font = QApplication::font();
  if (phone_font.pixelSize() > 0) {
    EXPECT_EQ(dialog.font().pixelSize(), 2 * phone_font.pixelSize());
  } else {
    EXPECT_DOUBLE_EQ(dialog.font().pointSizeF(), 2 * phone_font.pointSizeF());
  }
  // What the controller says in phone pixels lands at twice that.
  dialog.Place(35, 150, 170, 100);
  EXPECT_EQ(dialog.geometry(), QRect(owner.mapToGlobal(QPoint(70, 300)), QSize(340, 200)));
  const int moved_id = missed.controls[1].id;
  dialog.MoveControl(moved_id, 5, 6, 70, 20);
  EXPECT_EQ(control->geometry(), QRect(10, 12, 140, 40));

  // The owner back at the phone size: the dialog follows before its controller hears.
  owner.setProperty(kLayoutScaleProperty, 1);
  owner.resize(240, 320);
  ASSERT_TRUE(PumpUntil([&] {
    return dialog.font().pixelSize() == phone_font.pixelSize() &&
           dialog.font().pointSizeF() == phone_font.pointSizeF();
  }));
  EXPECT_EQ(control->geometry(), QRect(5, 6, 70, 20));
  dialog.Place(35, 150, 170, 100);
  EXPECT_EQ(dialog.geometry(), QRect(owner.mapToGlobal(QPoint(35, 150)), QSize(170, 100)));

  // Owner-drawn rows and their icons grow too.
  TemplateDialog contacts(&owner, *FindDialogTemplate(141), controller);
  owner.setProperty(kLayoutScaleProperty, 2);
  TemplateDialog big_contacts(&owner, *FindDialogTemplate(141), controller);
  for (TemplateDialog* d : {&contacts, &big_contacts}) {
    d->ListAppendWithIcon(1048, "Bruno, 12065550102", 149);
    d->show();
  }
  EXPECT_EQ(ListOf(contacts)->visualItemRect(ListOf(contacts)->item(0)).height(), 15);
  QListWidget* list = ListOf(big_contacts);
  EXPECT_EQ(list->visualItemRect(list->item(0)).height(), 30);
  const QImage shot = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage icon = DrawBitmap(149).convertToFormat(QImage::Format_RGB32);
  const QPoint origin = list->visualItemRect(list->item(0)).topLeft();
  EXPECT_EQ(shot.pixel(origin + QPoint(12, 13)), icon.pixel(6, 6));
  EXPECT_EQ(shot.pixel(origin + QPoint(13, 12)), icon.pixel(6, 6));
}

// The three contact icons differ by shape, not only by colour: their drawn pixels
// (anything not white) cover different areas.
TEST(Bitmaps, ContactIconsDifferByShape) {
  auto mask = [](int id) {
    const QImage image = DrawBitmap(id).convertToFormat(QImage::Format_RGB32);
    std::vector<bool> drawn;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        drawn.push_back(image.pixel(x, y) != qRgb(255, 255, 255));
      }
    }
    return drawn;
  };
  App();
  EXPECT_EQ(DrawBitmap(148).size(), QSize(12, 12));
  EXPECT_NE(mask(148), mask(149));
  EXPECT_NE(mask(148), mask(1000));
  EXPECT_NE(mask(149), mask(1000));
}

}  // namespace
}  // namespace kestrelio
