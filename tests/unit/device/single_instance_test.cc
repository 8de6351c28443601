#include "device/single_instance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

TEST(SingleInstanceTest, SecondStartOfAProfileRaisesTheFirst) {
  int argc = 1;
  char name[] = "single_instance_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  ScratchDir profile;
  ScratchDir other_profile;
  int raises = 0;
  SingleInstance first(profile.path());
  ASSERT_EQ(first.Claim([&] { ++raises; }), InstanceClaim::kFirst);

  // Another profile is another handset.
  SingleInstance other(other_profile.path());
  EXPECT_EQ(other.Claim([] {}), InstanceClaim::kFirst);

  // The same folder spelt differently is the same profile.
  SingleInstance second(profile.path() + "/./");
  EXPECT_EQ(second.Claim([] { FAIL() << "the second instance must not serve"; }),
            InstanceClaim::kOtherRunning);
  while (raises == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  EXPECT_EQ(raises, 1);
}

TEST(SingleInstanceTest, SocketLeftByACrashedInstanceDoesNotBlockANewStart) {
  int argc = 1;
  char name[] = "single_instance_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  ScratchDir profile;
  std::string socket_path =
      QDir::tempPath().toStdString() + "/" + SingleInstance::ServerNameFor(profile.path());
  // A plain file stands in for a dead socket: nobody answers on it.
  profile.Write("unused", "");
  std::filesystem::copy_file(profile.File("unused"), socket_path,
                             std::filesystem::copy_options::overwrite_existing);
  SingleInstance instance(profile.path());
  EXPECT_EQ(instance.Claim([] {}), InstanceClaim::kFirst);
}

}  // namespace
}  // namespace kestrelio
