#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "filecheck/filecheck.h"
#include "tests/common/wizard_support.h"

namespace lumo {
namespace {

using test::make_firmware;
using test::write_file;

struct FirmwareCase {
  const char* name;
  QByteArray bytes;
  FirmwareCheck::Outcome outcome;
  const char* version;  // when the version test passes
};

QByteArray patched(QByteArray b, int at, char c) {
  b[at] = c;
  return b;
}

QByteArray minimal_good() {
  // 40 bytes: 24 bytes of header with "V" and ".", then the MD5 of those 24 bytes.
  QByteArray head(24, 'a');
  head[17] = 'V';
  head[20] = '.';
  return head + QCryptographicHash::hash(head, QCryptographicHash::Md5);
}

QByteArray with_short_version() {
  QByteArray b = make_firmware(100, QByteArray("V\0\0.5  ", 7));
  return b;
}

class FirmwareFile : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(FirmwareFile, IsJudgedByVersionTextAndDigest) {
  const FirmwareCase& c = GetParam();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("fw.bin"));
  ASSERT_TRUE(write_file(path, c.bytes));
  const FirmwareCheck r = check_firmware_file(path);
  EXPECT_EQ(r.outcome, c.outcome);
  if (c.outcome == FirmwareCheck::NotFirmware) {
    EXPECT_FALSE(r.digest_pass);
  } else {
    EXPECT_TRUE(r.digest_pass);
    EXPECT_EQ(r.total, uint64_t(c.bytes.size()));
    EXPECT_EQ(r.version, QString::fromLatin1(c.version));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirmwareFile,
    ::testing::Values(
        FirmwareCase{"good", make_firmware(5000), FirmwareCheck::Good, "V01.23 "},
        FirmwareCase{"minimal_40_bytes", minimal_good(), FirmwareCheck::Good, "Vaa.aaa"},
        FirmwareCase{"exactly_one_block", make_firmware(4096), FirmwareCheck::Good, "V01.23 "},
        FirmwareCase{"exactly_three_blocks", make_firmware(3 * 4096), FirmwareCheck::Good,
                     "V01.23 "},
        // The expected digest straddles the last two blocks.
        FirmwareCase{"last_block_8_bytes", make_firmware(4096 + 8), FirmwareCheck::Good,
                     "V01.23 "},
        FirmwareCase{"last_block_15_bytes", make_firmware(2 * 4096 + 15), FirmwareCheck::Good,
                     "V01.23 "},
        FirmwareCase{"last_block_16_bytes", make_firmware(4096 + 16), FirmwareCheck::Good,
                     "V01.23 "},
        FirmwareCase{"version_ends_at_zero_byte", with_short_version(), FirmwareCheck::Good, "V"},
        FirmwareCase{"wrong_V", patched(make_firmware(5000), 17, 'v'),
                     FirmwareCheck::NotFirmware, ""},
        FirmwareCase{"wrong_dot", patched(make_firmware(5000), 20, ','),
                     FirmwareCheck::NotFirmware, ""},
        FirmwareCase{"twenty_bytes", QByteArray(17, 'x') + "V01", FirmwareCheck::NotFirmware, ""},
        FirmwareCase{"empty", QByteArray(), FirmwareCheck::NotFirmware, ""},
        FirmwareCase{"image_byte_changed", patched(make_firmware(9000), 5000, 'Z'),
                     FirmwareCheck::Incomplete, "V01.23 "},
        FirmwareCase{"digest_byte_changed", patched(make_firmware(9000), 8999, 0),
                     FirmwareCheck::Incomplete, "V01.23 "},
        FirmwareCase{"first_byte_changed", patched(make_firmware(4104), 0, 'Q'),
                     FirmwareCheck::Incomplete, "V01.23 "}),
    [](const ::testing::TestParamInfo<FirmwareCase>& i) { return std::string(i.param.name); });

TEST(FirmwareFile, MissingFileCannotBeOpened) {
  EXPECT_EQ(check_firmware_file(QStringLiteral("/nonexistent/fw.bin")).outcome,
            FirmwareCheck::CannotOpen);
}

struct ConfigCase {
  const char* name;
  QByteArray bytes;
  ConfigCheck expected;
};

class ConfigFile : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigFile, IsJudgedByItsMarker) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("cfg.bin"));
  ASSERT_TRUE(write_file(path, GetParam().bytes));
  EXPECT_EQ(check_config_file(path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigFile,
    ::testing::Values(ConfigCase{"marker_at_1", "#<ZNX27KQ>rest of the file", ConfigCheck::Good},
                      ConfigCase{"any_first_byte", QByteArray(1, '\0') + "<ZNX27KQ>", ConfigCheck::Good},
                      ConfigCase{"marker_at_0", "<ZNX27KQ>xx", ConfigCheck::NoMarker},
                      ConfigCase{"nine_bytes", "x<ZNX27KQ", ConfigCheck::NoMarker},
                      ConfigCase{"lower_case", "x<znx27kq>", ConfigCheck::NoMarker},
                      ConfigCase{"empty", "", ConfigCheck::NoMarker}),
    [](const ::testing::TestParamInfo<ConfigCase>& i) { return std::string(i.param.name); });

TEST(ConfigFile, MissingFileCannotBeOpened) {
  EXPECT_EQ(check_config_file(QStringLiteral("/nonexistent/cfg.bin")), ConfigCheck::CannotOpen);
}

TEST(BackupTarget, NewFileInAWritableFolderIsAcceptedAndNotLeftBehind) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("cfg27kq.bin"));
  EXPECT_TRUE(backup_target_writable(path));
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST(BackupTarget, ExistingFileIsAcceptedAndLeftExactlyAsItWas) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("old.bin"));
  const QByteArray old = "#<ZNX27KQ> the previous good backup";
  ASSERT_TRUE(write_file(path, old));
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
  EXPECT_TRUE(backup_target_writable(path));
  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
  EXPECT_EQ(test::read_file(path), old);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::Files | QDir::Hidden).size(), 1);
}

TEST(BackupTarget, FolderThatDoesNotExistIsRefused) {
  EXPECT_FALSE(backup_target_writable(QStringLiteral("/nonexistent/folder/cfg27kq.bin")));
}

// Root may write anywhere, so the read-only folder is tried as an ordinary user.
TEST(BackupTarget, ReadOnlyFolderIsRefused) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("ro"));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  const QString path = folder + QStringLiteral("/cfg27kq.bin");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    ::_exit(backup_target_writable(path) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: accepted, 2: could not drop privileges";
  ::chmod(QFile::encodeName(folder).constData(), 0755);
}

}  // namespace
}  // namespace lumo
