#include "ui/chat_list_view.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QScrollBar>
#include <memory>

#include "base/window/ids.h"
#include "tests/support/qt_app.h"
#include "ui/main_window.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

QString Line(int i) { return QString("Bob> line %1").arg(i); }

TEST(ChatListViewTest, AFloodKeepsTheNewestLinesAndAPaintDrawsOnlyTheRowsInView) {
  App();
  ChatListView view(nullptr, kChatListMaxLines);
  view.resize(170, 50);
  view.show();
  for (int i = 0; i < 20000; ++i) {
    view.Append(Line(i));
    // Paint now and then, as the event loop does during a flood.
    if (i % 2000 == 0) view.grab();
  }
  ASSERT_EQ(view.count(), kChatListMaxLines);
  EXPECT_EQ(view.line(0), Line(19500));
  EXPECT_EQ(view.line(kChatListMaxLines - 1), Line(19999));
  // Scrolled to the newest line.
  EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());

  // However long the history, a paint draws the rows that fit the viewport (plus one
  // cut at the bottom), so a line costs the same at the 20,000th as at the first.
  view.grab();
  const int in_view = view.viewport()->height() / view.row_height() + 1;
  EXPECT_GT(view.last_painted_rows(), 0);
  EXPECT_LE(view.last_painted_rows(), in_view);

  view.Clear();
  EXPECT_EQ(view.count(), 0u);
  EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
}

TEST(ChatListViewTest, TheMainWindowChatListIsCappedInItsStateToo) {
  App();
  CallFlags call_flags;
  ViewFlags view_flags;
  auto window = std::make_unique<MainWindow>(call_flags, view_flags);
  for (int i = 0; i < 1200; ++i) window->ListAppend(kControlChatList, Line(i).toStdString());
  const QJsonArray items = window->StateJson()["controls"]
                               .toObject()[QString::number(kControlChatList)]
                               .toObject()["items"]
                               .toArray();
  ASSERT_EQ(items.size(), static_cast<qsizetype>(kChatListMaxLines));
  EXPECT_EQ(items.first().toString(), Line(700));
  EXPECT_EQ(items.last().toString(), Line(1199));
  auto* list = window->findChild<ChatListView*>();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return list->count() == kChatListMaxLines; }));
  EXPECT_EQ(list->line(kChatListMaxLines - 1), Line(1199));
}

}  // namespace
}  // namespace kestrelio
