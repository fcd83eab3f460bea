// In-process tests of the crash capture's building blocks: bounded formatting, the crash
// directory's candidates and the Windows Error Reporting registration, with the runtime and the
// shell this program really links.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <filesystem>
#include <map>
#include <string>

#include "crash/crash_directory.h"
#include "crash/crash_directory_sources.h"
#include "crash/crash_handlers.h"
#include "crash/format_bounded.h"

namespace fs = std::filesystem;

namespace {

constexpr HRESULT kInsufficientBuffer = static_cast<HRESULT>(0x8007007A);
constexpr std::size_t kOverMaxCapacity = std::size_t{2147483647} + 1;

// ---------------------------------------------------------------------------------------------
// FormatBounded

struct FormatCase {
  const char* name;
  std::size_t capacity;
  HRESULT expected;
  const char* text;  // what the buffer holds afterwards
};

// Each case formats "ab%dcd" with 7 ("ab7cd", five units) into the given capacity.
const FormatCase kFormatCases[] = {
    {"roomy", 32, S_OK, "ab7cd"},
    {"exactly fitting", 6, S_OK, "ab7cd"},
    {"one unit short", 5, kInsufficientBuffer, "ab7c"},
    {"cut inside the argument", 3, kInsufficientBuffer, "ab"},
    {"room for the terminator only", 1, kInsufficientBuffer, ""},
};

TEST(FormatBoundedTest, FitsTruncatesAndTerminatesInBothForms) {
  for (const FormatCase& c : kFormatCases) {
    SCOPED_TRACE(c.name);
    char narrow[40];
    std::memset(narrow, 'x', sizeof(narrow));
    EXPECT_EQ(FormatBounded(narrow, c.capacity, "ab%dcd", 7), c.expected);
    EXPECT_STREQ(narrow, c.text);
    EXPECT_EQ(narrow[c.capacity], 'x') << "wrote past the capacity";

    wchar_t wide[40];
    std::wmemset(wide, L'x', 40);
    EXPECT_EQ(FormatBounded(wide, c.capacity, L"ab%dcd", 7), c.expected);
    std::wstring expectedWide(c.text, c.text + std::strlen(c.text));
    EXPECT_EQ(std::wstring(wide), expectedWide);
    EXPECT_EQ(wide[c.capacity], L'x') << "wrote past the capacity";
  }
}

TEST(FormatBoundedTest, RejectsCapacityZeroAndAboveTheMaximum) {
  char narrow[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(FormatBounded(narrow, 0, "ab"), E_INVALIDARG);
  EXPECT_EQ(narrow[0], 'x') << "capacity 0 must leave the buffer untouched";
  EXPECT_EQ(FormatBounded(narrow, kOverMaxCapacity, "ab"), E_INVALIDARG);
  EXPECT_EQ(narrow[0], '\0');
  EXPECT_EQ(narrow[1], 'x');

  wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(FormatBounded(wide, 0, L"ab"), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'x') << "capacity 0 must leave the buffer untouched";
  EXPECT_EQ(FormatBounded(wide, kOverMaxCapacity, L"ab"), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_EQ(wide[1], L'x');
}

// The crash paths and the report depend on the Windows runtime's conventions: %s in a wide
// template is a wide string, %p is 16 upper-case hexadecimal digits, %ls in a narrow template
// converts a wide string.
TEST(FormatBoundedTest, FollowsTheWindowsRuntimeConventions) {
  wchar_t wide[128] = {};
  ASSERT_EQ(FormatBounded(wide, 128, L"%s\\%04u%02u_%lu|%p", L"C:\\dir", 2026u, 3u, 4120ul,
                          reinterpret_cast<void*>(0x1234ABCD)),
            S_OK);
  EXPECT_STREQ(wide, L"C:\\dir\\202603_4120|000000001234ABCD");

  char narrow[128] = {};
  ASSERT_EQ(FormatBounded(narrow, 128, "%ls|%s|0x%08lX|%ld|0x%p", L"C:\\dir", "2.0.6+0",
                          0x80070005ul, -5l, static_cast<void*>(nullptr)),
            S_OK);
  EXPECT_STREQ(narrow, "C:\\dir|2.0.6+0|0x80070005|-5|0x0000000000000000");
}

// A wide argument that the 8-bit code page cannot express fails the narrow form.
TEST(FormatBoundedTest, UnconvertibleWideArgumentFails) {
  char narrow[64] = {};
  EXPECT_LT(FormatBounded(narrow, 64, "dumpPath=%ls", L"C:\\\u4E2D\u6587"), 0);
}

// ---------------------------------------------------------------------------------------------
// Crash directory

constexpr unsigned long kRoamingAppData = 0x3EB685DB;
constexpr unsigned long kLocalAppData = 0xF1B32785;

// What the fake shell answers for each known folder: a path, or failure when absent.
std::map<unsigned long, std::wstring> g_knownFolders;
bool g_failWithPath = false;  // fail, yet hand back a string (which must still be freed)

HRESULT WINAPI FakeKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(token, nullptr);
  *path = nullptr;
  const auto found = g_knownFolders.find(id.Data1);
  if (found == g_knownFolders.end() && !g_failWithPath) return E_FAIL;
  const std::wstring folder = found != g_knownFolders.end() ? found->second : L"C:\\failed";
  const std::size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
  *path = static_cast<PWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(*path, folder.c_str(), bytes);
  return found != g_knownFolders.end() ? S_OK : E_FAIL;
}

const CrashDirectorySources kFakeShell = {FakeKnownFolder, GetTempPathW};

// Each test gets a folder of its own under "crash_directory_cases", its own TMP, and the fake
// shell; the real shell and environment come back afterwards.
class CrashDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info->name();
    root_ = fs::current_path() / L"crash_directory_cases" / std::wstring(name.begin(), name.end());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::create_directories(root_ / L"tmp");
    SetTemp(root_ / L"tmp");
    g_knownFolders.clear();
    g_failWithPath = false;
    SetCrashDirectorySourcesForTesting(&kFakeShell);
  }
  void TearDown() override {
    SetCrashDirectorySourcesForTesting(nullptr);
    SetEnvironmentVariableW(L"TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str());
  }

  void SetTemp(const fs::path& temp) {
    wchar_t saved[MAX_PATH] = {};
    if (savedTmp_.empty() && GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) > 0) {
      savedTmp_ = saved;
    }
    if (savedTemp_.empty() && GetEnvironmentVariableW(L"TEMP", saved, MAX_PATH) > 0) {
      savedTemp_ = saved;
    }
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
  }

  static std::wstring TempPath() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
  }

  fs::path root_;
  std::wstring savedTmp_;
  std::wstring savedTemp_;
};

TEST_F(CrashDirectoryTest, RoamingCandidateIsChosenAndCreated) {
  g_knownFolders[kRoamingAppData] = (root_ / L"roaming").wstring();
  g_knownFolders[kLocalAppData] = (root_ / L"local").wstring();
  const std::wstring expected =
      (root_ / L"roaming").wstring() + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  for (auto resolve : {ResolveCrashDirectory, ResolveUserCrashDirectory}) {
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_TRUE(resolve(buffer, MAX_PATH));
    EXPECT_EQ(std::wstring(buffer), expected);
  }
  fs::path folder = root_ / L"roaming";
  for (const wchar_t* part : {L"com.brenmoworks", L"tovan", L"BrenmoTovan", L"crashes"}) {
    folder /= part;
    EXPECT_TRUE(fs::is_directory(folder)) << folder.wstring().size();
  }
}

TEST_F(CrashDirectoryTest, ExistingDirectoryIsReturnedAgain) {
  g_knownFolders[kRoamingAppData] = (root_ / L"roaming").wstring();
  wchar_t first[MAX_PATH] = {};
  wchar_t second[MAX_PATH] = {};
  ASSERT_TRUE(ResolveCrashDirectory(first, MAX_PATH));
  ASSERT_TRUE(fs::is_directory(first));
  ASSERT_TRUE(ResolveCrashDirectory(second, MAX_PATH));
  EXPECT_STREQ(first, second);
}

// A candidate counts only when the longest crash file name fits after it in MAX_PATH: 259
// characters, less the roaming template's 42, less that name's 58, leaves a 159-character base.
TEST_F(CrashDirectoryTest, RoamingPathTooLongForTheDumpsFallsBackToLocal) {
  for (const std::size_t baseLength : {159u, 160u}) {
    SCOPED_TRACE(baseLength);
    std::wstring longBase = root_.wstring() + L"\\";
    longBase.append(baseLength - longBase.size(), L'r');
    g_knownFolders[kRoamingAppData] = longBase;
    g_knownFolders[kLocalAppData] = (root_ / L"local").wstring();
    const std::wstring expected = baseLength == 159
                                      ? longBase + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes"
                                      : (root_ / L"local").wstring() + L"\\BrenmoTovan\\crashes";
    for (auto resolve : {ResolveCrashDirectory, ResolveUserCrashDirectory}) {
      wchar_t buffer[MAX_PATH] = {};
      ASSERT_TRUE(resolve(buffer, MAX_PATH));
      EXPECT_EQ(std::wstring(buffer), expected);
    }
  }
}

TEST_F(CrashDirectoryTest, WithoutProfileFoldersOnlyTheFullResolutionUsesTemp) {
  for (bool failWithPath : {false, true}) {
    SCOPED_TRACE(failWithPath ? "failure with a path" : "failure");
    g_failWithPath = failWithPath;
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_TRUE(ResolveCrashDirectory(buffer, MAX_PATH));
    const std::wstring temp = TempPath();
    ASSERT_EQ(temp.back(), L'\\');
    // Exactly one backslash between the temporary path and the suffix.
    EXPECT_EQ(std::wstring(buffer), temp + L"BrenmoTovan_crashes");
    EXPECT_TRUE(fs::is_directory(buffer));
    wchar_t user[MAX_PATH] = {};
    EXPECT_FALSE(ResolveUserCrashDirectory(user, MAX_PATH));
  }
}

TEST_F(CrashDirectoryTest, UncreatableDirectoryIsStillReturned) {
  // A file where a parent folder should be: nothing below it can be created.
  const fs::path blocker = root_ / L"blocker";
  HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  g_knownFolders[kRoamingAppData] = (blocker / L"roaming").wstring();
  wchar_t buffer[MAX_PATH] = {};
  ASSERT_TRUE(ResolveCrashDirectory(buffer, MAX_PATH));
  EXPECT_EQ(std::wstring(buffer),
            (blocker / L"roaming").wstring() + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes");
  EXPECT_FALSE(fs::exists(buffer));
}

TEST_F(CrashDirectoryTest, SuffixThatOnlyPartlyFitsIsCutShort) {
  const std::wstring temp = TempPath();
  const std::size_t capacity = temp.size() + 6;  // five characters of the suffix, terminator
  wchar_t buffer[MAX_PATH];
  std::wmemset(buffer, L'x', MAX_PATH);
  ASSERT_TRUE(ResolveCrashDirectory(buffer, capacity));
  EXPECT_EQ(std::wstring(buffer), temp + L"Brenm");
  EXPECT_EQ(buffer[capacity], L'x') << "wrote past the capacity";
}

TEST_F(CrashDirectoryTest, TemporaryPathThatDoesNotFitFails) {
  wchar_t buffer[MAX_PATH] = {};
  EXPECT_FALSE(ResolveCrashDirectory(buffer, TempPath().size()));
}

// The shell's own answer, in this program's real profile.
TEST(CrashDirectoryShellTest, RealRoamingFolderIsUsed) {
  PWSTR roaming = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming)));
  const std::wstring expected =
      std::wstring(roaming) + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  CoTaskMemFree(roaming);
  for (auto resolve : {ResolveCrashDirectory, ResolveUserCrashDirectory}) {
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_TRUE(resolve(buffer, MAX_PATH));
    EXPECT_EQ(std::wstring(buffer), expected);
    EXPECT_TRUE(fs::is_directory(buffer));
  }
}

// ---------------------------------------------------------------------------------------------
// Windows Error Reporting registration

constexpr wchar_t kLocalDumpsKey[] =
    L"Software\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\tovan.exe";

struct RegistryValue {
  DWORD type = 0;
  std::vector<BYTE> data;
};

bool ReadValue(const wchar_t* name, RegistryValue& value) {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kLocalDumpsKey, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                   nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  value.data.resize(size);
  return RegGetValueW(HKEY_CURRENT_USER, kLocalDumpsKey, name, RRF_RT_ANY | RRF_NOEXPAND,
                      &value.type, value.data.data(), &size) == ERROR_SUCCESS;
}

DWORD AsDword(const RegistryValue& value) {
  DWORD number = 0;
  std::memcpy(&number, value.data.data(), sizeof(number));
  return number;
}

void ExpectRegistered(const std::wstring& directory) {
  RegistryValue folder;
  ASSERT_TRUE(ReadValue(L"DumpFolder", folder));
  EXPECT_EQ(folder.type, static_cast<DWORD>(REG_EXPAND_SZ));
  ASSERT_EQ(folder.data.size(), (directory.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(folder.data.data())), directory);
  RegistryValue type;
  ASSERT_TRUE(ReadValue(L"DumpType", type));
  EXPECT_EQ(type.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(type.data.size(), sizeof(DWORD));
  EXPECT_EQ(AsDword(type), 2u);
  RegistryValue count;
  ASSERT_TRUE(ReadValue(L"DumpCount", count));
  EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(count.data.size(), sizeof(DWORD));
  EXPECT_EQ(AsDword(count), 10u);
}

using LocalDumpsTest = CrashDirectoryTest;

TEST_F(LocalDumpsTest, RegistersTheCrashDirectoryAndRewritesItAtEveryStart) {
  RegDeleteKeyW(HKEY_CURRENT_USER, kLocalDumpsKey);
  g_knownFolders[kRoamingAppData] = (root_ / L"roaming").wstring();
  const std::wstring directory =
      (root_ / L"roaming").wstring() + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  RegisterLocalDumps();
  ExpectRegistered(directory);

  // Values changed since the last start are put back.
  const DWORD other = 7;
  RegSetKeyValueW(HKEY_CURRENT_USER, kLocalDumpsKey, L"DumpType", REG_DWORD, &other, sizeof(other));
  RegSetKeyValueW(HKEY_CURRENT_USER, kLocalDumpsKey, L"DumpFolder", REG_SZ, L"x", 4);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kLocalDumpsKey, L"DumpCount");
  RegisterLocalDumps();
  ExpectRegistered(directory);
  RegDeleteKeyW(HKEY_CURRENT_USER, kLocalDumpsKey);
}

DWORD WINAPI NoTempPath(DWORD, LPWSTR) { return 0; }

TEST_F(LocalDumpsTest, WithoutACrashDirectoryNothingIsRegistered) {
  RegDeleteKeyW(HKEY_CURRENT_USER, kLocalDumpsKey);
  const CrashDirectorySources nothing = {FakeKnownFolder, NoTempPath};
  SetCrashDirectorySourcesForTesting(&nothing);
  RegisterLocalDumps();
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kLocalDumpsKey, 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  if (key != nullptr) RegCloseKey(key);
}

}  // namespace
