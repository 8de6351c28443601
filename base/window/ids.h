// Command, control, timer and bitmap ids of the main window. Other programs and the
// remote-control socket use the same numbers, so they never change.
#pragma once

#include <cstddef>

namespace kestrelio {

// Child controls.
inline constexpr int kControlChatEdit = 122;
inline constexpr int kControlChatList = 123;
inline constexpr int kControlStatusLine = 124;
inline constexpr int kControlSend = 127;
inline constexpr int kControlPlus = 121;
inline constexpr int kControlMinus = 126;
inline constexpr int kControlCancel = 155;
inline constexpr int kControlCalling = 154;

// The chat history list keeps its newest lines only; older ones scroll away for good.
inline constexpr size_t kChatListMaxLines = 500;

// Commands (menu items, soft keys, buttons).
inline constexpr int kCommandDial = 110;
inline constexpr int kCommandHangUp = 111;
inline constexpr int kCommandPause = 112;
inline constexpr int kCommandChatPanel = 114;
inline constexpr int kCommandStatusLine = 115;
inline constexpr int kCommandView = 120;
inline constexpr int kCommandPlus = 121;
inline constexpr int kCommandMinus = 126;
inline constexpr int kCommandSend = 127;
inline constexpr int kCommandHistoryCall = 145;
inline constexpr int kCommandCancel = 155;
inline constexpr int kCommandMyName = 32782;
inline constexpr int kCommandSettings = 32803;
inline constexpr int kCommandUpdateMyInfo = 32807;
inline constexpr int kCommandAbout = 32811;
inline constexpr int kCommandCheckForUpdates = 32813;
inline constexpr int kCommandCallStatistics = 32820;  // the statistics overlay on and off
inline constexpr int kCommandExit = 40000;

// Timers.
inline constexpr int kTimerStatusTick = 125;
inline constexpr int kTimerNoAnswer = 138;
inline constexpr int kTimerIncomingPrompt = 139;
inline constexpr int kTimerCallingAnimation = 156;
inline constexpr int kTimerChatBlink = 2001;
inline constexpr int kTimerNetworkLoss = 2002;
inline constexpr int kTimerIdleReset = 2003;

inline constexpr int kCallingAnimationPeriodMs = 1000;
// The texts of the "Calling" indicator, one a second in turn. Every attempt starts with
// the first; the animation goes on from whichever the indicator shows.
inline constexpr const char* kCallingTexts[3] = {"\nCalling.", "\n Calling..", "\n  Calling..."};
inline constexpr int kChatBlinkPeriodMs = 500;
// A call with no video from the peer for this long has lost the network; the media
// channel re-arms the timer with every picture, and call control starts it with the call.
inline constexpr int kNetworkLossPeriodMs = 5000;

// Soft-key image strip indices (bitmap 132).
inline constexpr int kImageDial = 0;
inline constexpr int kImageHangUp = 1;
inline constexpr int kImagePause = 2;
inline constexpr int kImageChat = 3;
inline constexpr int kImageStatusLine = 4;
inline constexpr int kImageView0 = 5;
inline constexpr int kImageView1 = 6;
inline constexpr int kImageView3 = 7;
inline constexpr int kImageChatUnread = 9;
inline constexpr int kImageHistory = 11;

// Bitmaps.
inline constexpr int kBitmapSoftKeys = 132;
inline constexpr int kBitmapIdle = 133;
inline constexpr int kBitmapOwnPlaceholder = 135;
inline constexpr int kBitmapContactOnline = 148;
inline constexpr int kBitmapContactBusy = 149;
inline constexpr int kBitmapHistoryIncoming = 150;
inline constexpr int kBitmapHistoryOutgoing = 151;
inline constexpr int kBitmapHistoryMissed = 152;
inline constexpr int kBitmapPaused = 153;
inline constexpr int kBitmapContactOffline = 1000;
inline constexpr int kIconApp = 101;

}  // namespace kestrelio
