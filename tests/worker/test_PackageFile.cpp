// The package file in folders anyone can write to: the worker holds the file
// it checks until the installer is done with it, and a link planted at the
// private temp folder or the package path leads it nowhere else.
#include <gtest/gtest.h>

#include <string>

#include "WorkerTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "worker/uInstallThread.h"

namespace vt::test {
namespace {

// What other programs could do to a file at one moment.
struct TAccess {
  DWORD Write = 0xFFFFFFFF;  // error of an open for writing; 0 when it succeeded
  DWORD Delete = 0xFFFFFFFF;
  DWORD Rename = 0xFFFFFFFF;
  DWORD Read = 0xFFFFFFFF;
  bool Probed = false;
};

DWORD ErrorOf(BOOL Ok) { return Ok ? 0 : GetLastError(); }

TAccess ProbeAccess(const std::wstring& Path) {
  TAccess a;
  a.Probed = true;
  THandle w(CreateFileW(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
  a.Write = w ? 0 : GetLastError();
  a.Delete = ErrorOf(DeleteFileW(Path.c_str()));
  const std::wstring moved = Path + L".moved";
  a.Rename = ErrorOf(MoveFileW(Path.c_str(), moved.c_str()));
  if (a.Rename == 0) MoveFileW(moved.c_str(), Path.c_str());
  THandle r(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
  a.Read = r ? 0 : GetLastError();
  return a;
}

struct THoldCase {
  const char* Name;
  bool BesideExecutable;
};

class Hold : public ::testing::TestWithParam<THoldCase> {};

TEST_P(Hold, FromTheCheckToTheEndOfTheInstallation) {
  TProductRemoval removal(kPropsProductCode);
  std::unique_ptr<TLocalPackage> local;
  TAttempt a;
  if (GetParam().BesideExecutable) {
    local = std::make_unique<TLocalPackage>(L"msi/props-veltrano.msi");
    a.Options.FNoDownload = true;
  }
  TAccess seen;
  a.OnStage = [&](TInstallThread& W) {
    if (W.ProgressStage() == vtpsInstallInit) seen = ProbeAccess(W.MsiFileName());
  };
  TAttemptResult r = RunAttempt(a);
  ASSERT_TRUE(seen.Probed);
  EXPECT_EQ(seen.Write, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(seen.Delete, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(seen.Rename, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(seen.Read, 0u);
  // ... and the installer still opened and installed it.
  EXPECT_EQ(r.InstallResult, 0u) << r.ErrorCode;
  EXPECT_TRUE(TProductRemoval::Installed(kPropsProductCode));
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

const THoldCase kHoldCases[] = {{"Downloaded", false}, {"BesideTheExecutable", true}};
INSTANTIATE_TEST_SUITE_P(Worker, Hold, ::testing::ValuesIn(kHoldCases),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(PackageFile, APackageOthersHoldForWritingIsNotInstalled) {
  TProductRemoval removal(kPropsProductCode);
  TLocalPackage local(L"msi/props-veltrano.msi");
  THandle writer(CreateFileW(local.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.Valid());
  TAttempt a;
  a.Options.FNoDownload = true;
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 1u);
  EXPECT_EQ(r.ErrorCode, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(r.Stages.empty());  // neither checked nor installed
  EXPECT_FALSE(TProductRemoval::Installed(kPropsProductCode));
}

TEST(PackageFile, DuringTheDownloadNeitherTheFileNorItsFolderCanBeReplaced) {
  TAccess file;
  DWORD folderRename = 0xFFFFFFFF;
  TAttempt a;
  a.Topic = L"slow.msi/props-veltrano.msi_";
  a.OnStage = [&](TInstallThread& W) {
    if (W.ProgressStage() != vtpsDownloadRunning) return;
    file = ProbeAccess(W.MsiFileName());
    std::wstring folder = PrivateTempFolder();
    folder.pop_back();
    folderRename = ErrorOf(MoveFileW(folder.c_str(), (folder + L"-moved").c_str()));
    if (folderRename == 0) MoveFileW((folder + L"-moved").c_str(), folder.c_str());
    W.Terminate();
  };
  TAttemptResult r = RunAttempt(a);
  ASSERT_TRUE(file.Probed);
  EXPECT_EQ(file.Write, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(file.Delete, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(file.Rename, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(file.Read, 0u);
  EXPECT_NE(folderRename, 0u);
  EXPECT_EQ(r.InstallResult, 5u);
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

TEST(PackageFile, AHardLinkAtThePackagePathLeavesItsTargetAlone) {
  TTempDir dir;
  const std::wstring victim = dir.File(L"victim.dat");
  WriteFileBytes(victim, "victim");
  CreateDirectoryW(PrivateTempFolder().c_str(), nullptr);
  const std::wstring target = DownloadTarget();
  DeleteFileW(target.c_str());
  ASSERT_TRUE(CreateHardLinkW(target.c_str(), victim.c_str(), nullptr)) << GetLastError();
  TAttempt a;
  a.Topic = L"pkg.msi/props-other.msi_";
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 12u);  // a new file was downloaded and checked
  EXPECT_EQ(ReadFileBytes(victim), "victim");
  THandle h(CreateFileW(victim.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION fi{};
  ASSERT_TRUE(GetFileInformationByHandle(h.Get(), &fi));
  EXPECT_EQ(fi.nNumberOfLinks, 1u);
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

// The driver script made these with Unix symbolic links, which Wine follows
// without reporting a reparse point; elsewhere the links cannot be made.
TEST(PackageFile, APrivateTempFolderThatLeadsElsewhereIsNotUsed) {
  if (!RunningOnWine()) GTEST_SKIP() << "the link is made by the Wine test driver";
  TTempOverride temp(WorkerWork(L"linkedtemp"));
  TAttempt a;
  a.Topic = L"pkg.msi/props-other.msi_";
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 5u);
  EXPECT_NE(r.ErrorText.find(L"is a link to another place"), std::wstring::npos) << WideToUtf8(r.ErrorText);
  WIN32_FIND_DATAW fd{};
  HANDLE f = FindFirstFileW(WorkerWork(L"elsewhere\\*.msi").c_str(), &fd);
  EXPECT_EQ(f, INVALID_HANDLE_VALUE) << "a file was created through the link";
  if (f != INVALID_HANDLE_VALUE) FindClose(f);
}

// (Wine's DeleteFileW on such a link deletes its target: the worker must not
// even remove it.)
TEST(PackageFile, ALinkAtThePackagePathIsNeitherFollowedNorRemoved) {
  if (!RunningOnWine()) GTEST_SKIP() << "the link is made by the Wine test driver";
  TTempOverride temp(WorkerWork(L"linkedpackage"));
  TAttempt a;
  a.Topic = L"pkg.msi/props-other.msi_";
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 5u);
  EXPECT_NE(r.ErrorText.find(L"is a link to another place"), std::wstring::npos) << WideToUtf8(r.ErrorText);
  EXPECT_EQ(ReadFileBytes(WorkerWork(L"victim.msi")), "victim");
}

}  // namespace
}  // namespace vt::test
