#include "device/notifications.h"

#include <gtest/gtest.h>

namespace kestrelio {
namespace {

TEST(SignInBubbleTest, PageTagsGoBoldStaysAndNetworkTextIsEscaped) {
  const std::string html =
      "<html><body>[<b>Ann</b>] [<b>B&amp;<i>x</i></b>] have just signed in.</body></html>";
  EXPECT_EQ(SignInBubbleBody(html, true),
            "[<b>Ann</b>] [<b>B&amp;amp;&lt;i&gt;x&lt;/i&gt;</b>] have just signed in.");
  EXPECT_EQ(SignInBubbleBody(html, false), "[Ann] [B&amp;<i>x</i>] have just signed in.");
  EXPECT_EQ(SignInBubbleBody("<HTML><BODY>[<B>Jo</B>] has just signed in.</BODY></HTML>", false),
            "[Jo] has just signed in.");
  EXPECT_EQ(SignInBubbleBody("<b", true), "&lt;b");
  EXPECT_EQ(SignInBubbleBody("", true), "");
}

TEST(DesktopNotifierTest, NoBusMeansFallback) {
  // An address nobody listens on: the caller must use its in-window fallback.
  DesktopNotifier notifier("unix:path=/nonexistent/kestrelio-test-bus");
  EXPECT_FALSE(notifier.ShowSignInBubble("<html><body>x</body></html>"));
}

}  // namespace
}  // namespace kestrelio
