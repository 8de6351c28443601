#include "app/command_line.h"

#include <gtest/gtest.h>

#include "device/updater.h"

namespace kestrelio {
namespace {

// The start-up rule applied to what the parser makes of the words.
bool SuppressesUpdater(const std::optional<CommandLine>& parsed) {
  return !ShouldLaunchUpdaterAtStartUp(parsed->program_arguments);
}

TEST(CommandLineTest, ReadsEveryOptionInBothForms) {
  std::string error;
  auto parsed = ParseCommandLine(
      {"--profile", "/tmp/p", "--bind=127.0.0.2", "--presence", "10.0.0.1:9",
       "--study-server=h:8080", "--camera", "synthetic", "--ipc-server", "/tmp/s", "--verbose"},
      error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->profile_dir, "/tmp/p");
  EXPECT_EQ(parsed->bind_address, "127.0.0.2");
  EXPECT_EQ(parsed->presence, "10.0.0.1:9");
  EXPECT_EQ(parsed->study_server, "h:8080");
  EXPECT_EQ(parsed->camera, "synthetic");
  EXPECT_EQ(parsed->ipc_server, "/tmp/s");
  EXPECT_TRUE(parsed->verbose);
  EXPECT_FALSE(SuppressesUpdater(parsed));
}

TEST(CommandLineTest, OnlyALoneRestartWordSuppressesTheUpdater) {
  std::string error;
  EXPECT_TRUE(SuppressesUpdater(ParseCommandLine({"restart"}, error)));
  EXPECT_TRUE(SuppressesUpdater(ParseCommandLine({"--verbose", "restart"}, error)));
  EXPECT_FALSE(SuppressesUpdater(ParseCommandLine({}, error)));
  EXPECT_FALSE(SuppressesUpdater(ParseCommandLine({"restart", "now"}, error)));
  EXPECT_FALSE(SuppressesUpdater(ParseCommandLine({"Restart"}, error)));
}

TEST(CommandLineTest, RejectsUnknownOptionsAndMissingValues) {
  std::string error;
  EXPECT_FALSE(ParseCommandLine({"--frobnicate"}, error));
  EXPECT_NE(error.find("--frobnicate"), std::string::npos);
  EXPECT_FALSE(ParseCommandLine({"--profile"}, error));
  EXPECT_FALSE(ParseCommandLine({"--camera="}, error));
  EXPECT_FALSE(ParseCommandLine({"--profilex=1"}, error));
}

}  // namespace
}  // namespace kestrelio
