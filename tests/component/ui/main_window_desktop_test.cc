// The main window on a desktop: scale, icons, status line, picture smoothing, and the
// ring attention of the incoming-call prompt (offscreen platform, no session bus needed).
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QToolBar>
#include <QToolButton>
#include <set>
#include <thread>
#include <vector>

#include "base/window/ids.h"
#include "tests/support/qt_app.h"
#include "ui/main_window.h"
#include "ui/ring_attention.h"
#include "ui/status_fit.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

class DesktopWindowTest : public ::testing::Test {
 protected:
  DesktopWindowTest() {
    App();
    window = std::make_unique<MainWindow>(call_flags, view_flags);
    window->InitialiseForStartUp();
    window->show();
    PumpUntil([&] { return window->isVisible(); });
    bar_height = window->height() - window->GetClientSize().height;
  }
  QLabel* StatusLabel() {
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->geometry() == QRect(0,
                                     window->GetClientSize().height - 15 * window->layout_scale(),
                                     window->GetClientSize().width, 15 * window->layout_scale())) {
        return label;
      }
    }
    return nullptr;
  }
  QAction* SoftKey(int id) { return window->findChild<QAction*>(QString("softkey_%1").arg(id)); }
  bool ResizeTo(int scale) {
    window->resize(240 * scale, (320 + bar_height) * scale);
    return PumpUntil([&] {
      // The bar grows with the scale, so the client ends a whole phone client high.
      const ClientSize pixels = window->ClientPixels().value_or(ClientSize{});
      return pixels.width == 240 * scale && pixels.height == 320 * scale &&
             window->logic().layout().scale == scale;
    });
  }

  CallFlags call_flags;
  ViewFlags view_flags;
  std::unique_ptr<MainWindow> window;
  int bar_height = 0;
};

TEST_F(DesktopWindowTest, LongStatusTextShrinksToFitAndIsItsTooltip) {
  const std::string text = "to 12065550102, 0:05, 15 fps, 3765 bytes, 0, 100%";
  window->SetControlText(kControlStatusLine, text);
  QLabel* label = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    label = StatusLabel();
    return label != nullptr && label->text().toStdString() == text;
  }));
  EXPECT_EQ(label->toolTip().toStdString(), text);
  const QFont font = label->font();
  EXPECT_LT(font.pixelSize(), StatusMaxPixelSize(1));
  EXPECT_GE(font.pixelSize(), kStatusMinPixelSize);
  EXPECT_LE(QFontMetrics(font).horizontalAdvance(label->text()), label->width());

  // A short text goes back to the full size.
  window->SetControlText(kControlStatusLine, "Disconnected");
  ASSERT_TRUE(PumpUntil([&] { return label->text() == "Disconnected"; }));
  EXPECT_EQ(label->font().pixelSize(), StatusMaxPixelSize(1));
}

TEST_F(DesktopWindowTest, TwiceThePhoneSizeScalesLayoutBarAndSharpIcons) {
  const Layout phone = window->logic().layout();
  ASSERT_TRUE(ResizeTo(2));
  EXPECT_EQ(window->ClientPixels()->height, 640);
  // Dialogs are placed in phone pixels whatever the scale.
  EXPECT_EQ(window->GetClientSize().width, 240);
  EXPECT_EQ(window->GetClientSize().height, 320);
  const Layout big = window->logic().layout();
  EXPECT_EQ(big.primary, (VideoRect{0, 0, 2 * phone.primary.right, 2 * phone.primary.bottom}));
  EXPECT_EQ(big.status_line, (ControlRect{0, 610, 480, 30}));
  EXPECT_EQ(window->findChild<QToolBar*>()->iconSize(), QSize(32, 32));

  // The icon is the 16-pixel bitmap in 2x2 blocks: no blurred in-between pixels.
  QAction* dial = SoftKey(kCommandDial);
  ASSERT_NE(dial, nullptr);
  const QImage icon = dial->icon().pixmap(32, 32).toImage();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  for (int y = 0; y < 32; y += 2) {
    for (int x = 0; x < 32; x += 2) {
      const QRgb p = icon.pixel(x, y);
      EXPECT_EQ(icon.pixel(x + 1, y), p);
      EXPECT_EQ(icon.pixel(x, y + 1), p);
      EXPECT_EQ(icon.pixel(x + 1, y + 1), p);
    }
  }
  // A button image changed at this scale comes at this scale too.
  window->SetButtonImage(kCommandView, kImageView3);
  ASSERT_TRUE(PumpUntil(
      [&] { return SoftKey(kCommandView)->icon().availableSizes().value(0) == QSize(32, 32); }));

  // Back to the phone size.
  ASSERT_TRUE(ResizeTo(1));
  EXPECT_EQ(window->logic().layout().primary, phone.primary);
  EXPECT_EQ(window->findChild<QToolBar*>()->iconSize(), QSize(16, 16));
}

// The number of different grey levels in the peer rectangle after drawing a 2x2
// black-and-white checkerboard stretched into it.
int GreyLevels(MainWindow& window) {
  const uint8_t bytes[] = {0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0};
  window.DrawPicture(VideoTarget::kPrimary, {bytes, 2, 2, 6, false});
  QApplication::processEvents();
  const QImage shot = window.grab().toImage();
  const VideoRect r = window.logic().layout().primary;
  std::set<int> levels;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) levels.insert(qGray(shot.pixel(x, y)));
  }
  return static_cast<int>(levels.size());
}

TEST_F(DesktopWindowTest, SmoothPicturesBlendAndNearestNeighbourDoesNot) {
  call_flags.video_active = true;
  std::vector<bool> told;
  window->SetSmoothPicturesListener([&](bool on) { told.push_back(on); });
  EXPECT_TRUE(window->smooth_pictures());
  EXPECT_GT(GreyLevels(*window), 2);

  // The File menu's item switches it off, as a user would.
  auto* item = window->findChild<QAction*>("smooth_pictures");
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(item->isCheckable());
  item->trigger();
  EXPECT_FALSE(window->smooth_pictures());
  EXPECT_EQ(GreyLevels(*window), 2);
  window->SetSmoothPictures(true);
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(told, (std::vector<bool>{false, true}));
}

TEST(FlashLevel, SoftTwiceASecond) {
  EXPECT_DOUBLE_EQ(FlashLevel(0), 0.0);
  EXPECT_NEAR(FlashLevel(250), 1.0, 1e-9);
  EXPECT_NEAR(FlashLevel(500), 0.0, 1e-9);
  EXPECT_NEAR(FlashLevel(125), 0.5, 1e-9);
  for (int ms = 0; ms < 2000; ms += 10) {
    EXPECT_GE(FlashLevel(ms), 0.0);
    EXPECT_LE(FlashLevel(ms), 1.0);
  }
}

TEST_F(DesktopWindowTest, IncomingPromptRingsWhileTheVibratorPulsesAndStopsWithIt) {
  MessageBoxResult result = MessageBoxResult::kClosed;
  std::thread worker([&] {
    result = window->ShowMessageBox("Incoming call from 12065550111 (Bob).\n\n Accept?",
                                    "Connection", MessageBoxButtons::kYesNo);
  });
  ASSERT_TRUE(PumpUntil([&] { return window->ring_attention().prompt_open(); }));
  // Silent mode: no vibrator pulse, so only the window hint; no flashing.
  EXPECT_FALSE(window->ring_attention().ringing());
  window->Alert(1000);
  ASSERT_TRUE(PumpUntil([&] { return window->ring_attention().ringing(); }));
  ASSERT_TRUE(window->AnswerBox("Connection", MessageBoxResult::kNo));
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kNo);
  ASSERT_TRUE(PumpUntil([&] { return !window->ring_attention().prompt_open(); }));
  EXPECT_FALSE(window->ring_attention().ringing());

  // A chat buzz with no prompt open rings nothing; other "Connection" boxes are no prompt.
  window->Alert(200);
  std::thread question([&] {
    window->ShowMessageBox("Do you want to hang up?", "Connection", MessageBoxButtons::kYesNo);
  });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  EXPECT_FALSE(window->ring_attention().prompt_open());
  EXPECT_FALSE(window->ring_attention().ringing());
  window->CloseMessageBox("Connection");
  question.join();
}

TEST_F(DesktopWindowTest, APromptClosedByTheCallerStopsTheRinging) {
  std::thread worker([&] {
    window->Alert(1000);  // the ring request is set just before the prompt opens
    window->ShowMessageBox("Incoming call from 1 (A).\n\n Accept?", "Connection",
                           MessageBoxButtons::kYesNo);
  });
  ASSERT_TRUE(PumpUntil([&] { return window->ring_attention().ringing(); }));
  EXPECT_TRUE(window->CloseMessageBox("Connection"));
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return !window->ring_attention().ringing(); }));
}

}  // namespace
}  // namespace kestrelio
